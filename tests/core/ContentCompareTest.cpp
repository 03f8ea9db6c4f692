// Same content on real trees: which pairs stay, how often a file is read, files that changed or cannot be read, and
// what a cancel leaves.
#include "core/SearchSession.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/SeamFileSystem.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>

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
        session.setLocation2(location2);
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
    EXPECT_EQ(pairNames(), (std::vector<std::string>{"same", "zeros"}));
    EXPECT_EQ(session.lastSearch().content.unreadable, 0);
    EXPECT_EQ(session.lastSearch().content.changed, 0);
    EXPECT_EQ(session.lastSearch().pairs, 2u);
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
    EXPECT_EQ(host.contentProgress.back().bytesDone, 400u);
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

} // namespace
