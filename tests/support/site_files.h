// What the server makes of the bundled site's files, for exact comparisons.
#pragma once

#include <string>

inline const std::string kStandardHead =
    "HTTP/1.0 200 OK\r\nContent-type: text/html; charset=gb2312\r\nPragma: no-cache\r\n\r\n";
// The head of the message frame and the online list (no Pragma line).
inline const std::string kStreamHead = "HTTP/1.0 200 OK\r\nContent-type: text/html; charset=gb2312\r\n\r\n";

std::string ReadWholeFile(const std::string& path);
// Waits until the file holds exactly the text (the server writes some files
// from a thread of its own); false when it does not within 5 seconds.
bool WaitForFileText(const std::string& path, const std::string& text);
// A template as the server sends it: each line ("\r\n" read as "\n")
// followed by "\r\n".
std::string AsTemplate(const std::string& fileBytes);
// Percent-encodes every byte outside [A-Za-z0-9._-] (GB2312 text as a
// browser on a gb2312 page sends it).
std::string UrlEncode(const std::string& bytes);
// The answer without its head; "" when there is no blank line.
std::string BodyOf(const std::string& answer);
