// Reads shortcut files without the Windows shell: a parser of the published Shell Link binary format and of
// freedesktop.org ".desktop" links.
#include "core/ShortcutTarget.h"

#include "core/Platform.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

namespace twinspotter {

namespace {

using Bytes = std::span<const unsigned char>;

// ---- Little-endian reads that refuse to leave the buffer -------------------------------------------------------

std::optional<std::uint16_t> readU16(Bytes data, std::size_t offset)
{
    if (offset > data.size() || data.size() - offset < 2)
        return std::nullopt;
    return static_cast<std::uint16_t>(data[offset] | data[offset + 1] << 8);
}

std::optional<std::uint32_t> readU32(Bytes data, std::size_t offset)
{
    if (offset > data.size() || data.size() - offset < 4)
        return std::nullopt;
    return static_cast<std::uint32_t>(data[offset]) | static_cast<std::uint32_t>(data[offset + 1]) << 8 |
           static_cast<std::uint32_t>(data[offset + 2]) << 16 | static_cast<std::uint32_t>(data[offset + 3]) << 24;
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// ANSI strings carry the writer's code page, which the file does not name; Windows-1252 is the common one and is a
// superset of ASCII, so plain paths come through unchanged. Its five unassigned bytes keep their Latin-1 meaning.
constexpr std::array<char16_t, 32> kWindows1252High = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                       0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                                       0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                       0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

/// NUL-terminated ANSI string starting at `offset`; nothing when the terminator is not inside `data`.
std::optional<std::string> readAnsiString(Bytes data, std::size_t offset)
{
    if (offset >= data.size())
        return std::nullopt;
    const auto rest = data.subspan(offset);
    const auto end = std::find(rest.begin(), rest.end(), 0);
    if (end == rest.end())
        return std::nullopt;
    std::string out;
    for (auto it = rest.begin(); it != end; ++it) {
        const unsigned char b = *it;
        if (b >= 0x80 && b < 0xA0)
            appendUtf8(out, kWindows1252High[b - 0x80]);
        else
            appendUtf8(out, b);
    }
    return out;
}

/// NUL-terminated UTF-16LE string starting at `offset`, as UTF-8; a lone surrogate becomes U+FFFD.
std::optional<std::string> readUnicodeString(Bytes data, std::size_t offset)
{
    std::string out;
    for (std::size_t pos = offset;; pos += 2) {
        const auto unit = readU16(data, pos);
        if (!unit)
            return std::nullopt;
        if (*unit == 0)
            return out;
        char32_t c = *unit;
        if (c >= 0xD800 && c < 0xDC00) {
            const auto low = readU16(data, pos + 2);
            if (low && *low >= 0xDC00 && *low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (*low - 0xDC00);
                pos += 2;
            } else {
                c = 0xFFFD;
            }
        } else if (c >= 0xDC00 && c < 0xE000) {
            c = 0xFFFD;
        }
        appendUtf8(out, c);
    }
}

// ---- Shell Link structures ---------------------------------------------------------------------------------------

constexpr std::uint32_t kShellLinkHeaderSize = 0x4C;
// {00021401-0000-0000-C000-000000000046} as stored: the first three fields little-endian.
constexpr std::array<unsigned char, 16> kLinkClsid = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                      0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr std::size_t kLinkFlagsOffset = 0x14;
constexpr std::uint32_t kHasLinkTargetIdList = 0x1;
constexpr std::uint32_t kHasLinkInfo = 0x2;

constexpr std::uint32_t kLinkInfoMinimalHeader = 0x1C;
constexpr std::uint32_t kLinkInfoUnicodeHeader = 0x24; // from this size on, the Unicode offsets are present
constexpr std::uint32_t kVolumeIdAndLocalBasePath = 0x1;
constexpr std::uint32_t kCommonNetworkRelativeLinkAndPathSuffix = 0x2;

constexpr std::uint32_t kNetworkLinkMinimalSize = 0x14;

/// An offset inside a structure must point past its fixed header and stay inside the structure.
bool isBodyOffset(std::uint32_t offset, std::uint32_t headerSize, std::size_t structureSize)
{
    return offset >= headerSize && offset < structureSize;
}

/// A string given by an ANSI offset and an optional Unicode offset (0 = not given) of the same structure.
std::optional<std::string> readPreferringUnicode(Bytes structure, std::uint32_t headerSize, std::uint32_t ansiOffset,
                                                 std::optional<std::uint32_t> unicodeOffset)
{
    if (unicodeOffset && *unicodeOffset != 0) {
        if (!isBodyOffset(*unicodeOffset, headerSize, structure.size()))
            return std::nullopt;
        return readUnicodeString(structure, *unicodeOffset);
    }
    if (!isBodyOffset(ansiOffset, headerSize, structure.size()))
        return std::nullopt;
    return readAnsiString(structure, ansiOffset);
}

/// NetName of a CommonNetworkRelativeLink starting at `offset` in the LinkInfo; empty when the link names none.
std::optional<std::string> readNetName(Bytes linkInfo, std::size_t offset)
{
    const auto size = readU32(linkInfo, offset);
    if (!size || *size < kNetworkLinkMinimalSize || *size > linkInfo.size() - offset)
        return std::nullopt;
    const Bytes link = linkInfo.subspan(offset, *size);
    const auto netNameOffset = readU32(link, 0x08);
    if (!netNameOffset)
        return std::nullopt;
    if (*netNameOffset == 0)
        return std::string();
    // A NetNameOffset beyond the minimal header announces the two Unicode offsets that follow it.
    std::uint32_t headerSize = kNetworkLinkMinimalSize;
    std::optional<std::uint32_t> unicodeOffset;
    if (*netNameOffset > kNetworkLinkMinimalSize) {
        headerSize = kNetworkLinkMinimalSize + 8;
        unicodeOffset = readU32(link, 0x14);
        if (!unicodeOffset || !readU32(link, 0x18))
            return std::nullopt;
    }
    return readPreferringUnicode(link, headerSize, *netNameOffset, unicodeOffset);
}

/// Joins a UNC share and the path below it with exactly one backslash.
std::string joinNetworkPath(const std::string& netName, const std::string& suffix)
{
    if (suffix.empty() || netName.ends_with('\\') || suffix.starts_with('\\'))
        return netName + suffix;
    return netName + '\\' + suffix;
}

std::optional<std::string> parseLinkInfo(Bytes linkInfo)
{
    const auto headerSize = readU32(linkInfo, 0x04);
    const auto flags = readU32(linkInfo, 0x08);
    const auto localBasePathOffset = readU32(linkInfo, 0x10);
    const auto networkLinkOffset = readU32(linkInfo, 0x14);
    const auto suffixOffset = readU32(linkInfo, 0x18);
    if (!headerSize || !flags || !localBasePathOffset || !networkLinkOffset || !suffixOffset)
        return std::nullopt;
    if (*headerSize != kLinkInfoMinimalHeader && *headerSize < kLinkInfoUnicodeHeader)
        return std::nullopt;
    if (*headerSize > linkInfo.size())
        return std::nullopt;
    std::optional<std::uint32_t> localUnicodeOffset;
    std::optional<std::uint32_t> suffixUnicodeOffset;
    if (*headerSize >= kLinkInfoUnicodeHeader) {
        localUnicodeOffset = readU32(linkInfo, 0x1C);
        suffixUnicodeOffset = readU32(linkInfo, 0x20);
    }

    std::string suffix;
    if (*suffixOffset != 0 || (suffixUnicodeOffset && *suffixUnicodeOffset != 0)) {
        auto read = readPreferringUnicode(linkInfo, *headerSize, *suffixOffset, suffixUnicodeOffset);
        if (!read)
            return std::nullopt;
        suffix = std::move(*read);
    }

    std::string netName;
    if (*flags & kCommonNetworkRelativeLinkAndPathSuffix) {
        if (!isBodyOffset(*networkLinkOffset, *headerSize, linkInfo.size()))
            return std::nullopt;
        auto read = readNetName(linkInfo, *networkLinkOffset);
        if (!read)
            return std::nullopt;
        netName = std::move(*read);
    }
    if (!netName.empty())
        return joinNetworkPath(netName, suffix);

    if (!(*flags & kVolumeIdAndLocalBasePath))
        return std::nullopt;
    auto local = readPreferringUnicode(linkInfo, *headerSize, *localBasePathOffset, localUnicodeOffset);
    if (!local || local->empty())
        return std::nullopt;
    return *local + suffix;
}

// ---- .desktop links ----------------------------------------------------------------------------------------------

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

std::string_view trimSpaces(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

/// Undoes the escapes that string values of a desktop entry may hold (\s \n \t \r \\).
std::string unescapeDesktopValue(std::string_view value)
{
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (value[++i]) {
        case 's':
            out += ' ';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        case '\\':
            out += '\\';
            break;
        default:
            out += '\\';
            out += value[i];
            break;
        }
    }
    return out;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

/// Local path of a file: URL ("file:///p", "file://localhost/p" or "file:/p"); nothing for a remote host.
std::optional<std::string> localPathOfFileUrl(std::string_view url)
{
    constexpr std::string_view scheme = "file:";
    if (url.size() < scheme.size() || !equalsIgnoringAsciiCase(url.substr(0, scheme.size()), scheme))
        return std::nullopt;
    std::string_view rest = url.substr(scheme.size());
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        const std::string_view host = rest.substr(0, rest.find('/'));
        if (!host.empty() && !equalsIgnoringAsciiCase(host, "localhost"))
            return std::nullopt;
        rest.remove_prefix(host.size());
    }
    rest = rest.substr(0, rest.find_first_of("?#"));
    if (!rest.starts_with('/'))
        return std::nullopt;

    // A NUL byte cannot be part of a path, neither written out nor percent-encoded; any other byte can.
    std::string path;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '\0')
            return std::nullopt;
        if (rest[i] != '%') {
            path += rest[i];
            continue;
        }
        if (i + 2 >= rest.size())
            return std::nullopt;
        const int high = hexValue(rest[i + 1]);
        const int low = hexValue(rest[i + 2]);
        if (high < 0 || low < 0 || (high == 0 && low == 0))
            return std::nullopt;
        path += static_cast<char>(high << 4 | low);
        i += 2;
    }
    return path;
}

// ---- Files -------------------------------------------------------------------------------------------------------

} // namespace

