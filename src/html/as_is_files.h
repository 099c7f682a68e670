// Files of the site that go out as they are, byte for byte, with a content
// type of their own: the phone client's folder (UTF-8, while the classic
// pages are GB2312 templates) and style sheets and scripts anywhere. The
// classic pages keep their template path (html/page.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "html/page.h"

// The phone client's folder below the document directory; "/app" and
// "/app/" open its index page.
inline constexpr std::string_view kAppFolder = "app";

// The file a site name stands for: a folder of the client ("app",
// "app/") stands for its index page; any other name for itself.
std::string AsIsFileName(std::string_view name);

// The content type the file goes out with as it is, or nullopt for a
// classic template.
std::optional<std::string> AsIsContentType(std::string_view name);

// The answer for a file that goes out as it is (404 when there is none),
// or nullopt for a classic template.
std::optional<TypedAnswer> AsIsFileAnswer(const CSiteFiles& site, std::string_view name);
