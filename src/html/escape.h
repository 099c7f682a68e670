// The escapers: every user value written into a page or a stream goes
// through the one for its context. Ordinary text (letters, digits, Chinese
// in GBK) comes out byte for byte; only the single-byte characters that
// could end the context change. They walk GBK characters
// (foundation/text.h): a two-byte character is never split, and its trail
// byte is never escaped as the ASCII character of the same value.
#pragma once

#include <string>
#include <string_view>

// Text between tags: & < > " ' become character references. A lead byte
// without its trail is left as it is: every reference starts with '&',
// which no lead byte can pair with.
std::string EscapeText(std::string_view text);
// A quoted attribute value ("..." or '...'): the same references.
std::string EscapeAttribute(std::string_view text);
// A single-quoted javascript string inside a javascript: link, which may sit
// in an unquoted attribute: quotes, backslash, blank, < > & = % ` and
// control bytes become \xHH (never a bare backslash before a quote; and '%'
// too, which the link would decode). So do a lead byte without its trail
// and 0xFF: bare, a lead byte would pair with the '\' of the next escape.
std::string EscapeJsString(std::string_view text);
// A value inside a URL of a link: blank, quotes, < > & # % + ; \ ` and
// control bytes become %HH; so do a lead byte without its trail and 0xFF,
// so that the link brings the same bytes back.
std::string EscapeUrlComponent(std::string_view text);
// The text a reader sees of a piece of markup, for clients that show no
// HTML: tags dropped, the named references of the escapers above (and
// &nbsp;) turned back into their characters; numeric references stay (the
// conversion to UTF-8 takes them), and so do line ends and blanks.
std::string PlainTextOf(std::string_view markup);
