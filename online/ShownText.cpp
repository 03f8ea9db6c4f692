// Escaping of outside text for the screen.
#include "online/ShownText.h"

#include "core/Utf8.h"

#include <cstdint>

namespace twinspotter {

namespace {

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
        const std::size_t length = utf8SequenceAt(text, i, c);
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
        const std::size_t length = utf8SequenceAt(text, i, c);
        if (length != 0 && (c == '\r' || c == '\n' || c == 0x85 || c == 0x2028 || c == 0x2029))
            return true;
        i += length == 0 ? 1 : length;
    }
    return false;
}

} // namespace twinspotter
