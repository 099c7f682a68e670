// Byte-string helpers shared across the system: ASCII case folding (GB2312
// bytes are left alone), and the C-style conversions the system relies on.
#pragma once

#include <string>
#include <string_view>

std::string AsciiLower(std::string_view text);
std::string AsciiUpper(std::string_view text);
// Equal under ASCII case folding; other bytes must match exactly.
bool EqualsFolded(std::string_view a, std::string_view b);
bool Contains(std::string_view text, std::string_view part);
// The text without the blanks and tabs around it.
std::string_view TrimBlanks(std::string_view text);
// The longest start of the text that fits in limit bytes without splitting
// a GB2312 character (a byte from 0x80 up and the byte after it).
std::string_view CutToCharacters(std::string_view text, size_t limit);

// The byte cleaning of user text before it is shown or recorded: '<' to
// '(', '>' to ')', '%' to '$', '&' to '-', and the node-record separators
// 0x05 and 0x06 to '-'.
std::string CleanUserText(std::string_view text);
