// The pieces every page shares: the HTML head, and template files read from
// the document directory ([Path] current).
#pragma once

#include <string>

#include "foundation/text_buffer.h"

inline constexpr const char* kHtmlHead = "HTTP/1.0 200 OK\r\nContent-type: text/html\r\n";
inline constexpr const char* kNoCache = "Pragma: no-cache\r\n";
inline constexpr const char* kGifHead = "HTTP/1.0 200 OK\r\nContent-type: image/gif\r\n\r\n";
inline constexpr const char* kGifMarker = "This is a gif file=";
inline constexpr size_t kTemplatePiece = 2048;  // a template is read in pieces of 2047 bytes

// The path of a file below the document directory (the working directory
// when [Path] current is empty).
std::string DocumentPath(const std::string& name);

// Appends the template file, each piece followed by "\r\n". A name that
// contains ".gif" appends the GIF marker instead (and sets *gifMarked).
// True when a file was read.
bool IncludeFile(const std::string& name, CTextBuffer& target, bool* gifMarked = nullptr);
