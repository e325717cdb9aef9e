#pragma once
// Wall-clock readings.
namespace mw::runtime {

long long epochSeconds();       // whole seconds since 1970-01-01 00:00:00 UTC
long long epochMilliseconds();  // milliseconds since the same instant

// Offset of local time from UTC at the given instant, in seconds (UTC+8 gives 28800).
long long utcOffsetSeconds(long long atEpochSeconds);

}  // namespace mw::runtime
