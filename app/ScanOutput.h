// How the scanner writes pairs: tab-separated lines that lose no byte, or one JSON document.
#pragma once

#include "core/FileRecord.h"

#include <cstdio>
#include <string>

namespace twinspotter {

/// Backslash, tab, line feed and carriage return as \\, \t, \n, \r; every other byte as it is.
std::string escapeField(std::string_view text);
/// A JSON string literal; invalid UTF-8 becomes U+FFFD.
std::string jsonString(std::string_view text);

std::string pairLine(const FileRecord& pair);
void writePairsJson(std::FILE* out, const FileList& pairs, std::int32_t files1, std::int32_t files2);

} // namespace twinspotter
