// The ini reader on arbitrary bytes: every line as the loader reads it
// (ReadTextLine), then scanned (ReadIniEntry) and expanded.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "foundation/file.h"
#include "foundation/settings.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;  // fmemopen refuses an empty buffer
  std::string bytes(reinterpret_cast<const char*>(data), size);
  UniqueFile file(fmemopen(bytes.data(), bytes.size(), "rb"));
  if (!file) return 0;
  const EnvironmentTable environment = {{"HOME", "/home/chat"}, {"EMPTY", ""}};
  CSettingsTable table;
  std::string section;
  std::string line;
  size_t lines = 0;
  while (ReadTextLine(file.get(), line)) {
    FUZZ_CHECK(line.size() <= kIniLineLimit);
    FUZZ_CHECK(line.find('\r') == std::string::npos);
    FUZZ_CHECK(line.find('\n') == std::string::npos);
    FUZZ_CHECK(++lines <= size);  // every line takes at least one byte
    const IniEntry entry = ReadIniEntry(line);
    if (entry.kind == IniEntry::Kind::kSection) {
      section = entry.name;
      table.Store(section, "");
    } else if (entry.kind == IniEntry::Kind::kKey) {
      FUZZ_CHECK(!entry.name.empty());
      const std::string name = section + ":" + entry.name;
      table.Store(name, ExpandEnvironment(entry.value, environment));
      FUZZ_CHECK(table.Find(name) != nullptr);
    }
  }
  return 0;
}
