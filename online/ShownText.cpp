// Escaping of outside text for the screen.
#include "online/ShownText.h"

#include <cstdint>

namespace twinspotter {

namespace {

// The length of the well-formed UTF-8 sequence at \p at, or 0, with its code point.
std::size_t sequenceAt(std::string_view text, std::size_t at, std::uint32_t& codePoint)
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

bool isInvisibleFormatting(std::uint32_t c)
{
    return c == 0x200E || c == 0x200F || c == 0x061C || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) ||
           c == 0x2028 || c == 0x2029;
}

bool isControl(std::uint32_t c)
{
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

constexpr char kHex[] = "0123456789ABCDEF";

void appendByteEscapes(std::string& out, std::string_view bytes)
{
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 15];
    }
}

} // namespace

std::string shownText(std::string_view text, bool keepLines, std::size_t maxCharacters)
{
    std::string out;
    out.reserve(text.size());
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++characters) {
        if (characters == maxCharacters)
            return out + "...";
        std::uint32_t c = 0;
        const std::size_t length = sequenceAt(text, i, c);
        if (length == 0) {
            appendByteEscapes(out, text.substr(i, 1));
            ++i;
            continue;
        }
        if (keepLines && c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
            --characters;
            continue;
        }
        if (keepLines && (c == '\n' || c == '\t')) {
            out += static_cast<char>(c);
        } else if (isControl(c)) {
            appendByteEscapes(out, text.substr(i, length));
        } else if (isInvisibleFormatting(c)) {
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4)
                out += kHex[c >> shift & 15];
        } else {
            out.append(text, i, length);
        }
        i += length;
    }
    return out;
}

bool holdsLineBreak(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        std::uint32_t c = 0;
        const std::size_t length = sequenceAt(text, i, c);
        if (length != 0 && (c == '\r' || c == '\n' || c == 0x85 || c == 0x2028 || c == 0x2029))
            return true;
        i += length == 0 ? 1 : length;
    }
    return false;
}

} // namespace twinspotter
