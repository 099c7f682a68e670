// Files written whole or appended to in one piece, so that a crash or a
// second writer never leaves a part of what was meant.
#pragma once

#include <string>
#include <string_view>

// Writes a temporary file beside the path, flushes it to the disk and
// renames it over the old file (then flushes the directory): a crash leaves
// the old file or the new one. False, with errno set, on failure; the
// temporary file is removed then.
bool WriteWholeFile(const std::string& path, std::string_view bytes);

// Appends the bytes with one write to the file (made when missing), so that
// appends from several threads or processes never interleave. False, with
// errno set, when the file cannot be opened or takes fewer bytes.
bool AppendToFile(const std::string& path, std::string_view bytes);
