#include "app/ScanOutput.h"

#include <cstdio>

namespace twinspotter {

std::string escapeField(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

namespace {

// Length of the valid UTF-8 sequence at the start of \p s, or 0 when it is not one.
std::size_t utf8SequenceLength(std::string_view s)
{
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char c = b(0);
    if (c < 0x80)
        return 1;
    std::size_t len = 0;
    std::uint32_t cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (s.size() < len)
        return 0;
    for (std::size_t i = 1; i < len; ++i) {
        if ((b(i) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b(i) & 0x3F);
    }
    const bool overlong = (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
    const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
    if (overlong || surrogate || cp > 0x10FFFF)
        return 0;
    return len;
}

} // namespace

std::string jsonString(std::string_view text)
{
    std::string out = "\"";
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t len = utf8SequenceLength(text.substr(i));
        if (len == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (len == 1) {
            const char c = text[i];
            switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(c));
                    out += buf;
                } else {
                    out += c;
                }
            }
        } else {
            out.append(text.substr(i, len));
        }
        i += len;
    }
    out += '"';
    return out;
}

std::string pairLine(const FileRecord& pair)
{
    std::string line = escapeField(pair.name);
    line += '\t';
    line += escapeField(pair.dir1());
    line += '\t';
    line += escapeField(pair.dir2());
    line += '\t';
    line += std::to_string(pair.size);
    line += '\t';
    line += std::to_string(static_cast<std::uint32_t>(pair.date));
    line += '\n';
    return line;
}

void writePairsJson(std::FILE* out, const FileList& pairs, std::int32_t files1, std::int32_t files2)
{
    std::fprintf(out, "{\"location1_files\": %d, \"location2_files\": %d, \"pairs\": [", files1, files2);
    bool first = true;
    std::string item;
    for (const FileRecord& pair : pairs) {
        item = first ? "\n  " : ",\n  ";
        first = false;
        item += "{\"name\": " + jsonString(pair.name) + ", \"dir1\": " + jsonString(pair.dir1()) +
                ", \"dir2\": " + jsonString(pair.dir2()) + ", \"size\": " + std::to_string(pair.size) +
                ", \"date\": " + std::to_string(static_cast<std::uint32_t>(pair.date)) + "}";
        std::fwrite(item.data(), 1, item.size(), out);
    }
    std::fputs(first ? "]}\n" : "\n]}\n", out);
}

} // namespace twinspotter
