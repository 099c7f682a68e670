// The command parser on arbitrary lines, with the command words of the
// bundled ini.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "commands/command_parser.h"
#include "foundation/settings.h"
#include "foundation/text.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_settings = std::make_unique<CSettingsTable>();
  for (const char* word :
       {"COLOR", "EVIDENCE", "HELP", "IGNORE", "JOIN", "LIST", "LOGOFF", "LOGON", "ME", "MSG", "USERS"}) {
    g_settings->Store("text:msg_command_" + AsciiLower(word), word);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  const ClassifiedInput input = ClassifyInput(line);
  if (line.empty()) {
    FUZZ_CHECK(input.code == kEmptyInput);
  } else if (line[0] != '/') {
    FUZZ_CHECK(input.code == kChatLineCode && input.rest == line);
  } else {
    FUZZ_CHECK(input.code != kEmptyInput && input.code != kChatLineCode);
  }
  if (input.target) {
    FUZZ_CHECK(!input.target->empty());
    FUZZ_CHECK(input.target->find_first_of(" \t\r\n") == std::string::npos);
  }
  if (input.rest && input.code != kChatLineCode) {
    FUZZ_CHECK(input.rest->find_first_of("\r\n") == std::string::npos);
  }
  return 0;
}
