// Between the UTF-8 of the JSON API and the GBK bytes the chat keeps.
//
// In: each character as a browser's GB2312 form sends it, so that a line
// from the API and the same line from the classic form are the same bytes
// in the chat: ASCII as itself, the euro sign as the single byte 0x80, a
// character of GBK's two-byte area as its two bytes, and every other
// character (emoji, hangul, kana beyond GBK...) as a numeric character
// reference "&#N;" (decimal).
// Out: every GBK character as its UTF-8, a numeric reference to a printable
// character (foundation/character_reference.h) as the character it names,
// and a byte that is no character (a lead byte without its trail, 0xFF) as
// U+FFFD.
//
// The two-byte mapping is GB18030's two-byte area, which browsers use for
// a GB2312 page, read once through iconv.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Bytes that are no UTF-8 count as U+FFFD (which becomes "&#65533;").
std::string GbkFromUtf8(std::string_view utf8);
// Only when every character has GBK bytes of its own: none when one would
// need a reference (what a name or a room name cannot carry), or when the
// text is no UTF-8.
std::optional<std::string> GbkFromUtf8Exactly(std::string_view utf8);
std::string Utf8FromGbk(std::string_view gbk);