std::optional<std::string> parseShellLinkTarget(std::span<const unsigned char> data)
{
    if (readU32(data, 0) != kShellLinkHeaderSize || data.size() < kShellLinkHeaderSize)
        return std::nullopt;
    if (!std::equal(kLinkClsid.begin(), kLinkClsid.end(), data.begin() + 4))
        return std::nullopt;
    const auto flags = readU32(data, kLinkFlagsOffset);
    if (!flags)
        return std::nullopt;

    std::size_t pos = kShellLinkHeaderSize;
    if (*flags & kHasLinkTargetIdList) {
        const auto idListSize = readU16(data, pos);
        if (!idListSize)
            return std::nullopt;
        pos += 2;
        if (*idListSize > data.size() - pos)
            return std::nullopt;
        pos += *idListSize;
    }
    if (!(*flags & kHasLinkInfo))
        return std::nullopt;
    const auto linkInfoSize = readU32(data, pos);
    if (!linkInfoSize || *linkInfoSize < kLinkInfoMinimalHeader || *linkInfoSize > data.size() - pos)
        return std::nullopt;
    return parseLinkInfo(data.subspan(pos, *linkInfoSize));
}

std::optional<std::string> parseDesktopLinkTarget(std::string_view text)
{
    bool inDesktopEntry = false;
    std::optional<std::string> type;
    std::optional<std::string> url;
    while (!text.empty()) {
        const std::size_t eol = text.find('\n');
        const std::string_view line = trimSpaces(text.substr(0, eol));
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        if (line.empty() || line.front() == '#')
            continue;
        if (line.front() == '[') {
            inDesktopEntry = line == "[Desktop Entry]";
            continue;
        }
        const std::size_t eq = line.find('=');
        if (!inDesktopEntry || eq == std::string_view::npos)
            continue;
        const std::string_view key = trimSpaces(line.substr(0, eq));
        const std::string_view value = trimSpaces(line.substr(eq + 1));
        // The first occurrence wins: a repeated key is an error in the file, and the first is what readers show.
        if (key == "Type" && !type)
            type = unescapeDesktopValue(value);
        else if (key == "URL" && !url)
            url = unescapeDesktopValue(value);
    }
    if (type != "Link" || !url)
        return std::nullopt;
    return localPathOfFileUrl(*url);
}

std::string shortcutTarget(const std::string& fileName)
{
    const std::size_t slash = fileName.find_last_of(kSeparators);
    const std::string_view name = std::string_view(fileName).substr(slash == std::string::npos ? 0 : slash + 1);
    const std::size_t dot = name.rfind('.');
    const std::string_view extension = dot == std::string_view::npos ? std::string_view() : name.substr(dot);

    const bool isShellLink = equalsIgnoringAsciiCase(extension, ".lnk");
    // A ".desktop" link is a Linux desktop's; Windows knows it as a file like any other.
    if (!isShellLink && (!kDesktopLinks || !equalsIgnoringAsciiCase(extension, ".desktop")))
        return std::string(kNotAShortcut);

    const auto data = readFilePrefix(fileName, kShortcutReadLimit);
    if (!data)
        return {};
    if (isShellLink)
        return parseShellLinkTarget(*data).value_or(std::string());
    const std::string_view text(reinterpret_cast<const char*>(data->data()), data->size());
    return parseDesktopLinkTarget(text).value_or(std::string());
}

} // namespace twinspotter
