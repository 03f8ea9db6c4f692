// The real file system's move: never replaces a file, and works across file systems without losing a byte.
#include "core/FileSystem.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <memory>
#include <sstream>

namespace twinspotter {
namespace {

using test::TempTree;

std::string Content(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool Exists(const std::string& path)
{
    struct stat st{};
    return lstat(path.c_str(), &st) == 0;
}

// A tree under /dev/shm on another file system than /tmp, or null with the reason why not.
std::unique_ptr<TempTree> OtherFileSystemTree(const TempTree& here, std::string& why)
{
    struct stat shm{};
    if (stat("/dev/shm", &shm) != 0 || !S_ISDIR(shm.st_mode)) {
        why = "/dev/shm does not exist here";
        return nullptr;
    }
    auto there = std::make_unique<TempTree>("/dev/shm");
    struct stat a{}, b{};
    if (stat(here.root().c_str(), &a) != 0 || stat(there->root().c_str(), &b) != 0 || a.st_dev == b.st_dev) {
        why = "/tmp and /dev/shm are on the same file system here, so no move crosses file systems";
        return nullptr;
    }
    return there;
}

TEST(MoveTest, NeverReplacesAnExistingTargetAndLeavesBothFilesAsTheyWere)
{
    TempTree tree;
    const std::string from = tree.file("a/photo.jpg", 10, 0, 'a');
    const std::string to = tree.file("b/photo.jpg", 20, 0, 'b');
    EXPECT_FALSE(realFileSystem().moveFile(from, to));
    EXPECT_EQ(Content(from), std::string(10, 'a'));
    EXPECT_EQ(Content(to), std::string(20, 'b'));

    std::string why;
    auto there = OtherFileSystemTree(tree, why);
    if (!there)
        GTEST_SKIP() << "across file systems: " << why;
    const std::string remote = there->file("photo.jpg", 5, 0, 'c');
    EXPECT_FALSE(realFileSystem().moveFile(from, remote));
    EXPECT_EQ(Content(from), std::string(10, 'a'));
    EXPECT_EQ(Content(remote), std::string(5, 'c'));
}

TEST(MoveTest, RenamesWithinOneFileSystem)
{
    TempTree tree;
    const std::string from = tree.file("a/photo.jpg", 10, 0, 'a');
    const std::string to = tree.dir("b") + "/moved.jpg";
    struct stat before{};
    ASSERT_EQ(stat(from.c_str(), &before), 0);
    ASSERT_TRUE(realFileSystem().moveFile(from, to));
    EXPECT_FALSE(Exists(from));
    struct stat after{};
    ASSERT_EQ(stat(to.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(Content(to), std::string(10, 'a'));
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
    const std::string before = Content(from);
    const std::string to = there->dir("safe") + "/a.jpg";

    ASSERT_TRUE(realFileSystem().moveFile(from, to));
    EXPECT_FALSE(Exists(from));
    struct stat st{};
    ASSERT_EQ(stat(to.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 3 << 20);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, mtime);
    EXPECT_TRUE(Content(to) == before) << "content differs after the copy";
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
        realFileSystem().moveFile(from, to);
        _exit(0);
    }
    usleep(100 * 1000);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);

    // Either the move had not finished, and only the source is there, or it had, and the target is whole.
    struct stat st{};
    if (stat(to.c_str(), &st) == 0) {
        EXPECT_EQ(st.st_size, size) << "a partial copy was left in place";
    } else {
        EXPECT_TRUE(Exists(from));
    }
}

TEST(MoveTest, FailedCopyAcrossFileSystemsLeavesTheSourceAndNoPartialTarget)
{
    TempTree tree;
    std::string why;
    auto there = OtherFileSystemTree(tree, why);
    if (!there)
        GTEST_SKIP() << why;
    const std::string from = tree.file("big.bin", 1 << 20, 0, 'q');
    const std::string to = there->path("big.bin");

    // A file-size limit makes the copy's writes fail half-way, which even root cannot get around.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool moved = realFileSystem().moveFile(from, to);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_FALSE(moved);
    EXPECT_TRUE(Content(from) == std::string(1 << 20, 'q')) << "source changed";
    EXPECT_FALSE(Exists(to));

    // Something that is not a regular file cannot be copied; a FIFO must fail at once, not wait for a writer.
    const std::string fifo = tree.path("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_FALSE(realFileSystem().moveFile(fifo, there->path("pipe")));
    EXPECT_TRUE(Exists(fifo));
    EXPECT_FALSE(Exists(there->path("pipe")));
}

} // namespace
} // namespace twinspotter
