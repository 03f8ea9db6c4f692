// Removal into the Trash on real trees: the home Trash and a second mount's, compared with what GLib's gio writes
// under the same private data directory, unique names, and a restore done from the info file alone.
#include "core/posix/Trash.h"
#include "core/ScopeExit.h"
#include "tests/core/RemoveTestSupport.h"
#include "tests/support/RunProgram.h"
#include "tests/support/ScopedEnvironment.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <regex>

namespace twinspotter {
namespace {

using namespace test;
namespace fs = std::filesystem;

const std::time_t kNoon = LocalTime(2011, 3, 7, 12, 0, 0);

int GioTrash(const std::string& path)
{
    return RunProgram({"/usr/bin/env", "gio", "trash", path}).status;
}

// An info file with its deletion date replaced by the form it must have.
std::string Shape(const std::string& info)
{
    static const std::regex date("\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n");
    return std::regex_replace(info, date, "\nDeletionDate=<local time>\n");
}

// Puts a trashed file back as a file manager does: where its info file's Path says, never by its name in files/.
std::string Restore(const std::string& trash, const std::string& entry, const std::string& top)
{
    const std::string info = ContentOf(trash + "/info/" + entry + ".trashinfo");
    const std::size_t start = info.find("\nPath=") + 6;
    const std::string encoded = info.substr(start, info.find('\n', start) - start);
    std::string path;
    for (std::size_t i = 0; i < encoded.size(); i += encoded[i] == '%' ? 3 : 1)
        path += encoded[i] == '%' ? static_cast<char>(std::stoi(encoded.substr(i + 1, 2), nullptr, 16)) : encoded[i];
    if (path.front() != '/')
        path = top + "/" + path;
    fs::rename(trash + "/files/" + entry, path);
    return path;
}

class TrashTest : public ::testing::Test
{
protected:
    TempTree tree;
    SeamFileSystem disk;
    SearchSession session{disk};
    RemoveHost host;
    ScopedEnvironment data{"XDG_DATA_HOME", tree.path("data")};
    ScopedEnvironment home{"HOME", tree.dir("home")};

