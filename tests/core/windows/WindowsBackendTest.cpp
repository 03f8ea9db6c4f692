// The Windows back end on a real file system (NTFS on Windows, the build machine's own under Wine): names through the
// UTF-16 seam, drive roots, long paths, reparse points, files changed since the search, the safety directory and the
// Recycle Bin.
#include "core/Platform.h"
#include "core/SearchSession.h"
#include "core/remove.h"
#include "core/windows/WindowsFileSystem.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

namespace twinspotter {
namespace {

// A folder of its own per test under the system's temporary folder, removed afterwards.
class TempFolder
{
public:
    TempFolder()
    {
        wchar_t base[MAX_PATH + 1];
        const DWORD length = ::GetTempPathW(MAX_PATH + 1, base);
        static int counter = 0;
        m_root = fromWide(std::wstring_view(base, length)) + "twinspotter-test-" +
                 std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(counter++);
        EXPECT_TRUE(::CreateDirectoryW(toWide(m_root).c_str(), nullptr));
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(systemPath(m_root)), ignored);
    }
    const std::string& root() const { return m_root; }
    std::string path(const std::string& relative) const { return m_root + "\\" + relative; }

    /// Makes the file \p relative (and its folders) holding \p bytes, last written at the Windows time \p when.
    std::string file(const std::string& relative, const std::string& bytes, std::int64_t when = 133'000'000'000'000'000)
    {
        const std::string full = path(relative);
        std::filesystem::create_directories(std::filesystem::path(systemPath(full)).parent_path());
        const UniqueHandle handle(::CreateFileW(systemPath(full).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_TRUE(handle) << full;
        DWORD written = 0;
        EXPECT_TRUE(::WriteFile(handle.get(), bytes.data(), DWORD(bytes.size()), &written, nullptr));
        const FILETIME time{DWORD(when), DWORD(when >> 32)};
        EXPECT_TRUE(::SetFileTime(handle.get(), nullptr, nullptr, &time));
        return full;
    }

private:
    std::string m_root;
};

bool present(const std::string& path)
{
    return ::GetFileAttributesW(systemPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

class Host : public CommandHost
{
public:
    SearchCriteria criteria() const override { return {true, true, sameContent}; }
    RemovalTarget removalTarget() const override { return target; }
    bool confirm(std::string_view) override { return true; }
    void reportKept(const std::vector<KeptFile>& files) override { kept = files; }

    bool sameContent = false;
    RemovalTarget target = Delete{};
    std::vector<KeptFile> kept;
};

std::string describe(const std::vector<KeptFile>& kept)
{
    std::string text;
    for (const KeptFile& file : kept)
        text += file.path + ": " + file.text() + "\n";
    return text;
}

TEST(WindowsBackend, NamesCrossTheSeamLosslesslyAndAreFoundAndRemovedByThem)
{
    // A lone surrogate is a legal NTFS name that UTF-8 cannot hold: WTF-8 keeps it.
    for (const std::wstring& name :
         {std::wstring(L"plain.txt"), std::wstring(L"\u03c6\u03c9\u03c4\u03bf.jpg"), std::wstring(L"\U0001F600 smile"),
          std::wstring(L"lone \xD800 high"), std::wstring(L"lone \xDC00 low"), std::wstring(L"\xDC00\xD800 swapped")})
        EXPECT_EQ(toWide(fromWide(name)), name);

    TempFolder tree;
    const std::string name = "\xcf\x86\xcf\x89\xcf\x84\xce\xbf \xe5\x86\x99\xe7\x9c\x9f.jpg";
    tree.file("one\\" + name, "same bytes");
    const std::string copy = tree.file("two\\" + name, "same bytes");
    SearchSession session;
    Host host;
    host.sameContent = true;
    session.search(tree.path("one"), tree.path("two"), host);
    ASSERT_EQ(session.pairs().size(), 1u);
    EXPECT_EQ(session.pairs()[0].name, name);
    EXPECT_EQ(session.pairs()[0].dir2(), tree.path("two\\"));
    // A location typed with forward slashes and a trailing one, as Windows accepts it, gets no separator added.
    SearchSession slashes;
    slashes.search(tree.path("one/"), tree.path("two/"), host);
    ASSERT_EQ(slashes.pairs().size(), 1u);
    EXPECT_EQ(slashes.pairs()[0].dir2(), tree.path("two/"));
    EXPECT_EQ(slashes.removeAllLocation2Copies(host).count, 1) << describe(host.kept);
    EXPECT_FALSE(present(copy));
    EXPECT_TRUE(present(tree.path("one\\" + name)));
}

TEST(WindowsBackend, DriveRootsAndTheSafetyDirectoryFollowWindowsRules)
{
    FileSystem& fs = realFileSystem();
    EXPECT_EQ(safetyTargetPath("D:\\photos\\2009\\a.jpg", "C:\\work\\Savedir", fs),
              "C:\\work\\Savedir\\photos\\2009\\a.jpg");
    EXPECT_EQ(safetyTargetPath("D:\\photos\\..\\2009\\.\\a.jpg", "C:\\S", fs), "C:\\S\\2009\\a.jpg");
    wchar_t before[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, before);
    ASSERT_TRUE(::SetCurrentDirectoryW(L"C:\\"));
    EXPECT_EQ(defaultSafetyDirectory(fs), "C:\\\\Savedir");
    ::SetCurrentDirectoryW(before);

    // A drive of its own for the test's folder, searched by its root as the user types it: one made here where the
    // system allows it (subst's call), else the empty drive the test script made (Wine's drives are its own links).
    TempFolder tree;
    wchar_t letter[] = L"Q:";
    for (; letter[0] <= L'Y' && ::GetDriveTypeW((std::wstring(letter) + L"\\").c_str()) != DRIVE_NO_ROOT_DIR;
         ++letter[0]) {
    }
    std::string root = fromWide(letter) + "\\";
    bool defined = ::DefineDosDeviceW(0, letter, toWide(tree.root()).c_str()) &&
                   ::GetFileAttributesW((std::wstring(letter) + L"\\").c_str()) != INVALID_FILE_ATTRIBUTES;
    if (!defined) {
        ::DefineDosDeviceW(DDD_REMOVE_DEFINITION, letter, nullptr);
        const char* given = std::getenv("TWINSPOTTER_TEST_DRIVE");
        if (!given || !*given)
            GTEST_SKIP() << "no drive letter can be given to a folder here, and TWINSPOTTER_TEST_DRIVE names none";
        root = std::string(1, given[0]) + ":\\";
    }
    const auto make = [&](const std::string& relative) {
        const std::string full = root + relative;
        std::filesystem::create_directories(std::filesystem::path(toWide(full)).parent_path());
        const UniqueHandle handle(::CreateFileW(toWide(full).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_TRUE(handle) << full;
    };
    make("a\\x.txt");
    make("b\\x.txt");
    SearchSession session;
    Host host;
    session.search(root, {}, host);
    if (defined) {
        ::DefineDosDeviceW(DDD_REMOVE_DEFINITION, letter, nullptr);
    } else {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(toWide(root + "a")), ignored);
        std::filesystem::remove_all(std::filesystem::path(toWide(root + "b")), ignored);
    }
    ASSERT_EQ(session.pairs().size(), 1u);
    const std::set<std::string> folders{session.pairs()[0].dir1(), session.pairs()[0].dir2()};
    EXPECT_EQ(folders, (std::set<std::string>{root + "a\\", root + "b\\"}));
}

TEST(WindowsBackend, PathsPastMaxPathAreWalkedComparedAndRemoved)
{
    TempFolder tree;
    std::string deep = "one";
    while (tree.path(deep).size() < 300)
        deep += "\\a-folder-name-of-forty-characters-000000";
    const std::string kept = tree.file(deep + "\\same.bin", std::string(3 << 20, 'z'));
    const std::string copy = tree.file("two\\same.bin", std::string(3 << 20, 'z'));
    SearchSession session;
    Host host;
    host.sameContent = true;
    session.search(tree.path("two"), tree.path("one"), host);
    ASSERT_EQ(session.pairs().size(), 1u);
    EXPECT_EQ(session.pairs()[0].path2(), kept);
    EXPECT_EQ(session.lastSearch().content.unreadable, 0);
    // The deep one is the location-2 copy here: it goes, past MAX_PATH, into a safety directory past it too.
    host.target = MoveToSafetyDirectory{tree.path("safety")};
    EXPECT_EQ(session.removeAllLocation2Copies(host).count, 1) << describe(host.kept);
    EXPECT_FALSE(present(kept));
    EXPECT_TRUE(present(tree.path("safety") + mirroredPart(kept)));
    EXPECT_TRUE(present(copy));
}

TEST(WindowsBackend, ReparsePointsAreNeitherListedNorFollowed)
{
    TempFolder tree;
    tree.file("outside\\x.txt", "1");
    tree.file("inside\\x.txt", "1");
    const std::wstring link = toWide(tree.path("inside\\link"));
    (void)::CreateSymbolicLinkW(link.c_str(), toWide(tree.path("outside")).c_str(),
                                SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    const DWORD attributes = ::GetFileAttributesW(link.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        GTEST_SKIP() << "this file system makes no reparse points (Wine does not)";
    std::vector<DirEntry> entries;
    ASSERT_TRUE(realFileSystem().listDirectory(tree.path("inside\\"), entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "x.txt");

    // A folder swapped for a link to elsewhere after the search: the copy below it stays.
    tree.file("one\\y.txt", "2");
    tree.file("two\\sub\\y.txt", "2");
    SearchSession session;
    Host host;
    session.search(tree.path("one"), tree.path("two"), host);
    ASSERT_EQ(session.pairs().size(), 1u);
    ASSERT_TRUE(::MoveFileW(toWide(tree.path("two\\sub")).c_str(), toWide(tree.path("two\\moved")).c_str()));
    ASSERT_TRUE(::CreateSymbolicLinkW(toWide(tree.path("two\\sub")).c_str(), toWide(tree.path("two\\moved")).c_str(),
                                      SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE));
    EXPECT_EQ(session.removeAllLocation2Copies(host).count, 0);
    ASSERT_EQ(host.kept.size(), 1u);
    EXPECT_EQ(host.kept[0].reason, KeepReason::LinkOnPath);
    EXPECT_TRUE(present(tree.path("two\\moved\\y.txt")));
}

TEST(WindowsBackend, AFileRewrittenOrReplacedSinceTheSearchStays)
{
    TempFolder tree;
    tree.file("one\\a.txt", "aaaa");
    tree.file("one\\b.txt", "bbbb");
    tree.file("two\\a.txt", "aaaa");
    tree.file("two\\b.txt", "bbbb");
    SearchSession session;
    Host host;
    session.search(tree.path("one"), tree.path("two"), host);
    ASSERT_EQ(session.pairs().size(), 2u);
    // Rewritten with its size and last-write time put back: its change time moved.
    tree.file("two\\a.txt", "AAAA");
    // Replaced by another file of the same name, size and time: another file ID.
    ASSERT_TRUE(::DeleteFileW(toWide(tree.path("two\\b.txt")).c_str()));
    tree.file("two\\b.txt", "BBBB");
    EXPECT_EQ(session.removeAllLocation2Copies(host).count, 0);
    ASSERT_EQ(host.kept.size(), 2u) << describe(host.kept);
    EXPECT_EQ(host.kept[0].reason, KeepReason::FileChanged);
    EXPECT_EQ(host.kept[1].reason, KeepReason::FileChanged);
    EXPECT_TRUE(present(tree.path("two\\a.txt")));
    EXPECT_TRUE(present(tree.path("two\\b.txt")));

    // Held open for writing by another program: its delete is refused and reported, not left pending.
    SearchSession again;
    again.search(tree.path("one"), tree.path("two"), host);
    ASSERT_EQ(again.pairs().size(), 2u);
    const UniqueHandle writer(::CreateFileW(toWide(tree.path("two\\a.txt")).c_str(), GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer);
    host.kept.clear();
    EXPECT_EQ(again.removeAllLocation2Copies(host).count, 1);
    ASSERT_EQ(host.kept.size(), 1u);
    EXPECT_EQ(host.kept[0].reason, KeepReason::DeleteFailed);
    EXPECT_EQ(host.kept[0].text(), "it cannot be deleted: it is open in another program");
    EXPECT_TRUE(present(tree.path("two\\a.txt")));
    EXPECT_FALSE(present(tree.path("two\\b.txt")));
}

TEST(WindowsBackend, TheSafetyMoveKeepsTheFileAndNeverReplacesOne)
{
    TempFolder tree;
    tree.file("one\\a.txt", "aaaa");
    tree.file("one\\b.txt", "bbbb");
    const std::string a = tree.file("two\\a.txt", "aaaa");
    const std::string b = tree.file("two\\b.txt", "bbbb");
    const std::string safety = tree.path("safety");
    const std::string taken = tree.file("safety" + mirroredPart(b), "someone else's");
    SearchSession session;
    Host host;
    session.search(tree.path("one"), tree.path("two"), host);
    ASSERT_EQ(session.pairs().size(), 2u);
    const FileId before = session.pairs()[0].stamp2.id;
    host.target = MoveToSafetyDirectory{safety};
    EXPECT_EQ(session.removeAllLocation2Copies(host).count, 1);
    ASSERT_EQ(host.kept.size(), 1u);
    EXPECT_EQ(host.kept[0].reason, KeepReason::TargetTaken);
    EXPECT_TRUE(present(b));
    std::vector<DirEntry> entries;
    ASSERT_TRUE(realFileSystem().listDirectory(safety + mirroredPart(tree.path("two")), entries));
    bool moved = false;
    for (const DirEntry& entry : entries)
        if (entry.name == "a.txt")
            moved = entry.id == before;
    EXPECT_TRUE(moved) << "the very file, renamed, not a copy";
    EXPECT_FALSE(present(a));
    EXPECT_TRUE(present(taken));
}

TEST(WindowsBackend, TheRecycleBinTakesACopyOrReportsItNeverDeletingIt)
{
    TempFolder tree;
    tree.file("one\\a.txt", "aaaa");
    const std::string copy = tree.file("two\\a.txt", "aaaa");
    SearchSession session;
    Host host;
    session.search(tree.path("one"), tree.path("two"), host);
    ASSERT_EQ(session.pairs().size(), 1u);
    host.target = MoveToTrash{};
    const RemovalReport report = session.removeAllLocation2Copies(host);
    if (report.count == 0) {
        // Reported, and still where it was.
        ASSERT_EQ(host.kept.size(), 1u);
        EXPECT_TRUE(host.kept[0].reason == KeepReason::NoTrash || host.kept[0].reason == KeepReason::TrashFailed);
        EXPECT_TRUE(present(copy));
        return;
    }
    EXPECT_FALSE(present(copy));
    // The shell lists it in the Recycle Bin of its drive; Wine has none of its own and hands the file to the
    // freedesktop.org Trash of the user's home.
    SHQUERYRBINFO bin{};
    bin.cbSize = sizeof bin;
    if (::SHQueryRecycleBinW(toWide(copy.substr(0, 3)).c_str(), &bin) == S_OK) {
        EXPECT_GE(bin.i64NumItems, 1);
        return;
    }
    const char* data = std::getenv("XDG_DATA_HOME");
    ASSERT_TRUE(data && *data) << "no Recycle Bin to look in";
    std::string trashed = std::string("Z:") + data + "/Trash/files/a.txt";
    std::replace(trashed.begin(), trashed.end(), '/', '\\');
    EXPECT_TRUE(present(trashed)) << trashed;
}

} // namespace
} // namespace twinspotter
