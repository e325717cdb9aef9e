// The INI reader over arbitrary files; a value written must read back unchanged.
#include <fuzzer/FuzzedDataProvider.h>

#include "runtime/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string section = in.ConsumeRandomLengthString(8);
  const std::string key = in.ConsumeRandomLengthString(8);
  const std::string value = in.ConsumeRandomLengthString(16);
  const std::string content = in.ConsumeRemainingBytesAsString();

  mw::runtime::IniFile ini(content);
  ini.value(section, key);
  ini.keys(section);
  if (ini.setValue(section, key, value)) {
    const mw::runtime::IniFile again(ini.content());
    const auto read = again.value(section, key);
    if (!read || *read != value) __builtin_trap();
  }
  return 0;
}