    void SetUp() override { host.trash = true; }
    void search(const std::string& location1, const std::string& location2)
    {
        session.search(location1, location2, host);
    }
    /// Trashes the location-2 file of the pair of files called \p name.
    std::optional<RemoveOutcome> trashOut(const std::string& name)
    {
        host.answers = {true};
        const auto pair = std::find_if(session.pairs().begin(), session.pairs().end(),
                                       [&](const FileRecord& p) { return p.name == name; });
        return session.removeOneFile(pair - session.pairs().begin(), Side::Location2, host);
    }
};

TEST_F(TrashTest, OnTheHomeFileSystemCopiesGoWhereGioPutsThemUnderNamesOfTheirOwnAndComeBackWhole)
{
    const std::string name = "a b%\xC3\xA9+~!.txt";
    const std::string trash = tree.path("data/Trash");
    tree.file("two/" + name, 3, kNoon, 'g');
    ASSERT_EQ(GioTrash(tree.path("two/" + name)), 0) << "gio (libglib2.0-bin) compares the Trash's shape";
    tree.file("one/" + name, 4, kNoon, '1');
    tree.file("two/" + name, 4, kNoon, '2');
    tree.file("two/sub/" + name, 4, kNoon, '3');
    search(tree.path("one"), tree.path("two"));
    ASSERT_EQ(session.pairs().size(), 2u);

    host.answers = {true};
    EXPECT_EQ(session.removeAllLocation2Copies(host).count, 2);
    EXPECT_EQ(session.filesInLocation2(), 0);
    EXPECT_EQ(DeletedFlags(session.pairs()), (std::vector<bool>{true, true}));
    tree.file("two/" + name, 4, kNoon, '4');
    ASSERT_EQ(GioTrash(tree.path("two/" + name)), 0);

    // Numbered as GLib numbers them, so neither replaces the other's files.
    for (const char* number : {"", ".2", ".3", ".4"})
        EXPECT_TRUE(OnDisk(trash + "/files/a b%\xC3\xA9+~!" + number + ".txt")) << number;
    const std::string ours = ContentOf(trash + "/info/a b%\xC3\xA9+~!.2.txt.trashinfo");
    EXPECT_EQ(Shape(ours), Shape(ContentOf(trash + "/info/" + name + ".trashinfo")));
    EXPECT_NE(Shape(ours).find("<local time>"), std::string::npos) << ours;
    EXPECT_EQ(fs::status(trash + "/info/a b%\xC3\xA9+~!.2.txt.trashinfo").permissions(),
              fs::status(trash + "/info/" + name + ".trashinfo").permissions());

    fs::remove(tree.path("two/" + name));
    EXPECT_EQ(Restore(trash, "a b%\xC3\xA9+~!.3.txt", ""), tree.path("two/sub/" + name));
    EXPECT_EQ(Restore(trash, "a b%\xC3\xA9+~!.2.txt", ""), tree.path("two/" + name));
    EXPECT_EQ(ContentOf(tree.path("two/" + name)), "2222");
    EXPECT_EQ(ContentOf(tree.path("two/sub/" + name)), "3333");
}

TEST_F(TrashTest, OnASecondMountCopiesGoToThatMountsTrashOrStay)
{
    if (!PrivateMounts())
        GTEST_SKIP() << "mounting a second file system needs root and a mount namespace of our own";
    const std::string top = tree.dir("mnt");
    ASSERT_EQ(mount("twinspotter-test", top.c_str(), "tmpfs", 0, nullptr), 0) << std::strerror(errno);
    // Unmounted before the tree goes, or its folder stays behind in the temporary folder.
    const ScopeExit unmount([&top] { umount2(top.c_str(), MNT_DETACH); });
    for (const char* name : {"stuck", "plain", "sticky", "unsticky", "linked"}) {
        tree.file(std::string("one/") + name, 4, kNoon, '1');
        tree.file(std::string("mnt/two/") + name, 4, kNoon, '2');
    }
    search(tree.path("one"), tree.path("mnt/two"));
    ASSERT_EQ(session.pairs().size(), 5u);
    const auto trashOut = [&](const char* name) {
        host.answers = {true};
        const auto pair = std::find_if(session.pairs().begin(), session.pairs().end(),
                                       [&](const FileRecord& p) { return p.name == name; });
        return session.removeOneFile(pair - session.pairs().begin(), Side::Location2, host);
    };

    // Where no Trash can be made, the copy stays: it is neither deleted nor copied to the home Trash.
    ASSERT_EQ(mount(nullptr, top.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    EXPECT_EQ(trashOut("stuck"), RemoveOutcome::StillPresent);
    ASSERT_EQ(host.kept.size(), 1u);
    EXPECT_EQ(host.kept[0].text(), "its file system has no Trash it can be moved to: Read-only file system");
    EXPECT_FALSE(OnDisk(tree.path("data/Trash")));
    ASSERT_EQ(mount(nullptr, top.c_str(), nullptr, MS_REMOUNT, nullptr), 0);

    EXPECT_EQ(trashOut("plain"), RemoveOutcome::Removed);
    EXPECT_EQ(ContentOf(top + "/.Trash-0/info/plain.trashinfo").substr(0, 28), "[Trash Info]\nPath=two/plain\n");
    EXPECT_EQ(Restore(top + "/.Trash-0", "plain", top), top + "/two/plain");
    EXPECT_EQ(ContentOf(top + "/two/plain"), "2222");

    // An administrator's sticky .Trash holds a folder per user; one that is not sticky, or a link, is not used.
    fs::create_directory(top + "/.Trash");
    fs::permissions(top + "/.Trash", fs::perms::all | fs::perms::sticky_bit);
    EXPECT_EQ(trashOut("sticky"), RemoveOutcome::Removed);
    EXPECT_TRUE(OnDisk(top + "/.Trash/0/files/sticky") && OnDisk(top + "/.Trash/0/info/sticky.trashinfo"));
    fs::permissions(top + "/.Trash", fs::perms::all);
    EXPECT_EQ(trashOut("unsticky"), RemoveOutcome::Removed);
    fs::permissions(top + "/.Trash", fs::perms::all | fs::perms::sticky_bit);
    fs::rename(top + "/.Trash", top + "/shared");
    fs::create_directory_symlink(top + "/shared", top + "/.Trash");
    EXPECT_EQ(trashOut("linked"), RemoveOutcome::Removed);
    EXPECT_TRUE(OnDisk(top + "/.Trash-0/files/unsticky") && OnDisk(top + "/.Trash-0/files/linked"));

    // GLib refuses tmpfs as a system mount; a ramfs of a named source is a removable disk to it.
    const std::string ram = tree.dir("ram");
    if (mount("twinspotter-test", ram.c_str(), "ramfs", 0, nullptr) != 0)
        GTEST_SKIP() << "no ramfs to compare the info file with gio's: " << std::strerror(errno);
    const ScopeExit unmountRam([&ram] { umount2(ram.c_str(), MNT_DETACH); });
    tree.file("ram/two/g h", 4, kNoon, 'g');
    ASSERT_EQ(GioTrash(tree.path("ram/two/g h")), 0);
    tree.file("ram/two/g h", 4, kNoon, '2');
    tree.file("one/g h", 4, kNoon, '1');
    search(tree.path("one"), tree.path("ram/two"));
    EXPECT_EQ(trashOut("g h"), RemoveOutcome::Removed);
    EXPECT_EQ(Shape(ContentOf(ram + "/.Trash-0/info/g h.2.trashinfo")),
              Shape(ContentOf(ram + "/.Trash-0/info/g h.trashinfo")));
}

TEST_F(TrashTest, AHomeTrashMountedApartAMissingProcAndNamesOfStrayBytesStillWork)
{
    // Cut names keep at least one byte and stay within a name's limit once numbered, beside their info file.
    EXPECT_FALSE(trashEntryName(std::string(300, '\x80'), 1).empty());
    EXPECT_LE(trashEntryName(std::string(255, 'n'), 4'000'000'000u).size() + std::strlen(".trashinfo"), 255u);

    if (!PrivateMounts())
        GTEST_SKIP() << "mounting needs root and a mount namespace of our own";
    const std::string top = tree.dir("mnt");
    ASSERT_EQ(mount("twinspotter-test", top.c_str(), "tmpfs", 0, nullptr), 0) << std::strerror(errno);
    // Unmounted before the tree goes, or its folder stays behind in the temporary folder.
    const ScopeExit unmount([&top] { umount2(top.c_str(), MNT_DETACH); });
    // The data folder on the files' mount, its Trash folder a mount of its own: files go to their mount's Trash.
    const ScopedEnvironment dataHere("XDG_DATA_HOME", tree.dir("mnt/data"));
    ASSERT_EQ(mount("twinspotter-test", tree.dir("mnt/data/Trash").c_str(), "tmpfs", 0, nullptr), 0);
    for (const char* name : {"a", "b"}) {
        tree.file(std::string("one/") + name, 4, kNoon, '1');
        tree.file(std::string("mnt/two/") + name, 4, kNoon, '2');
    }
    search(tree.path("one"), tree.path("mnt/two"));
    ASSERT_EQ(session.pairs().size(), 2u);
    host.answers = {true};
    EXPECT_EQ(session.removeOneFile(0, Side::Location2, host), RemoveOutcome::Removed);
    EXPECT_TRUE(OnDisk(top + "/.Trash-0/files/" + session.pairs()[0].name));

    // A chroot without /proc.
    ASSERT_EQ(mount("none", "/proc", "tmpfs", 0, nullptr), 0);
    host.answers = {true};
    const std::optional<RemoveOutcome> outcome = session.removeOneFile(1, Side::Location2, host);
    umount2("/proc", MNT_DETACH);
    EXPECT_EQ(outcome, RemoveOutcome::Removed);
    EXPECT_TRUE(ContentOf(top + "/.Trash-0/info/" + session.pairs()[1].name + ".trashinfo")
                    .starts_with("[Trash Info]\nPath=two/" + session.pairs()[1].name + "\n"));
}

TEST_F(TrashTest, ALinkOrAnotherUsersFolderInTheTrashReceivesNothing)
{
    const std::string elsewhere = tree.dir("elsewhere");
    for (const char* name : {"files-linked", "info-linked"}) {
        tree.file(std::string("one/") + name, 4, kNoon, '1');
        tree.file(std::string("two/") + name, 4, kNoon, '2');
    }
    search(tree.path("one"), tree.path("two"));
    ASSERT_EQ(session.pairs().size(), 2u);
    const std::string trash = tree.dir("data/Trash");
    // A link where the Trash keeps its files, then one where it keeps its info files: either would carry the
    // trashed file, or what restores it, out of the Trash.
    for (const std::string which : {"files", "info"}) {
        fs::remove_all(trash);
        tree.dir(which == "files" ? "data/Trash/info" : "data/Trash/files");
        fs::create_directory_symlink(elsewhere, trash + "/" + which);
        EXPECT_EQ(trashOut(which + "-linked"), RemoveOutcome::StillPresent) << which;
        EXPECT_TRUE(OnDisk(tree.path("two/" + which + "-linked")));
        EXPECT_TRUE(fs::is_empty(elsewhere)) << which;
    }

    if (!PrivateMounts())
        GTEST_SKIP() << "a Trash at the top of another mount needs root and a mount namespace of our own";
    const std::string top = tree.dir("mnt");
    ASSERT_EQ(mount("twinspotter-test", top.c_str(), "tmpfs", 0, nullptr), 0) << std::strerror(errno);
    // Unmounted before the tree goes, or its folder stays behind in the temporary folder.
    const ScopeExit unmount([&top] { umount2(top.c_str(), MNT_DETACH); });
    for (const char* name : {"foreign", "linked"}) {
        tree.file(std::string("one/") + name, 4, kNoon, '1');
        tree.file(std::string("mnt/two/") + name, 4, kNoon, '2');
    }
    search(tree.path("one"), tree.path("mnt/two"));
    ASSERT_EQ(session.pairs().size(), 2u);
    // Another user's folder under our Trash's name, then a link under it to a folder that is ours.
    const std::string own = top + "/.Trash-" + std::to_string(geteuid());
    fs::create_directory(own);
    ASSERT_EQ(chown(own.c_str(), 4242, 4242), 0);
    EXPECT_EQ(trashOut("foreign"), RemoveOutcome::StillPresent);
    EXPECT_TRUE(fs::is_empty(own));
    fs::remove(own);
    const std::string decoy = tree.dir("mnt/decoy");
    fs::create_directory_symlink(decoy, own);
    EXPECT_EQ(trashOut("linked"), RemoveOutcome::StillPresent);
    EXPECT_TRUE(fs::is_empty(decoy));
    EXPECT_TRUE(OnDisk(top + "/two/foreign") && OnDisk(top + "/two/linked"));
    for (const KeptFile& kept : host.kept)
        EXPECT_EQ(kept.reason, KeepReason::NoTrash) << kept.text();
}

class TrashMoveTest : public ::testing::Test
{
protected:
    TempTree tree;
    ScopedEnvironment data{"XDG_DATA_HOME", tree.path("data")};
    std::string trash = tree.path("data/Trash");
    TrashDirectories trashes;

    /// Moves the file at \p relative into the home Trash as a removal does.
    RemovalResult trashFile(const std::string& relative, const SystemCalls& calls = SystemCalls::kernel())
    {
        const std::string path = tree.path(relative);
        const std::string folder = path.substr(0, path.rfind('/') + 1);
        const std::string name = path.substr(folder.size());
        const UniqueFd dir(open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        struct stat st
        {
        };
        lstat(path.c_str(), &st);
        return moveToTrash(dir.get(), name, name, folder, st, trashes, calls);
    }
};

TEST_F(TrashMoveTest, NothingIsCopiedToAnotherFileSystemAndAFailedMoveLeavesNoInfoFile)
{
    tree.file("a/photo.jpg", 10, 0, 'a');
    SystemCalls calls = SystemCalls::kernel();
    // The Trash turns out to lie on another file system than the file.
    calls.renameat2 = [](int, const char*, int, const char*, unsigned) {
        errno = EXDEV;
        return -1;
    };
    const RemovalResult result = trashFile("a/photo.jpg", calls);
    EXPECT_EQ(result.reason, KeepReason::NoTrash);
    EXPECT_EQ(result.error, EXDEV);
    EXPECT_EQ(ContentOf(tree.path("a/photo.jpg")), std::string(10, 'a'));
    EXPECT_TRUE(fs::is_empty(trash + "/files"));
    EXPECT_TRUE(fs::is_empty(trash + "/info")) << "an info file for a file that is not in the Trash";
}

TEST_F(TrashMoveTest, ANameTakenInFilesAloneIsNumberedAndALongNameStaysWithinItsLimit)
{
    // A name in files/ without its info file (a crash between the two, another program's leftovers) is never
    // replaced, and does not block the Trash: the file takes the next number, with its info file beside it.
    const std::string name(255, 'n');
    tree.file("a/" + name, 10, 0, 'a');
    tree.file("data/Trash/files/" + trashEntryName(name, 1), 3, 0, 't');
    tree.dir("data/Trash/info");
    ASSERT_EQ(trashFile("a/" + name).outcome, RemoveOutcome::Removed);
    EXPECT_EQ(ContentOf(trash + "/files/" + trashEntryName(name, 1)), "ttt");
    EXPECT_EQ(ContentOf(trash + "/files/" + trashEntryName(name, 2)), std::string(10, 'a'));
    EXPECT_TRUE(OnDisk(trash + "/info/" + trashEntryName(name, 2) + ".trashinfo"));
    EXPECT_FALSE(OnDisk(tree.path("a/" + name)));
}

} // namespace
} // namespace twinspotter
