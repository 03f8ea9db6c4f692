// Same content on real trees: which pairs stay, how often a file is read, files that changed or cannot be read, and
// what a cancel leaves.
#include "core/SearchSession.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/SeamFileSystem.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
// Inline, for the hash's default secret and its unkeyed digest.
#define XXH_INLINE_ALL
#include <xxhash.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <set>
#include <thread>

using namespace twinspotter;
using namespace twinspotter::test;

namespace {

const std::time_t kNoon = LocalTime(2011, 3, 7, 12, 0, 0);

class ContentCompareTest : public ::testing::Test
{
protected:
    TempTree tree;
    SeamFileSystem disk;
    SearchSession session{disk};
    RecordingHost host;

    void SetUp() override { host.tickContent = true; }
    void search(const std::string& location1, const std::string& location2 = {})
    {
        session.search(location1, location2, host);
    }
    std::vector<std::string> pairNames() const
    {
        std::vector<std::string> names;
        for (const FileRecord& pair : session.pairs())
            names.push_back(pair.name);
        std::sort(names.begin(), names.end());
        return names;
    }
    // A file of \p bytes at \p offset, a hole before them, with the search's date.
    void put(const std::string& relative, const std::string& bytes, off_t offset = 0)
    {
        const int fd = open(tree.file(relative).c_str(), O_WRONLY | O_CLOEXEC);
        EXPECT_EQ(pwrite(fd, bytes.data(), bytes.size(), offset), static_cast<ssize_t>(bytes.size()));
        close(fd);
        atNoon(relative);
    }
    void atNoon(const std::string& relative)
    {
        const timespec times[2] = {{kNoon, 0}, {kNoon, 0}};
        utimensat(AT_FDCWD, tree.path(relative).c_str(), times, 0);
    }
};

TEST_F(ContentCompareTest, OnlyPairsOfEqualBytesStayAndWhatCannotBeReadIsCounted)
{
    put("one/same", "same");
    put("two/same", "same");
    put("one/other", "1111");
    put("two/other", "2222");
    // Zeros in a hole and zeros written out hold the same bytes; one byte after a hole tells two files apart.
    put("one/zeros", std::string(1, '\0'), (3 << 20) - 1);
    put("two/zeros", std::string(3 << 20, '\0'));
    tree.file("one/hole", 5 << 19, kNoon);
    put("two/hole", std::string(5 << 19, '\0'));
    put("one/tail", "x", (5 << 19) + 7);
    put("two/tail", "y", (5 << 19) + 7);
    // A FIFO is a copy of nothing: it is not listed, so an empty file of its name finds no partner.
    put("two/fifo", "");
    ASSERT_EQ(mkfifo(tree.path("one/fifo").c_str(), 0644), 0);
    atNoon("one/fifo");
    host.tickSize = false;
    put("one/longer", "llll");
    put("two/longer", "lllll");

    search(tree.path("one"), tree.path("two"));
    EXPECT_EQ(pairNames(), (std::vector<std::string>{"hole", "same", "zeros"}));
    EXPECT_EQ(session.lastSearch().content.unreadable, 0);
    EXPECT_EQ(session.lastSearch().content.changed, 0);
    EXPECT_EQ(session.lastSearch().pairs, 3u);
    EXPECT_EQ(disk.reads.count(tree.path("two/longer")), 0u) << "files of different sizes are never read";

    // In one location, two equal copies pair even when a same-named file of other bytes lies between them.
    for (const char* dir : {"a", "b", "c"})
        put(std::string("single/") + dir + "/x", *dir == 'b' ? "BBBB" : "AAAA");
    search(tree.path("single"));
    ASSERT_EQ(session.pairs().size(), 1u);
    EXPECT_EQ((std::set<std::string>{session.pairs()[0].dir1(), session.pairs()[0].dir2()}),
              (std::set<std::string>{tree.path("single/a/"), tree.path("single/c/")}));

    // Without the tick nothing is read, and every same-named pair stays.
    disk.reads.clear();
    host.tickContent = false;
    search(tree.path("single"));
    EXPECT_EQ(session.pairs().size(), 2u);
    EXPECT_TRUE(disk.reads.empty());
}

TEST_F(ContentCompareTest, AFileInThreePairsIsReadOnce)
{
    for (const char* path : {"one/a/x", "one/b/x", "one/c/x", "two/x"})
        put(path, std::string(100, 'x'));
    search(tree.path("one"), tree.path("two"));
    EXPECT_EQ(session.pairs().size(), 3u);
    EXPECT_EQ(
        disk.reads,
        (std::map<PathString, int>{
            {tree.path("one/a/x"), 1}, {tree.path("one/b/x"), 1}, {tree.path("one/c/x"), 1}, {tree.path("two/x"), 1}}));
    EXPECT_EQ(host.contentProgress.back().bytes, 400u);
}

TEST_F(ContentCompareTest, AFileChangedSinceTheCatalogueIsLeftOutEvenWithTheSameBytes)
{
    for (const char* path : {"one/rewritten", "two/rewritten", "one/replaced", "two/replaced", "one/kept", "two/kept"})
        put(path, "cccc");
    disk.beforeRead = [&](const PathString& path) {
        if (path == tree.path("two/rewritten"))
            tree.file("two/rewritten", 4, kNoon + 1, 'c');
        if (path == tree.path("two/replaced"))
            std::filesystem::rename(tree.file("two/new", 4, kNoon, 'c'), path);
    };
    search(tree.path("one"), tree.path("two"));
    EXPECT_EQ(pairNames(), std::vector<std::string>{"kept"});
    EXPECT_EQ(session.lastSearch().content.changed, 2);
}

TEST_F(ContentCompareTest, AFileWrittenWhileItIsReadIsLeftOut)
{
    put("one/rewritten", "cccc");
    put("two/rewritten", "cccc");
    // All holes: nothing is read, so nothing but its end can tell that it grew meanwhile.
    for (const char* path : {"one/grown", "two/grown"})
        tree.file(path, 2 << 20, kNoon);
    disk.duringRead = [&](const PathString& path) {
        if (path == tree.path("two/rewritten"))
            put("two/rewritten", "cccc");
        if (path == tree.path("two/grown"))
            put("two/grown", "g", 2 << 20);
    };
    search(tree.path("one"), tree.path("two"));
    EXPECT_EQ(pairNames(), std::vector<std::string>{});
    EXPECT_EQ(session.lastSearch().content.changed, 2);
}

TEST_F(ContentCompareTest, FilesWhoseSizeTheFileSystemCannotStateNeverPair)
{
    // Every file of /proc says 0 bytes; two processes' files hold different ones.
    pid_t processes[2];
    for (pid_t& process : processes)
        if ((process = fork()) == 0) {
            pause();
            _exit(0);
        }
    host.tickDate = false;
    search("/proc/" + std::to_string(processes[0]), "/proc/" + std::to_string(processes[1]));
    for (const pid_t process : processes) {
        kill(process, SIGKILL);
        waitpid(process, nullptr, 0);
    }
    // Some are not even readable (mem, clear_refs).
    EXPECT_GT(session.lastSearch().content.unreadable, 0);
    ASSERT_GT(session.lastSearch().content.changed, 0);
    const std::vector<std::string> names = pairNames();
    for (const char* name : {"stat", "status"})
        EXPECT_EQ(std::count(names.begin(), names.end(), name), 0) << name;
}

TEST_F(ContentCompareTest, FilesMadeToAgreeUnderTheHashsDefaultSecretDoNotPair)
{
    // Where the upper half of a stripe's first word equals the secret's, the word's product term vanishes and only
    // its sum with the next stripe's first word counts: 1 + 2 and 2 + 1 agree.
    const auto crafted = [](std::uint32_t first, std::uint32_t second) {
        std::string bytes(4096, 'x');
        const std::uint32_t low[] = {first, second};
        for (int stripe = 0; stripe < 2; ++stripe) {
            std::uint32_t high = 0;
            std::memcpy(&high, XXH3_kSecret + 8 * stripe + 4, 4);
            const std::uint64_t word = std::uint64_t(high) << 32 | low[stripe];
            std::memcpy(bytes.data() + 64 * stripe, &word, 8);
        }
        return bytes;
    };
    const std::string a = crafted(1, 2), b = crafted(2, 1);
    ASSERT_NE(a, b);
    ASSERT_TRUE(XXH128_isEqual(XXH3_128bits(a.data(), a.size()), XXH3_128bits(b.data(), b.size())));
    put("one/crafted", a);
    put("two/crafted", b);
    put("one/equal", a);
    put("two/equal", a);
    search(tree.path("one"), tree.path("two"));
    EXPECT_EQ(pairNames(), std::vector<std::string>{"equal"});
}

TEST_F(ContentCompareTest, CancelDuringTheContentPhaseKeepsThePairsConfirmedSoFar)
{
    for (int i = 0; i < 4; ++i) {
        put("one/f" + std::to_string(i), "content");
        put("two/f" + std::to_string(i), "content");
    }
    host.onService = [&] {
        if (!host.contentProgress.empty() && host.contentProgress.back().pairsKept == 1)
            session.cancel();
    };
    search(tree.path("one"), tree.path("two"));
    EXPECT_EQ(session.pairs().size(), 1u);
    EXPECT_EQ(host.phases.back(), Phase::ComparingContents);
    EXPECT_EQ(session.lastSearch().pairs, 1u);
}

TEST_F(ContentCompareTest, ReadersTakeNoFileAfterACancel)
{
    for (int i = 0; i < 20; ++i) {
        put("one/f" + std::to_string(i), "content");
        put("two/f" + std::to_string(i), "content");
    }
    std::atomic<bool> canceled{false};
    disk.beforeRead = [&](const PathString&) {
        for (int wait = 0; wait < 5000 && !canceled; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    host.onService = [&] {
        if (host.phases.back() == Phase::ComparingContents) {
            session.cancel();
            canceled = true;
        }
    };
    search(tree.path("one"), tree.path("two"));
    int reads = 0;
    for (const auto& [path, count] : disk.reads)
        reads += count;
    EXPECT_LE(reads, 4) << "each reader ends the file it holds and takes no other";
}

// Counts the blocks of every file read, as the readers report them.
class CountingDisk : public SeamFileSystem
{
public:
    std::atomic<std::uint64_t> blocks{0};
    ContentDigest readContent(const ContentRequest& request) override
    {
        ContentRequest counted = request;
        counted.onBlock = [&](std::uint64_t bytes) {
            ++blocks;
            return !request.onBlock || request.onBlock(bytes);
        };
        return SeamFileSystem::readContent(counted);
    }
};

TEST(ContentReadersTest, AReaderStopsInTheMiddleOfItsFileOnceCancelled)
{
    // Files of 4 TiB, holes only: millions of blocks that cost no disk, so a reader is surely in the middle of one
    // when the cancel comes.
    TempTree tree;
    const std::int64_t size = std::int64_t(4) << 40;
    tree.file("one/huge", size, kNoon);
    tree.file("two/huge", size, kNoon);
    CountingDisk disk;
    SearchSession session{disk};
    RecordingHost host;
    host.tickContent = true;
    host.onService = [&] {
        if (host.phases.back() == Phase::ComparingContents && disk.blocks > 0)
            session.cancel();
    };
    session.search(tree.path("one"), tree.path("two"), host);
    EXPECT_TRUE(session.lastSearch().cancelled);
    EXPECT_LT(disk.blocks, std::uint64_t(size >> 20)) << "the readers went on to the end of their files";
}

TEST(ContentKeyTest, EachComparisonDrawsASecretOfItsOwn)
{
    const ContentKey first, second;
    EXPECT_NE(std::memcmp(first.secret(), second.secret(), ContentKey::kSize), 0);
}

TEST(ContentDigestsTest, ADigestServesOnlyTheFileStampItWasReadAs)
{
    ContentDigests digests;
    const FileStamp stamp{{1, 2}, 4, 10, 10};
    digests.result(digests.add(stamp)) = ContentDigest{ContentStatus::Digested, 0, 1, 2};
    ASSERT_NE(digests.find(stamp), nullptr);
    FileStamp grown = stamp, written = stamp, changed = stamp;
    grown.size = 5;
    written.mtimeNs = 11;
    changed.ctimeNs = 11;
    for (const FileStamp& other : {grown, written, changed})
        EXPECT_EQ(digests.find(other), nullptr);
}

} // namespace
