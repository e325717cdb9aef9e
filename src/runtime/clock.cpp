#include "runtime/clock.h"

#include <chrono>
#include <ctime>

namespace mw::runtime {

long long epochMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

long long epochSeconds() {
  // Floor, so that an instant before the epoch still rounds toward the past.
  const long long ms = epochMilliseconds();
  return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
}

long long utcOffsetSeconds(long long atEpochSeconds) {
  const auto t = static_cast<std::time_t>(atEpochSeconds);
  std::tm local{};
  if (!localtime_r(&t, &local)) return 0;
  return local.tm_gmtoff;
}

}  // namespace mw::runtime
