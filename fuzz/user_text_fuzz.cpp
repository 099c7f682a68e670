// The walk of user text over GBK characters, on arbitrary bytes: cleaning,
// cutting, folding and the escapers never split a character, never leave a
// single-byte character they must change, and keep only references to
// printable characters.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/character_reference.h"
#include "foundation/text.h"
#include "fuzz/fuzz_check.h"
#include "html/escape.h"

namespace {

// Every single-byte character of the text is outside the set, and every
// byte that is no whole character too (when wholeOnly).
void CheckSingleBytes(std::string_view text, std::string_view forbidden, bool wholeOnly) {
  ForEachCharacter(text, [&](std::string_view character) {
    if (character.size() == 2) return;
    FUZZ_CHECK(forbidden.find(character[0]) == std::string_view::npos);
    FUZZ_CHECK(!wholeOnly || IsWholeCharacter(character));
  });
}

// The two-byte characters of the input come out in the same order.
std::string Pairs(std::string_view text) {
  std::string pairs;
  ForEachCharacter(text, [&](std::string_view character) {
    if (character.size() == 2) pairs += character;
  });
  return pairs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const std::string chat = CleanChatText(text);
  FUZZ_CHECK(Pairs(chat) == Pairs(text));
  for (size_t at = 0; at < chat.size(); at += CharacterLength(chat, at)) {
    const char c = chat[at];
    FUZZ_CHECK(c != '<' && c != '>' && c != '%' && c != '\x05' && c != '\x06');
    if (c == '&') {
      const size_t reference = PrintableReferenceLength(std::string_view(chat).substr(at));
      FUZZ_CHECK(reference > 0);
      at += reference - 1;
    }
  }
  CheckSingleBytes(CleanUserText(text), "<>%&\x05\x06", false);

  const size_t limit = size == 0 ? 0 : data[0] % 64;
  const std::string_view cut = CutToCharacters(text, limit);
  FUZZ_CHECK(cut.size() <= limit && text.substr(0, cut.size()) == cut);
  size_t boundary = 0;
  while (boundary < cut.size()) boundary += CharacterLength(text, boundary);
  FUZZ_CHECK(boundary == cut.size());  // never inside a character

  const std::string lower = AsciiLower(text);
  FUZZ_CHECK(EqualsFolded(text, lower) && EqualsFolded(lower, AsciiUpper(text)));
  FUZZ_CHECK(Pairs(lower) == Pairs(text));

  const std::string js = EscapeJsString(text);
  CheckSingleBytes(js, "'\" <>&=%`\x7F\n\r", true);
  FUZZ_CHECK(Pairs(js) == Pairs(text));
  const std::string url = EscapeUrlComponent(text);
  CheckSingleBytes(url, " \"'<>&#+;\\`\x7F\n\r", true);
  FUZZ_CHECK(Pairs(url) == Pairs(text));
  CheckSingleBytes(EscapeText(text), "<>\"'", false);
  return 0;
}
