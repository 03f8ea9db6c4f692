// Tests of the shortcut resolver on ".lnk" files built here byte by byte and on ".desktop" links.
#include "core/ShortcutTarget.h"
#include "core/FileRecord.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace twinspotter {
namespace {

namespace fs = std::filesystem;
using namespace std::string_view_literals;
using Bytes = std::vector<unsigned char>;

// ---- A writer of the Shell Link binary format, enough for the LinkInfo paths ------------------------------------

void put16(Bytes& b, std::uint16_t v)
{
    b.push_back(v & 0xFF);
    b.push_back(v >> 8);
}

void put32(Bytes& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(v >> (8 * i) & 0xFF);
}

void patch32(Bytes& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = v >> (8 * i) & 0xFF;
}

void putAnsi(Bytes& b, const std::string& s)
{
    b.insert(b.end(), s.begin(), s.end());
    b.push_back(0);
}

void putUnicode(Bytes& b, const std::u16string& s)
{
    for (char16_t c : s)
        put16(b, c);
    put16(b, 0);
}

struct LinkParts
{
    bool idList = true;
    bool linkInfo = true;
    std::optional<std::string> local = {}; // VolumeID + LocalBasePath when set
    std::string suffix = {};
    std::optional<std::string> netName = {}; // CommonNetworkRelativeLink when set
    // Unicode copies; any of them makes the LinkInfo header 0x24 bytes long.
    std::optional<std::u16string> localUnicode = {};
    std::optional<std::u16string> suffixUnicode = {};
    std::optional<std::u16string> netNameUnicode = {};
};

Bytes buildNetworkLink(const std::string& netName, const std::optional<std::u16string>& netNameUnicode)
{
    Bytes b;
    put32(b, 0);          // CommonNetworkRelativeLinkSize, patched below
    put32(b, 0x2);        // ValidNetType
    put32(b, 0);          // NetNameOffset
    put32(b, 0);          // DeviceNameOffset: no mapped drive
    put32(b, 0x00020000); // WNNC_NET_LANMAN
    if (netNameUnicode) {
        put32(b, 0); // NetNameOffsetUnicode
        put32(b, 0); // DeviceNameOffsetUnicode
    }
    patch32(b, 0x08, static_cast<std::uint32_t>(b.size()));
    putAnsi(b, netName);
    if (netNameUnicode) {
        patch32(b, 0x14, static_cast<std::uint32_t>(b.size()));
        putUnicode(b, *netNameUnicode);
    }
    patch32(b, 0, static_cast<std::uint32_t>(b.size()));
    return b;
}

Bytes buildLinkInfo(const LinkParts& p)
{
    const bool unicode = p.localUnicode || p.suffixUnicode || p.netNameUnicode;
    const std::uint32_t headerSize = unicode ? 0x24 : 0x1C;
    Bytes b;
    put32(b, 0); // LinkInfoSize
    put32(b, headerSize);
    put32(b, (p.local ? 0x1 : 0) | (p.netName ? 0x2 : 0));
    b.resize(headerSize, 0);
    if (p.local) {
        patch32(b, 0x0C, static_cast<std::uint32_t>(b.size()));
        put32(b, 0x11);       // VolumeIDSize
        put32(b, 3);          // DRIVE_FIXED
        put32(b, 0x1234ABCD); // DriveSerialNumber
        put32(b, 0x10);       // VolumeLabelOffset
        b.push_back(0);       // empty label
        patch32(b, 0x10, static_cast<std::uint32_t>(b.size()));
        putAnsi(b, *p.local);
    }
    if (p.netName) {
        patch32(b, 0x14, static_cast<std::uint32_t>(b.size()));
        const Bytes net = buildNetworkLink(*p.netName, p.netNameUnicode);
        b.insert(b.end(), net.begin(), net.end());
    }
    patch32(b, 0x18, static_cast<std::uint32_t>(b.size()));
    putAnsi(b, p.suffix);
    if (p.localUnicode) {
        patch32(b, 0x1C, static_cast<std::uint32_t>(b.size()));
        putUnicode(b, *p.localUnicode);
    }
    if (p.suffixUnicode) {
        patch32(b, 0x20, static_cast<std::uint32_t>(b.size()));
        putUnicode(b, *p.suffixUnicode);
    }
    patch32(b, 0, static_cast<std::uint32_t>(b.size()));
    return b;
}

constexpr std::size_t kLinkInfoAt = 0x4C + 2 + 8; // after a header and the 8-byte ID list below

/// A whole .lnk file; it ends with the LinkInfo, so every shorter prefix of it is truncated.
Bytes buildLink(const LinkParts& p)
{
    Bytes b;
    put32(b, 0x4C);
    const unsigned char clsid[] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                   0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
    b.insert(b.end(), std::begin(clsid), std::end(clsid));
    put32(b, (p.idList ? 0x1 : 0) | (p.linkInfo ? 0x2 : 0) | 0x80); // IsUnicode as Windows writes it
    put32(b, 0x10);                                                 // FILE_ATTRIBUTE_DIRECTORY
    b.resize(0x4C, 0);                                              // times, size, icon, show command, hot key
    b[0x3C] = 1;                                                    // SW_SHOWNORMAL
    if (p.idList) {
        put16(b, 8);
        put16(b, 6); // one opaque item of 6 bytes
        put16(b, 0xBEEF);
        put16(b, 0xCAFE);
        put16(b, 0); // TerminalID
    }
    if (p.linkInfo) {
        const Bytes info = buildLinkInfo(p);
        b.insert(b.end(), info.begin(), info.end());
    }
    return b;
}

std::optional<std::string> parse(const Bytes& b)
{
    return parseShellLinkTarget(b);
}

LinkParts networkAndLocalUnicode()
{
    LinkParts p;
    p.local = "Z:\\Photos";
    p.localUnicode = u"Z:\\Photos";
    p.suffix = "Caf?";
    p.suffixUnicode = u"Caf\u00e9 \U0001F600";
    p.netName = "\\\\nas\\PHOTOS";
    p.netNameUnicode = u"\\\\nas\\Fot\u00f6s";
    return p;
}

// A fresh directory per test for the cases that read real files.
class ShortcutTargetTest : public ::testing::Test
{
protected:
    std::string write(const std::string& name, const std::string& content)
    {
        const std::string path = m_tree.path(name);
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    std::string write(const std::string& name, const Bytes& content)
    {
        return write(name, std::string(content.begin(), content.end()));
    }

    test::TempTree m_tree;
};

// ---- The parser ---------------------------------------------------------------------------------------------------

TEST_F(ShortcutTargetTest, LocalPathIsJoinedWithTheCommonSuffix)
{
    LinkParts p;
    p.local = "C:\\Users\\ann\\Photos";
    EXPECT_EQ(parse(buildLink(p)), "C:\\Users\\ann\\Photos");

    p.local = "C:\\Users\\";
    p.suffix = "ann\\Photos";
    EXPECT_EQ(parse(buildLink(p)), "C:\\Users\\ann\\Photos");

    p.idList = false;
    EXPECT_EQ(parse(buildLink(p)), "C:\\Users\\ann\\Photos");

    p.local = "C:\\Caf\xE9\x80"; // Windows-1252 bytes
    p.suffix = "";
    EXPECT_EQ(parse(buildLink(p)), "C:\\Caf\u00e9\u20ac");
}

TEST_F(ShortcutTargetTest, NetworkShareIsPreferredOverTheLocalPath)
{
    LinkParts p;
    p.local = "Z:\\dir";
    p.netName = "\\\\server\\share";
    p.suffix = "dir";
    EXPECT_EQ(parse(buildLink(p)), "\\\\server\\share\\dir");

    p.netName = "\\\\server\\share\\"; // one separator, never two
    EXPECT_EQ(parse(buildLink(p)), "\\\\server\\share\\dir");

    p.suffix = ""; // the share itself
    p.netName = "\\\\server\\share";
    EXPECT_EQ(parse(buildLink(p)), "\\\\server\\share");

    p.netName = ""; // a network link without a name falls back to the local path
    p.suffix = "\\x";
    EXPECT_EQ(parse(buildLink(p)), "Z:\\dir\\x");

    p.local.reset();
    EXPECT_EQ(parse(buildLink(p)), std::nullopt);
}

TEST_F(ShortcutTargetTest, UnicodeVariantsWinOverAnsiStrings)
{
    LinkParts p = networkAndLocalUnicode();
    EXPECT_EQ(parse(buildLink(p)), "\\\\nas\\Fot\u00f6s\\Caf\u00e9 \U0001F600");

    p.netName.reset();
    p.netNameUnicode.reset();
    p.localUnicode = u"D:\\\u00c5r\\";
    EXPECT_EQ(parse(buildLink(p)), "D:\\\u00c5r\\Caf\u00e9 \U0001F600");

    p.suffixUnicode = u"\xD800x"; // a lone surrogate is replaced, not passed on as invalid UTF-8
    EXPECT_EQ(parse(buildLink(p)), "D:\\\u00c5r\\\uFFFDx");
}

TEST_F(ShortcutTargetTest, EveryTruncationIsRejected)
{
    for (const LinkParts& p : {networkAndLocalUnicode(), LinkParts{.local = "C:\\a", .suffix = "b"}}) {
        const Bytes whole = buildLink(p);
        ASSERT_TRUE(parse(whole));
        for (std::size_t n = 0; n < whole.size(); ++n) {
            // An exact-size copy, so that a sanitizer build sees any read past the end.
            const Bytes prefix(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
            EXPECT_EQ(parse(prefix), std::nullopt) << "prefix of " << n << " bytes";
        }
    }
}

TEST_F(ShortcutTargetTest, MalformedOrTargetlessLinksGiveNothing)
{
    const LinkParts p{.local = "C:\\a"};
    EXPECT_EQ(parse(buildLink(LinkParts{.linkInfo = false})), std::nullopt);
    EXPECT_EQ(parse(buildLink(LinkParts{})), std::nullopt); // LinkInfo with neither path

    Bytes b = buildLink(p);
    b[0] = 0x4D; // HeaderSize
    EXPECT_EQ(parse(b), std::nullopt);
    b = buildLink(p);
    b[19] ^= 1; // last byte of LinkCLSID
    EXPECT_EQ(parse(b), std::nullopt);

    b = buildLink(p);
    const std::uint32_t linkInfoSize = b[kLinkInfoAt] | b[kLinkInfoAt + 1] << 8;
    patch32(b, kLinkInfoAt + 0x10, linkInfoSize); // LocalBasePathOffset just past the LinkInfo
    EXPECT_EQ(parse(b), std::nullopt);
    patch32(b, kLinkInfoAt + 0x10, 0x08); // ... or into its header
    EXPECT_EQ(parse(b), std::nullopt);

    b = buildLink(p);
    b.back() = 'x'; // the suffix, last in the LinkInfo, loses its terminator
    EXPECT_EQ(parse(b), std::nullopt);

    b = buildLink(p);
    patch32(b, kLinkInfoAt + 0x04, 0x20); // a header size between the two known ones
    EXPECT_EQ(parse(b), std::nullopt);

    b = buildLink(p);
    b[0x4C] = 0xFF; // ID list longer than the file
    b[0x4D] = 0xFF;
    EXPECT_EQ(parse(b), std::nullopt);
}

TEST_F(ShortcutTargetTest, DesktopLinkGivesItsLocalPath)
{
    EXPECT_EQ(parseDesktopLinkTarget("[Desktop Entry]\r\nName=Photos\r\nType=Link\r\n"
                                     "URL=file:///home/ann/My%20Photos\r\n"),
              "/home/ann/My Photos");
    EXPECT_EQ(parseDesktopLinkTarget("# comment\n[Desktop Entry]\nURL = file://localhost/srv/x%C3%A9\nType = Link\n"),
              "/srv/x\u00e9");
    EXPECT_EQ(parseDesktopLinkTarget("[Desktop Entry]\nType=Link\nURL=file:/tmp/a\\sb\n"), "/tmp/a b");

    EXPECT_EQ(parseDesktopLinkTarget("[Desktop Entry]\nType=Application\nExec=gimp\nURL=file:///tmp\n"), std::nullopt);
    EXPECT_EQ(parseDesktopLinkTarget("[Desktop Entry]\nType=Link\nURL=https://example.invalid/\n"), std::nullopt);
    EXPECT_EQ(parseDesktopLinkTarget("[Desktop Entry]\nType=Link\nURL=file://nas/share\n"), std::nullopt);
    EXPECT_EQ(parseDesktopLinkTarget("[Desktop Entry]\nType=Link\nURL=file:///a%00b\n"), std::nullopt);
    EXPECT_EQ(parseDesktopLinkTarget("[Desktop Entry]\nType=Link\nURL=file:///a\0b\n"sv), std::nullopt);
    EXPECT_EQ(parseDesktopLinkTarget("[Other]\nType=Link\nURL=file:///tmp\n"), std::nullopt);
}

TEST_F(ShortcutTargetTest, OnlyLnkAndDesktopExtensionsAreShortcuts)
{
    const Bytes link = buildLink(LinkParts{.local = "C:\\Photos"});
    for (const char* name : {"a.LNK", "b.lnk", "c.Lnk", ".lnk"})
        EXPECT_EQ(shortcutTarget(write(name, link)), "C:\\Photos") << name;

    for (const char* name : {"x.lnk.txt", "lnk", "xlnk", "d.lnk.", "e.ln"})
        EXPECT_EQ(shortcutTarget(write(name, link)), "NOL") << name;
    EXPECT_EQ(shortcutTarget(m_tree.path("dir.lnk/plain")), "NOL");

    // A ".desktop" link is a Linux desktop's; on Windows it is a file like any other.
    EXPECT_EQ(shortcutTarget(write("Photos.Desktop", "[Desktop Entry]\nType=Link\nURL=file:///srv/My%20Photos\n")),
              kDesktopLinks ? "/srv/My Photos" : kNotAShortcut);
}

TEST_F(ShortcutTargetTest, UnreadableOrTargetlessShortcutsGiveAnEmptyText)
{
    EXPECT_EQ(shortcutTarget(m_tree.path("missing.lnk")), "");
    const std::string_view unreadableDesktopLink = kDesktopLinks ? "" : kNotAShortcut;
    EXPECT_EQ(shortcutTarget(m_tree.path("missing.desktop")), unreadableDesktopLink);
    EXPECT_EQ(shortcutTarget(m_tree.dir("dir.lnk")), ""); // a directory, not a file
    EXPECT_EQ(shortcutTarget(write("empty.lnk", "")), "");
    EXPECT_EQ(shortcutTarget(write("printer.lnk", buildLink(LinkParts{.linkInfo = false}))), "");
    EXPECT_EQ(shortcutTarget(write("gimp.desktop", "[Desktop Entry]\nType=Application\nExec=gimp\n")),
              unreadableDesktopLink);
}

// Writes the fuzzer's seed corpus when TWINSPOTTER_FUZZ_SEEDS names a directory; otherwise it has nothing to do.
TEST_F(ShortcutTargetTest, WritesFuzzSeedsWhenAsked)
{
    const char* dir = std::getenv("TWINSPOTTER_FUZZ_SEEDS");
    if (!dir)
        GTEST_SKIP() << "set TWINSPOTTER_FUZZ_SEEDS to a directory to write the seeds";
    const auto save = [&](const std::string& name, const Bytes& b) {
        std::ofstream(fs::path(dir) / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    };
    const auto text = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
    save("local.lnk", buildLink(LinkParts{.local = "C:\\Users\\", .suffix = "ann"}));
    save("local-no-idlist.lnk", buildLink(LinkParts{.idList = false, .local = "C:\\a"}));
    save("network.lnk", buildLink(LinkParts{.local = "Z:\\", .suffix = "d", .netName = "\\\\srv\\s"}));
    save("unicode.lnk", buildLink(networkAndLocalUnicode()));
    save("no-linkinfo.lnk", buildLink(LinkParts{.linkInfo = false}));
    save("link.desktop", text("[Desktop Entry]\nType=Link\nURL=file://localhost/home/a%20b\n"));
    save("app.desktop", text("[Desktop Entry]\nType=Application\nExec=x\n"));
    save("odd-strings.lnk",
         buildLink(
             LinkParts{.local = "C:\\Caf\xE9\x80\x9F", .suffix = "x", .suffixUnicode = u"\xD83D\xDE00\xD800-\xDC00"}));
    save("network-share-only.lnk", buildLink(LinkParts{.idList = false, .suffix = "", .netName = "\\\\srv\\s\\"}));
    save("escapes.desktop",
         text("# c\r\n[Desktop Entry]\r\nURL = FILE:/tmp/a\\sb%2Fc?q#f\r\nType = Link\r\n[X]\r\nType=Y\n"));
    save("remote.desktop", text("[Desktop Entry]\nType=Link\nURL=file://nas/x%zz\n"));
}

} // namespace
} // namespace twinspotter
