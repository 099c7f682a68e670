// The converter between the API's UTF-8 and the chat's GBK on arbitrary
// bytes: what goes out is always UTF-8; what comes in holds no byte a GBK
// walk would split; a text of characters GBK holds (no '&') comes back as
// it went in; and a name converted exactly needs no reference.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/gbk_utf8.h"
#include "foundation/text.h"
#include "foundation/utf8.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  // Bytes taken as GBK: out comes UTF-8.
  FUZZ_CHECK(IsValidUtf8(Utf8FromGbk(bytes)));

  // Bytes taken as UTF-8: in comes whole GBK characters.
  const std::string gbk = GbkFromUtf8(bytes);
  FUZZ_CHECK(HasOnlyWholeCharacters(gbk));
  const std::optional<std::string> exact = GbkFromUtf8Exactly(bytes);
  if (exact) {
    FUZZ_CHECK(IsValidUtf8(bytes));
    FUZZ_CHECK(*exact == gbk);
    if (bytes.find('&') == std::string_view::npos) FUZZ_CHECK(Utf8FromGbk(*exact) == bytes);
  }
  return 0;
}
