// Same content on real trees: which pairs stay, how often a file is read, files that changed or cannot be read, and
// what a cancel leaves.
#include "core/MainFormState.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/SeamFileSystem.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>

using namespace twinspotter;
using namespace twinspotter::test;

namespace {

const std::time_t kNoon = LocalTime(2011, 3, 7, 12, 0, 0);

class ContentCompareTest : public ::testing::Test
{
protected:
    TempTree tree;
    SeamFileSystem disk;
    MainFormState state{disk};
    RecordingHost host;

    void SetUp() override { host.tickContent = true; }
    void search(const std::string& location1, const std::string& location2 = {})
    {
        state.edtStartDir2Change(location2);
        state.ButtonfindClick(location1, location2, host);
    }
    std::vector<std::string> pairNames() const
    {
        std::vector<std::string> names;
        for (const TFileF& pair : state.FCompared)
            names.push_back(pair.Name);
        return names;
    }
    // A sparse file of \p size bytes holding \p byte at \p offset, with the search's date.
    std::string sparse(const std::string& relative, std::int64_t size, std::int64_t offset, char byte)
    {
        const std::string path = tree.file(relative, size);
        const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
        EXPECT_EQ(pwrite(fd, &byte, 1, offset), 1);
        close(fd);
        const timespec times[2] = {{kNoon, 0}, {kNoon, 0}};
        utimensat(AT_FDCWD, path.c_str(), times, 0);
        return path;
    }
};

TEST_F(ContentCompareTest, OnlyPairsOfEqualBytesStayAndWhatCannotBeReadIsCounted)
{
    tree.file("one/same", 4, kNoon, 's');
    tree.file("two/same", 4, kNoon, 's');
    tree.file("one/other", 4, kNoon, '1');
    tree.file("two/other", 4, kNoon, '2');
    // Zeros written out and zeros that are a hole hold the same bytes; one byte after a hole tells two files apart.
    tree.file("one/zeros", 3 << 20, kNoon);
    const int fd = open(tree.path("two/zeros").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    const std::string zeros(3 << 20, '\0');
    ASSERT_EQ(write(fd, zeros.data(), zeros.size()), static_cast<ssize_t>(zeros.size()));
    close(fd);
    const timespec times[2] = {{kNoon, 0}, {kNoon, 0}};
    utimensat(AT_FDCWD, tree.path("two/zeros").c_str(), times, 0);
    sparse("one/tail", 3 << 20, (5 << 19) + 7, 'x');
    sparse("two/tail", 3 << 20, (5 << 19) + 7, 'y');
    // A FIFO cannot be read for its content; an empty file of its name is no proof of anything.
    ASSERT_EQ(mkfifo(tree.path("one/fifo").c_str(), 0644), 0);
    utimensat(AT_FDCWD, tree.path("one/fifo").c_str(), times, 0);
    tree.file("two/fifo", 0, kNoon);
    host.tickSize = false;
    tree.file("one/longer", 4, kNoon, 'l');
    tree.file("two/longer", 5, kNoon, 'l');

    search(tree.path("one"), tree.path("two"));
    std::vector<std::string> names = pairNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"same", "zeros"}));
    EXPECT_EQ(state.contentReport().unreadable, 1);
    EXPECT_EQ(host.events[host.events.size() - 2], "count:Doublicates found: 2, unreadable: 1");
    EXPECT_EQ(disk.reads.count(tree.path("two/longer")), 0u) << "files of different sizes are never read";

    // In one location, two equal copies pair even when a same-named file of other bytes lies between them.
    for (const char* dir : {"a", "b", "c"})
        tree.file(std::string("single/") + dir + "/x", 4, kNoon, *dir == 'b' ? 'B' : 'A');
    search(tree.path("single"));
    ASSERT_EQ(state.FCompared.size(), 1u);
    EXPECT_NE(state.FCompared[0].dir1(), state.FCompared[0].dir2());
    for (const std::string& dir : {state.FCompared[0].dir1(), state.FCompared[0].dir2()})
        EXPECT_FALSE(dir.ends_with("/b/"));

    // Without the tick nothing is read, and every same-named pair stays.
    disk.reads.clear();
    host.tickContent = false;
    search(tree.path("single"));
    EXPECT_EQ(state.FCompared.size(), 2u);
    EXPECT_TRUE(disk.reads.empty());
}

TEST_F(ContentCompareTest, AFileInThreePairsIsReadOnce)
{
    for (const char* dir : {"a", "b", "c"})
        tree.file(std::string("one/") + dir + "/x", 100, kNoon, 'x');
    tree.file("two/x", 100, kNoon, 'x');
    search(tree.path("one"), tree.path("two"));
    EXPECT_EQ(state.FCompared.size(), 3u);
    EXPECT_EQ(
        disk.reads,
        (std::map<PathString, int>{
            {tree.path("one/a/x"), 1}, {tree.path("one/b/x"), 1}, {tree.path("one/c/x"), 1}, {tree.path("two/x"), 1}}));
    EXPECT_EQ(host.contentProgress.back().filesDone, 4u);
    EXPECT_EQ(host.contentProgress.back().bytesDone, 400u);
}

TEST_F(ContentCompareTest, AFileChangedSinceTheCatalogueIsLeftOutEvenWithTheSameBytes)
{
    for (const char* name : {"rewritten", "replaced", "kept"}) {
        tree.file(std::string("one/") + name, 4, kNoon, 'c');
        tree.file(std::string("two/") + name, 4, kNoon, 'c');
    }
    disk.beforeRead = [&](const PathString& path) {
        if (path == tree.path("two/rewritten"))
            tree.file("two/rewritten", 4, kNoon + 1, 'c');
        if (path == tree.path("two/replaced"))
            std::filesystem::rename(tree.file("two/new", 4, kNoon, 'c'), path);
    };
    search(tree.path("one"), tree.path("two"));
    EXPECT_EQ(pairNames(), std::vector<std::string>{"kept"});
    EXPECT_EQ(state.contentReport().changed, 2);
    EXPECT_EQ(state.contentReport().unreadable, 0);
}

TEST_F(ContentCompareTest, CancelDuringTheContentPhaseKeepsThePairsConfirmedSoFar)
{
    for (int i = 0; i < 4; ++i) {
        tree.file("one/f" + std::to_string(i), 1000, kNoon, 'c');
        tree.file("two/f" + std::to_string(i), 1000, kNoon, 'c');
    }
    host.onService = [&] {
        if (!host.contentProgress.empty() && host.contentProgress.back().pairsKept == 1)
            state.btnCancelClick();
    };
    search(tree.path("one"), tree.path("two"));
    ASSERT_EQ(state.FCompared.size(), 1u);
    EXPECT_TRUE(std::find(host.phases.begin(), host.phases.end(), "Comparing contents ...") != host.phases.end());
    EXPECT_EQ(host.events[host.events.size() - 2], "count:Doublicates found: 1");
}

} // namespace
