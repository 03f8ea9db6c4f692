// Text from outside (the server, a damaged file) on its way to the screen.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace twinspotter {

/// \p text (UTF-8 as far as it is) as it may be shown: bytes that are not UTF-8 and the control characters (C0, DEL,
/// C1) as "\xNN" per byte, and the characters that reorder or break a line without showing themselves (the
/// bidirectional marks, embeddings, overrides and isolates U+200E, U+200F, U+061C, U+202A to U+202E, U+2066 to U+2069,
/// and U+2028, U+2029) as "\u202E", so that no text can turn what is shown around it round. With \p keepLines,
/// line feeds and tabs stay, and a carriage return before a line feed is dropped. After \p maxCharacters characters
/// of the text the rest becomes "...".
std::string shownText(std::string_view text, bool keepLines, std::size_t maxCharacters = std::string::npos);

/// True when \p text holds a line break of any kind (CR, LF, U+2028, U+2029, NEL).
bool holdsLineBreak(std::string_view text);

} // namespace twinspotter
