#include "app/ScanOutput.h"

#include "core/Utf8.h"

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

std::string jsonString(std::string_view text)
{
    std::string out = "\"";
    std::size_t i = 0;
    while (i < text.size()) {
        std::uint32_t codePoint = 0;
        const std::size_t len = utf8SequenceAt(text, i, codePoint);
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
