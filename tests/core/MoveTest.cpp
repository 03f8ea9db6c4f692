// Moving a file into another directory: never replaces a file, never follows a name planted in the target, and works
// across file systems without losing a byte or leaving a partial or doubled file behind.
#include "core/posix/OnDisk.h"
#include "tests/core/RemoveTestSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <memory>

namespace twinspotter {
namespace {

using namespace test;

// A tree under /dev/shm on another file system than /tmp, or null with the reason why not.
std::unique_ptr<TempTree> OtherFileSystemTree(const TempTree& here, std::string& why)
{
    struct stat shm
    {
    };
    if (stat("/dev/shm", &shm) != 0 || !S_ISDIR(shm.st_mode)) {
        why = "/dev/shm does not exist here";
        return nullptr;
    }
    auto there = std::make_unique<TempTree>("/dev/shm");
    struct stat a
    {
    }, b{};
    if (stat(here.root().c_str(), &a) != 0 || stat(there->root().c_str(), &b) != 0 || a.st_dev == b.st_dev) {
        why = "/tmp and /dev/shm are on the same file system here, so no move crosses file systems";
        return nullptr;
    }
    return there;
}

// Moves the file at \p from to \p to (both full paths) as a removal does.
RemovalResult Move(const std::string& from, const std::string& to, const SystemCalls& calls = SystemCalls::kernel())
{
    const auto slash = [](const std::string& p) { return p.rfind('/'); };
    const UniqueFd fromDir(open(from.substr(0, slash(from)).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    const UniqueFd toDir(open(to.substr(0, slash(to)).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat st
    {
    };
    lstat(from.c_str(), &st);
    return moveWithoutReplacing(fromDir.get(), from.substr(slash(from) + 1), st, toDir.get(), to.substr(slash(to) + 1),
                                true, calls);
}

std::vector<std::string> Names(const std::string& dir)
{
    std::vector<std::string> names;
    const std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(dir.c_str()), closedir);
    while (const dirent* e = d ? readdir(d.get()) : nullptr)
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.emplace_back(e->d_name);
    return names;
}

// The kernel's calls, except that a rename of \p source meets another file system, so the copy runs on any disk, and,
// when \p anonymous is false, the file system offers no anonymous files.
SystemCalls CopyingCalls(const std::string& source, bool anonymous)
{
    SystemCalls calls = SystemCalls::kernel();
    calls.renameat2 = [source](int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
        if (from == source.substr(source.rfind('/') + 1) && PathAt(fromDir, from) == source) {
            errno = EXDEV;
            return -1;
        }
        return ::renameat2(fromDir, from, toDir, to, flags);
    };
    if (!anonymous) {
        calls.openat = [](int dir, const char* path, int flags, mode_t mode) {
            if ((flags & O_TMPFILE) == O_TMPFILE) {
                errno = EOPNOTSUPP;
                return -1;
            }
            return ::openat(dir, path, flags, mode);
        };
    }
    return calls;
}

TEST(MoveTest, NeverReplacesAnExistingTargetAndLeavesBothFilesAsTheyWere)
{
    TempTree tree;
    const std::string from = tree.file("a/photo.jpg", 10, 0, 'a');
    const std::string to = tree.file("b/photo.jpg", 20, 0, 'b');
    EXPECT_EQ(Move(from, to).reason, KeepReason::TargetTaken);
    EXPECT_EQ(ContentOf(from), std::string(10, 'a'));
    EXPECT_EQ(ContentOf(to), std::string(20, 'b'));

    std::string why;
    auto there = OtherFileSystemTree(tree, why);
    if (!there)
        GTEST_SKIP() << "across file systems: " << why;
    const std::string remote = there->file("photo.jpg", 5, 0, 'c');
    EXPECT_EQ(Move(from, remote).reason, KeepReason::TargetTaken);
    EXPECT_EQ(ContentOf(from), std::string(10, 'a'));
    EXPECT_EQ(ContentOf(remote), std::string(5, 'c'));
    EXPECT_EQ(Names(there->root()).size(), 1u) << "a copy was left beside the taken name";
}

TEST(MoveTest, RenamesWithinOneFileSystem)
{
    TempTree tree;
    const std::string from = tree.file("a/photo.jpg", 10, 0, 'a');
    const std::string to = tree.dir("b") + "/moved.jpg";
    struct stat before
    {
    };
    ASSERT_EQ(stat(from.c_str(), &before), 0);
    ASSERT_EQ(Move(from, to).outcome, RemoveOutcome::Removed);
    EXPECT_FALSE(OnDisk(from));
    struct stat after
    {
    };
    ASSERT_EQ(stat(to.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(ContentOf(to), std::string(10, 'a'));
}

TEST(MoveTest, CrossesFileSystemsKeepingContentModeAndTime)
{
    TempTree tree;
    std::string why;
    auto there = OtherFileSystemTree(tree, why);
    if (!there)
        GTEST_SKIP() << why;
    const std::time_t mtime = test::LocalTime(2009, 6, 1, 12, 30, 14);
    const std::string from = tree.file("photos/2009/a.jpg", 3 << 20, mtime, 'p');
    ASSERT_EQ(chmod(from.c_str(), 0640), 0);
    const std::string before = ContentOf(from);
    const std::string to = there->dir("safe") + "/a.jpg";

    ASSERT_EQ(Move(from, to).outcome, RemoveOutcome::Removed);
    EXPECT_FALSE(OnDisk(from));
    struct stat st
    {
    };
    ASSERT_EQ(stat(to.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 3 << 20);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, mtime);
    EXPECT_TRUE(ContentOf(to) == before) << "content differs after the copy";
}

TEST(MoveTest, ACopyOntoAnotherFileSystemKeepsAttributesAclsAndHoles)
{
    TempTree tree;
    std::string why;
    auto there = OtherFileSystemTree(tree, why);
    if (!there)
        GTEST_SKIP() << why;
    // Larger than /dev/shm may hold, were its holes written out.
    const std::int64_t size = std::int64_t(64) << 30;
    const std::string from = tree.file("sparse.img", size);
    const UniqueFd fd(open(from.c_str(), O_WRONLY | O_CLOEXEC));
    ASSERT_EQ(pwrite(fd.get(), "data", 4, 1 << 20), 4);
    ASSERT_EQ(setxattr(from.c_str(), "user.tag", "blue", 4, 0), 0) << std::strerror(errno);
    if (std::system(("setfacl -m u:4242:r " + from + " 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "setfacl is not there or the file system has no ACLs";
    const std::string to = there->dir("safe") + "/sparse.img";

    ASSERT_EQ(Move(from, to).outcome, RemoveOutcome::Removed);
    struct stat st
    {
    };
    ASSERT_EQ(stat(to.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, size);
    EXPECT_LT(st.st_blocks, 1024) << "the holes were written out";
    char value[8] = {};
    EXPECT_EQ(getxattr(to.c_str(), "user.tag", value, sizeof value), 4);
    EXPECT_STREQ(value, "blue");
    EXPECT_GT(getxattr(to.c_str(), "system.posix_acl_access", nullptr, 0), 0) << "the ACL was dropped";
}

TEST(MoveTest, AnOriginalWrittenToDuringItsCopyOrACopyThatCannotBeSyncedStays)
{
    TempTree tree;
    const std::string target = tree.dir("safe");
    const auto edit = [](const std::string& path) {
        const UniqueFd fd(open(path.c_str(), O_WRONLY | O_CLOEXEC));
        ASSERT_EQ(pwrite(fd.get(), "EDIT", 4, 0), 4);
    };
    // Written while the copy is made, and written just as the whole copy gets its name.
    for (const bool atNaming : {false, true}) {
        const std::string from = tree.file("big", 1 << 20, 0, 'b');
        SystemCalls calls = CopyingCalls(from, true);
        if (atNaming) {
            const auto link = calls.linkat;
            calls.linkat = [&, link](int fromDir, const char* source, int toDir, const char* to, int flags) {
                edit(from);
                return link(fromDir, source, toDir, to, flags);
            };
        } else {
            calls.fsync = [&](int fd) {
                edit(from);
                return ::fsync(fd);
            };
        }
        // A copy holding half an edit never gets the final name, not even for a moment a crash could make last.
        bool halfEditNamed = false;
        if (!atNaming) {
            const auto link = calls.linkat;
            calls.linkat = [&, link](int fromDir, const char* source, int toDir, const char* to, int flags) {
                halfEditNamed = true;
                return link(fromDir, source, toDir, to, flags);
            };
        }
        EXPECT_EQ(Move(from, target + "/big", calls).reason, KeepReason::FileChanged) << "at naming " << atNaming;
        EXPECT_FALSE(halfEditNamed);
        EXPECT_EQ(ContentOf(from).substr(0, 5), "EDITb");
        EXPECT_TRUE(Names(target).empty()) << "left behind: " << Names(target).front();
    }
    {
        // Replaced by an unrelated file just as the whole copy gets its name: that file is no original to remove.
        const std::string replaced = tree.file("replaced", 1 << 10, 0, 'r');
        SystemCalls calls = CopyingCalls(replaced, true);
        const auto link = calls.linkat;
        calls.linkat = [&, link](int fromDir, const char* source, int toDir, const char* to, int flags) {
            std::filesystem::rename(tree.file("unrelated", 1 << 10, 0, 'u'), replaced);
            return link(fromDir, source, toDir, to, flags);
        };
        EXPECT_EQ(Move(replaced, target + "/replaced", calls).reason, KeepReason::FileChanged);
        EXPECT_EQ(ContentOf(replaced), std::string(1 << 10, 'u'));
        EXPECT_TRUE(Names(target).empty()) << "left behind: " << Names(target).front();
    }
    // A disk that fails to write the copy back: it never gets its name.
    const std::string from = tree.file("synced", 10, 0, 's');
    SystemCalls calls = CopyingCalls(from, false);
    calls.fsync = [](int) {
        errno = EIO;
        return -1;
    };
    const RemovalResult result = Move(from, target + "/synced", calls);
    EXPECT_EQ(result.reason, KeepReason::CopyFailed);
    EXPECT_EQ(result.error, EIO);
    EXPECT_EQ(ContentOf(from), std::string(10, 's'));
    EXPECT_TRUE(Names(target).empty());
}

TEST(MoveTest, ACopyKilledHalfWayLeavesNoPartialFileBehind)
{
    TempTree tree;
    std::string why;
    auto there = OtherFileSystemTree(tree, why);
    if (!there)
        GTEST_SKIP() << why;
    // Large enough that the kill lands during the copy; sparse, so it costs no disk here.
    const std::int64_t size = std::int64_t(1) << 30;
    const std::string from = tree.file("big.img", size);
    const std::string to = there->path("big.img");

    const pid_t child = fork();
    if (child == 0) {
        Move(from, to);
        _exit(0);
    }
    usleep(100 * 1000);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);

    // Either the move had not finished, and only the source is there, or it had, and the target is whole.
    struct stat st
    {
    };
    if (stat(to.c_str(), &st) == 0) {
        EXPECT_EQ(st.st_size, size) << "a partial copy was left in place";
    } else {
        EXPECT_TRUE(OnDisk(from));
    }
}

TEST(MoveTest, AFailedCopyLeavesTheSourceAndNoPartialOrTemporaryFile)
{
    TempTree tree;
    const std::string from = tree.file("big.bin", 1 << 20, 0, 'q');
    const std::string target = tree.dir("safe");
    // A file-size limit makes the copy's writes fail half-way, which even root cannot get around. Both ways of
    // writing a copy are tried: an anonymous file, and a named temporary where there are none.
    for (const bool anonymous : {true, false}) {
        rlimit saved{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 64 * 1024;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        const RemovalResult result = Move(from, target + "/big.bin", CopyingCalls(from, anonymous));
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);

        EXPECT_EQ(result.reason, KeepReason::CopyFailed) << "anonymous " << anonymous;
        EXPECT_TRUE(ContentOf(from) == std::string(1 << 20, 'q')) << "source changed";
        EXPECT_TRUE(Names(target).empty()) << "left behind: " << Names(target).front();
    }

    // Something that is not a regular file cannot be copied; a FIFO must fail at once, not wait for a writer.
    const std::string fifo = tree.path("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_EQ(Move(fifo, target + "/pipe", CopyingCalls(fifo, true)).outcome, RemoveOutcome::StillPresent);
    EXPECT_TRUE(OnDisk(fifo));
    EXPECT_TRUE(Names(target).empty());
}

TEST(MoveTest, TheCopyNeverFollowsANamePlantedBesideItAndNeverReplacesATargetTakenAtTheLastMoment)
{
    TempTree tree;
    const std::string from = tree.file("a/photo.jpg", 10, 0, 'a');
    const std::string victim = tree.file("victim", 6, 0, 'v');
    const std::string target = tree.dir("safe");
    SystemCalls calls = CopyingCalls(from, false);
    // Whatever temporary name the copy picks first, a link to another file is there before it.
    bool planted = false;
    calls.openat = [&](int dir, const char* path, int flags, mode_t mode) {
        if ((flags & O_TMPFILE) == O_TMPFILE) {
            errno = EOPNOTSUPP;
            return -1;
        }
        if ((flags & O_CREAT) && std::strncmp(path, ".twinspotter-copy", 17) == 0 && !std::exchange(planted, true))
            (void)symlinkat(victim.c_str(), dir, path);
        return ::openat(dir, path, flags, mode);
    };
    // And the final name is taken just before the finished copy gets it.
    const auto rename = calls.renameat2;
    calls.renameat2 = [&](int fromDir, const char* source, int toDir, const char* to, unsigned flags) {
        if (std::strcmp(to, "photo.jpg") == 0 && std::strncmp(source, ".twinspotter-copy", 17) == 0)
            tree.file("safe/photo.jpg", 3, 0, 't');
        return rename(fromDir, source, toDir, to, flags);
    };

    EXPECT_EQ(Move(from, target + "/photo.jpg", calls).reason, KeepReason::TargetTaken);
    EXPECT_EQ(ContentOf(victim), "vvvvvv");
    EXPECT_EQ(ContentOf(target + "/photo.jpg"), "ttt");
    EXPECT_EQ(ContentOf(from), std::string(10, 'a'));
    for (const std::string& name : Names(target)) {
        struct stat st
        {
        };
        ASSERT_EQ(lstat((target + "/" + name).c_str(), &st), 0);
        EXPECT_TRUE(name == "photo.jpg" || S_ISLNK(st.st_mode)) << "temporary left behind: " << name;
    }
}

TEST(MoveTest, AnOriginalThatCannotBeRemovedAfterItsCopyTakesTheCopyBack)
{
    TempTree tree;
    const std::string target = tree.dir("safe");
    for (const bool anonymous : {true, false}) {
        const std::string from = tree.file("a/photo.jpg", 10, 0, 'a');
        SystemCalls calls = CopyingCalls(from, anonymous);
        calls.unlinkat = [&](int dir, const char* path, int flags) {
            if (PathAt(dir, path) == from) {
                errno = EPERM;
                return -1;
            }
            return ::unlinkat(dir, path, flags);
        };
        const RemovalResult result = Move(from, target + "/photo.jpg", calls);
        EXPECT_EQ(result.reason, KeepReason::SourceNotRemoved) << "anonymous " << anonymous;
        EXPECT_EQ(result.error, EPERM);
        EXPECT_EQ(ContentOf(from), std::string(10, 'a'));
        EXPECT_TRUE(Names(target).empty()) << "left behind: " << Names(target).front();
    }
}

TEST(MoveTest, ALinkedMoveWhoseOriginalCannotGoTakesItsLinkBack)
{
    // No rename that refuses to replace (an older kernel's or file system's): a link, then the original's removal.
    TempTree tree;
    const std::string from = tree.file("a/photo.jpg", 10, 0, 'a');
    const std::string target = tree.dir("safe");
    SystemCalls calls = SystemCalls::kernel();
    calls.renameat2 = [](int fromDir, const char* source, int toDir, const char* to, unsigned flags) {
        if (flags != 0) {
            errno = EINVAL;
            return -1;
        }
        return ::renameat2(fromDir, source, toDir, to, flags);
    };
    calls.unlinkat = [&](int dir, const char* path, int flags) {
        if (PathAt(dir, path) == from) {
            errno = EPERM;
            return -1;
        }
        return ::unlinkat(dir, path, flags);
    };
    const RemovalResult result = Move(from, target + "/photo.jpg", calls);
    EXPECT_EQ(result.reason, KeepReason::SourceNotRemoved);
    EXPECT_EQ(result.error, EPERM);
    EXPECT_EQ(ContentOf(from), std::string(10, 'a'));
    EXPECT_TRUE(Names(target).empty()) << "a second name of the kept file was left behind";
}

TEST(MoveTest, AFileSystemThatCannotRefuseToReplaceKeepsTheFileAndAStaleCopyOfADeadProcessGoes)
{
    TempTree tree;
    const std::string target = tree.dir("safe");
    // libfuse2: a rename that refuses to replace is "invalid", and links are not permitted.
    const std::string from = tree.file("a.txt", 4, 0, 'a');
    SystemCalls calls = SystemCalls::kernel();
    calls.renameat2 = [](int fromDir, const char* source, int toDir, const char* to, unsigned flags) {
        if (flags != 0) {
            errno = EINVAL;
            return -1;
        }
        return ::renameat2(fromDir, source, toDir, to, flags);
    };
    calls.linkat = [](int, const char*, int, const char*, int) {
        errno = EPERM;
        return -1;
    };
    EXPECT_EQ(keepReasonText(Move(from, target + "/a.txt", calls).reason, 0),
              "its file system cannot move a file without the risk of replacing another");
    EXPECT_TRUE(OnDisk(from));
    EXPECT_TRUE(Names(target).empty());

    // What a copy killed half-way left beside the safety directory's files: gone once its process is, kept while
    // it still runs.
    const pid_t dead = fork();
    if (dead == 0)
        _exit(0);
    waitpid(dead, nullptr, 0);
    tree.file("safe/.twinspotter-copy-" + std::to_string(dead) + "-0", 3);
    tree.file("safe/.twinspotter-copy-1-0", 3);
    EXPECT_EQ(Move(from, target + "/a.txt", CopyingCalls(from, false)).outcome, RemoveOutcome::Removed);
    std::vector<std::string> left = Names(target);
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{".twinspotter-copy-1-0", "a.txt"}));
}

} // namespace
} // namespace twinspotter
