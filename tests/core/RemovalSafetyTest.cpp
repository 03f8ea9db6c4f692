// Removals after the disk has changed under them: folders swapped for links, files rewritten, one file seen through
// two mounts, links planted in the safety directory, files that cannot be looked at. Searches run for real, so the
// records the removals check are the ones the walk made.
#include "core/posix/OnDisk.h"
#include "tests/core/RemoveTestSupport.h"

#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <iterator>

namespace twinspotter {
namespace {

using namespace test;
namespace fs = std::filesystem;

// Makes this process's openat2 fail with \p error, as an older kernel (ENOSYS) or a container's system-call filter
// (EPERM) does.
bool RefuseOpenat2(int error)
{
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_openat2, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (static_cast<unsigned>(error) & SECCOMP_RET_DATA)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

class RemovalSafetyTest : public ::testing::Test
{
protected:
    TempTree tree;
    SeamFileSystem disk;
    SearchSession session{disk};
    RemoveHost host;

    void search(const std::string& location1, const std::string& location2 = {})
    {
        session.search(location1, location2, host);
    }
    std::vector<std::string> keptTexts() const
    {
        std::vector<std::string> texts;
        for (const KeptFile& file : host.kept)
            texts.push_back(file.text());
        return texts;
    }
};

TEST_F(RemovalSafetyTest, AFolderSwappedForALinkAfterTheSearchRedirectsNoRemoval)
{
    tree.file("one/a.txt", 4, 0, '1');
    tree.file("one/b.txt", 4, 0, '1');
    tree.file("two/sub/a.txt", 4, 0, '2');
    tree.file("two/b.txt", 4, 0, '2');
    // Files of the same names, outside both locations.
    const std::string elsewhere = tree.dir("elsewhere");
    tree.file("elsewhere/a.txt", 4, 0, 'e');
    tree.file("elsewhere/b.txt", 4, 0, 'e');
    search(tree.path("one"), tree.path("two"));
    ASSERT_EQ(session.pairs().size(), 2u);
    const std::size_t b = session.pairs()[0].name == "b.txt" ? 0 : 1;

    // A folder below the location swapped while the question waited.
    fs::rename(tree.path("two/sub"), tree.path("moved-sub"));
    fs::create_symlink(elsewhere, tree.path("two/sub"));
    host.answers = {true, true};
    EXPECT_EQ(session.removeSelectedRows({{tree.path("two/sub/"), "a.txt"}}, Side::Location2, host).count, 0);

    // The location itself swapped at the last moment before the removal looks at the disk.
    disk.beforeRemove = [&](const PathString&) {
        fs::rename(tree.path("two"), tree.path("moved-two"));
        fs::create_symlink(elsewhere, tree.path("two"));
    };
    EXPECT_EQ(session.removeOneFile(b, Side::Location2, host), RemoveOutcome::StillPresent);

    EXPECT_EQ(ContentOf(tree.path("elsewhere/a.txt")), "eeee");
    EXPECT_EQ(ContentOf(tree.path("elsewhere/b.txt")), "eeee");
    EXPECT_TRUE(OnDisk(tree.path("moved-sub/a.txt")) && OnDisk(tree.path("moved-two/b.txt")));
    EXPECT_EQ(keptTexts(), (std::vector<std::string>{"a folder on its path has been replaced by a symbolic link",
                                                     "its location is no longer the folder the search looked at"}));
    EXPECT_EQ(DeletedFlags(session.pairs()), (std::vector<bool>{false, false}));
}

TEST_F(RemovalSafetyTest, WithoutOpenat2FoldersAreReachedOneByOneAndNeverThroughALink)
{
    for (const int refusal : {ENOSYS, EPERM}) {
        const std::string round = std::to_string(refusal);
        for (const char* path : {"/swapped/a.txt", "/kept/b.txt"}) {
            tree.file("one" + round + path, 4, 0, '1');
            tree.file("two" + round + path, 4, 0, '2');
        }
        search(tree.path("one" + round), tree.path("two" + round));
        ASSERT_EQ(session.pairs().size(), 2u);
        // The folder moved elsewhere and a link to it put in its place: the file behind the link is unchanged.
        const std::string moved = tree.path("moved" + round);
        fs::rename(tree.path("two" + round + "/swapped"), moved);
        fs::create_directory_symlink(moved, tree.path("two" + round + "/swapped"));

        const pid_t child = fork();
        if (child == 0) {
            if (!RefuseOpenat2(refusal))
                _exit(100);
            host.answers = {true};
            session.removeAllLocation2Copies(host);
            _exit(host.kept.size() == 1 ? static_cast<int>(host.kept[0].reason) : 101);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(KeepReason::LinkOnPath)) << "refused with " << refusal;
        EXPECT_EQ(ContentOf(moved + "/a.txt"), "2222");
        EXPECT_FALSE(OnDisk(tree.path("two" + round + "/kept/b.txt"))) << "refused with " << refusal;
    }
}

TEST_F(RemovalSafetyTest, AFileOrPartnerThatChangedSinceTheSearchStays)
{
    const std::time_t noon = LocalTime(2011, 3, 7, 12, 0, 0);
    for (const char* name : {"rewritten", "replaced", "partner", "linked"}) {
        tree.file(std::string("one/") + name, 4, noon, '1');
        tree.file(std::string("two/") + name, 4, noon, '2');
    }
    search(tree.path("one"), tree.path("two"));
    ASSERT_EQ(session.pairs().size(), 4u);

    // Same name, size and date as far as the search's two-second dates go, yet another content or another file.
    tree.file("two/rewritten", 4, noon, 'x');
    const timespec later[2] = {{noon, 500'000'000}, {noon, 500'000'000}};
    utimensat(AT_FDCWD, tree.path("two/rewritten").c_str(), later, 0);
    fs::rename(tree.file("two/replacement", 4, noon, '2'), tree.path("two/replaced"));
    fs::rename(tree.file("one/replacement", 4, noon, '1'), tree.path("one/partner"));
    // A hard link makes the partner the very file that would go.
    fs::remove(tree.path("one/linked"));
    fs::create_hard_link(tree.path("two/linked"), tree.path("one/linked"));

    host.answers = {true};
    EXPECT_EQ(session.removeAllLocation2Copies(host).count, 0);
    for (const char* name : {"rewritten", "replaced", "partner", "linked"})
        EXPECT_TRUE(OnDisk(tree.path(std::string("two/") + name))) << name;
    std::vector<std::string> texts = keptTexts();
    std::sort(texts.begin(), texts.end());
    // The hard link also moves the change time of the file that would go.
    EXPECT_EQ(texts, (std::vector<std::string>{"it is no longer the file the search found",
                                               "it is no longer the file the search found",
                                               "it is no longer the file the search found",
                                               "its partner is no longer the file the search found"}));
}

TEST_F(RemovalSafetyTest, OneFileSeenThroughAnOverlayAndItsLayerIsNeverRemovedOnTheStrengthOfItself)
{
    if (!PrivateMounts())
        GTEST_SKIP() << "mounting needs root and a mount namespace of our own";
    const std::string lower = tree.dir("lower");
    tree.file("lower/only-here.txt", 5, 0, 'o');
    tree.file("lower/sub/also-only-here.txt", 5, 0, 'o');
    const std::string options = "lowerdir=" + lower + ",upperdir=" + tree.dir("upper") + ",workdir=" + tree.dir("work");
    const std::string merged = tree.dir("merged");
    if (mount("overlay", merged.c_str(), "overlay", 0, options.c_str()) != 0)
        GTEST_SKIP() << "no overlay file system here: " << std::strerror(errno);
    struct Unmount
    {
        std::string path;
        ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
    } unmount{merged};

    // The merged view as location 1 and its own lower layer as location 2: every file "exists twice".
    search(tree.path("merged"), lower);
    ASSERT_EQ(session.pairs().size(), 2u);
    host.answers = {true};
    const RemovalReport report = session.removeAllLocation2Copies(host);
    EXPECT_EQ(report.count, 0);
    EXPECT_TRUE(OnDisk(tree.path("lower/only-here.txt")) && OnDisk(tree.path("lower/sub/also-only-here.txt")));
    EXPECT_EQ(keptTexts(), std::vector<std::string>(2, "it may be the same file as its partner, seen through another "
                                                       "mount"));
}

TEST_F(RemovalSafetyTest, APartnerRewrittenWithItsTimePutBackKeepsItsCopy)
{
    tree.file("one/a.txt", 4, 1'000'000'000, '1');
    tree.file("two/a.txt", 4, 1'000'000'000, '1');
    search(tree.path("one"), tree.path("two"));
    ASSERT_EQ(session.pairs().size(), 1u);
    // Rewritten in place, same size, and the modification time put back as rsync --inplace -t or touch -r do.
    tree.file("one/a.txt", 4, 1'000'000'000, 'X');
    host.answers = {true};
    EXPECT_EQ(session.removeAllLocation2Copies(host).count, 0);
    EXPECT_EQ(ContentOf(tree.path("two/a.txt")), "1111");
    EXPECT_EQ(keptTexts(), std::vector<std::string>{"its partner is no longer the file the search found"});
}

TEST_F(RemovalSafetyTest, SafetyFoldersKeepTheirFoldersPrivacyAndTheRealPathAndNeverHoldTheLocation)
{
    tree.file("one/a.txt", 4, 0, '1');
    tree.file("one/b.txt", 4, 0, '1');
    tree.file("real/inner/private/a.txt", 4, 0, '2');
    tree.file("real/inner/b.txt", 4, 0, '2');
    ASSERT_EQ(chmod(tree.path("real/inner/private").c_str(), 0700), 0);
    tree.dir("real/elsewhere");
    tree.symlink("lnk", tree.path("real/elsewhere"));
    // The location as typed goes through a link and up again: the files live in real/inner, not in inner.
    search(tree.path("one"), tree.path("lnk/../inner"));
    ASSERT_EQ(session.pairs().size(), 2u);

    // A safety directory that contains the location would move each file onto itself.
    host.ticked = true;
    host.directory = "/";
    host.answers = {true};
    EXPECT_EQ(session.removeAllLocation2Copies(host).count, 0);
    EXPECT_EQ(keptTexts(), std::vector<std::string>(2, "the safety directory contains its location, so it would be "
                                                       "moved onto itself"));

    host.kept.clear();
    host.directory = tree.dir("safe");
    host.answers = {true};
    EXPECT_EQ(session.removeAllLocation2Copies(host).count, 2);
    const std::string mirrored = host.directory + fs::canonical(tree.path("real/inner")).string();
    EXPECT_EQ(ContentOf(mirrored + "/private/a.txt"), "2222");
    EXPECT_EQ(ContentOf(mirrored + "/b.txt"), "2222");
    struct stat st
    {
    };
    ASSERT_EQ(stat((mirrored + "/private").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u) << "a private folder became readable in the safety directory";
}

TEST_F(RemovalSafetyTest, ALinkPlantedInTheSafetyDirectoryIsAFailedMoveNotAWayOut)
{
    tree.file("one/sub/a.txt", 4, 0, '1');
    tree.file("two/sub/a.txt", 4, 0, '2');
    const std::string outside = tree.dir("outside");
    search(tree.path("one"), tree.path("two"));
    host.ticked = true;
    host.directory = tree.dir("safe");
    // Where the first folder of the mirrored path would be made, a link to a folder outside is waiting.
    const std::string first = tree.path("").substr(1, tree.path("").find('/', 1) - 1);
    fs::create_symlink(outside, host.directory + "/" + first);

    host.answers = {true};
    EXPECT_EQ(session.removeAllLocation2Copies(host).count, 0);
    EXPECT_TRUE(OnDisk(tree.path("two/sub/a.txt")));
    EXPECT_TRUE(fs::is_empty(outside));
    EXPECT_EQ(keptTexts(), std::vector<std::string>{"a link or a file is in the way in the safety directory"});
}

TEST_F(RemovalSafetyTest, ADetailedViewRemovalCountsAFileGoneOnlyWhenItReallyIs)
{
    // A file whose path below its location is longer than the kernel takes in one piece: reached folder by folder,
    // and really removed. No path to its folder fits in PATH_MAX, so each folder is made from the one above.
    const std::string name(250, 'n');
    UniqueFd deepDir(open(tree.dir("one").c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (std::size_t below = 0; below <= PATH_MAX; below += 201) {
        const std::string folder(200, 'd');
        ASSERT_EQ(mkdirat(deepDir.get(), folder.c_str(), 0755), 0);
        deepDir.reset(openat(deepDir.get(), folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    }
    close(openat(deepDir.get(), name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    tree.file("two/" + name, 0, 0, '2');
    tree.file("one/stuck", 4, 0, '1');
    tree.file("two/stuck", 4, 0, '2');
    search(tree.path("one"), tree.path("two"));
    ASSERT_EQ(session.pairs().size(), 2u);
    const std::size_t longOne = session.pairs()[0].name == name ? 0 : 1;
    ASSERT_GT(session.pairs()[longOne].dir1().size(), tree.path("one/").size() + PATH_MAX);
    session.setFileCounts(10, session.filesInLocation2());

    // A file that cannot be looked at is not gone: nothing is marked or counted, and the user hears why.
    disk.failStat.insert(tree.path("one/stuck"));
    host.answers = {true, true};
    EXPECT_EQ(session.removeOneFile(1 - longOne, Side::Location1, host), RemoveOutcome::StillPresent);
    EXPECT_EQ(session.filesInLocation1(), 10);
    EXPECT_EQ(keptTexts(), std::vector<std::string>{"it cannot be reached: Permission denied"});

    EXPECT_EQ(session.removeOneFile(longOne, Side::Location1, host), RemoveOutcome::Removed);
    struct stat st
    {
    };
    EXPECT_NE(fstatat(deepDir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW), 0)
        << "the long path still holds its file";
    EXPECT_EQ(session.filesInLocation1(), 9);
    EXPECT_FALSE(session.pairs()[1 - longOne].deleted);
    EXPECT_TRUE(session.pairs()[longOne].deleted);
}

} // namespace
} // namespace twinspotter
