// Reading UTF-8 one sequence at a time, for texts that must show or escape names whatever bytes they hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace twinspotter {

/// The length of the well-formed UTF-8 sequence at \p at of \p text, with its code point in \p codePoint; 0 when
/// the bytes there are none (a stray continuation byte, a cut-off, overlong or surrogate sequence, a code point past
/// U+10FFFF).
inline std::size_t utf8SequenceAt(std::string_view text, std::size_t at, std::uint32_t& codePoint)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char first = byte(at);
    std::size_t length = 0;
    if (first < 0x80) {
        codePoint = first;
        return 1;
    }
    if (first >= 0xC2 && first <= 0xDF) {
        length = 2;
        codePoint = first & 0x1F;
    } else if (first >= 0xE0 && first <= 0xEF) {
        length = 3;
        codePoint = first & 0x0F;
    } else if (first >= 0xF0 && first <= 0xF4) {
        length = 4;
        codePoint = first & 0x07;
    } else {
        return 0;
    }
    if (text.size() - at < length)
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(at + k) & 0xC0) != 0x80)
            return 0;
        codePoint = codePoint << 6 | (byte(at + k) & 0x3F);
    }
    const bool overlong = (length == 3 && codePoint < 0x800) || (length == 4 && codePoint < 0x10000);
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    return overlong || surrogate || codePoint > 0x10FFFF ? 0 : length;
}

} // namespace twinspotter
