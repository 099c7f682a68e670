// The shape of markup: what a browser makes of it apart from the words.
// The sequence of tags with their attribute names, and for every javascript:
// link or handler its code with each string literal replaced by "S". Two
// texts of the same shape differ only in words and in what their strings
// and attribute values hold: no user value opened a tag, added an attribute
// or left a string.
#pragma once

#include <string>
#include <vector>

std::vector<std::string> MarkupShape(const std::string& html);
// The code with every string literal (single or double quoted, backslash
// escapes followed) replaced by "S".
std::string ScriptSkeleton(const std::string& code);
