#pragma once
// Replacing a file so that a power cut leaves either the old or the new one.
#include <string>
#include <string_view>

// Writes `data` to `path` + ".tmp" in the same directory, flushes it to the
// disk, renames it over `path` and flushes the directory. An existing file
// keeps its permission bits. On any failure `path` is left as it was, the
// temporary file is removed and the result is false.
bool WriteFileAtomically(const std::string& path, std::string_view data);
