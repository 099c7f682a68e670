// The escapers: every user value written into a page or a stream goes
// through the one for its context. Ordinary text (letters, digits, Chinese
// in GB2312) comes out byte for byte; only the bytes that could end the
// context change. Bytes from 0x80 up are never touched (they are GB2312).
#pragma once

#include <string>
#include <string_view>

// Text between tags: & < > " ' become character references.
std::string EscapeText(std::string_view text);
// A quoted attribute value ("..." or '...'): the same references.
std::string EscapeAttribute(std::string_view text);
// A single-quoted javascript string inside a javascript: link, which may sit
// in an unquoted attribute: quotes, backslash, blank, < > & = % ` and
// control bytes become \xHH (never a bare backslash before a quote, which a
// GB2312 lead byte could swallow; and '%' too, which the link would decode).
std::string EscapeJsString(std::string_view text);
// A value inside a URL of a link: blank, quotes, < > & # % + ; \ ` and
// control bytes become %HH.
std::string EscapeUrlComponent(std::string_view text);
