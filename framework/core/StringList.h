#pragma once
// List files read as bytes: one entry per line, no character conversion.

#include <string>
#include <string_view>
#include <vector>

namespace vcl {

/// Splits text into lines: the text ends at the first NUL byte; a line runs to CR, LF or the end;
/// after a line one CR and then one LF are skipped. Every line is an entry, empty ones too;
/// nothing is trimmed, and a line break at the very end adds no entry.
std::vector<std::string> SplitLines(std::string_view bytes);

/// Reads a whole file, opened for reading only while others may read but not write it, and
/// splits it by SplitLines. Throws EFOpenError when it cannot be opened, EStreamError when
/// reading fails.
std::vector<std::string> LoadLinesFromFile(const std::string& path);

} // namespace vcl
