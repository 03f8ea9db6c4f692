// The walk and the catalogue: visit order, poll and servicing points, counters, and what cannot be read.
#include "core/walk.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/SeamFileSystem.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

using namespace twinspotter;
using namespace twinspotter::test;

namespace {

struct Walked
{
    twinspotter::Catalogue files;
    std::int32_t count = -1;
};

Walked Walk(const std::string& dir, FileSystem& fs, CommandHost& host, const bool& canceled)
{
    Walked c;
    WalkEnv env{fs, host, canceled};
    catalogueTree(c.files, dir, c.count, env);
    return c;
}

Walked Walk(const std::string& dir)
{
    SilentHost host;
    const bool canceled = false;
    return Walk(dir, realFileSystem(), host, canceled);
}

std::vector<std::string> Paths(const Catalogue& files)
{
    std::vector<std::string> out;
    for (const FileRecord& f : files)
        out.push_back(f.path1());
    return out;
}

} // namespace

TEST(WalkTest, TrailingSeparatorMakesNoDifferenceAndNeverDoubles)
{
    TempTree tree;
    tree.file("loc/a.txt", 1);
    tree.file("loc/sub/b.txt", 2);
    const Walked without = Walk(tree.path("loc"));
    const Walked with = Walk(tree.path("loc") + "/");
    EXPECT_EQ(Paths(without.files), Paths(with.files));
    ASSERT_EQ(without.files.size(), 2u);
    for (const FileRecord& f : without.files) {
        EXPECT_EQ(f.dir1().back(), '/');
        EXPECT_EQ(f.dir1().find("//"), std::string::npos) << f.dir1();
        EXPECT_TRUE(f.dir2().empty());
        EXPECT_FALSE(f.deleted);
    }
    EXPECT_EQ(without.count, 2);
}

TEST(WalkTest, DirectoryFilesComeBeforeSubtreesInListingOrder)
{
    TempTree tree;
    for (const char* name : {"a", "b", "c", "d"}) {
        tree.file(std::string("loc/") + name + ".txt");
        tree.file(std::string("loc/") + name + "/inner.txt");
        tree.file(std::string("loc/") + name + "/deep/leaf.txt");
    }
    SeamFileSystem fs;
    SilentHost host;
    const bool canceled = false;
    const Walked c = Walk(tree.path("loc"), fs, host, canceled);
    ASSERT_EQ(c.files.size(), 12u);

    // The root's own four files first, then each subdirectory's whole subtree in the root's listing order.
    std::vector<DirEntry> rootListing;
    realFileSystem().listDirectory(tree.path("loc") + "/", rootListing);
    std::vector<std::string> expected;
    for (const DirEntry& e : rootListing)
        if (!e.isDirectory)
            expected.push_back(tree.path("loc/") + e.name);
    for (const DirEntry& e : rootListing)
        if (e.isDirectory) {
            expected.push_back(tree.path("loc/") + e.name + "/inner.txt");
            expected.push_back(tree.path("loc/") + e.name + "/deep/leaf.txt");
        }
    EXPECT_EQ(Paths(c.files), expected);
}

TEST(WalkTest, DotDirectoriesAreSkippedButDotFilesAndLinksAreNot)
{
    TempTree tree;
    tree.file("loc/.profile", 3);
    tree.file("loc/.git/config", 3);
    tree.file("loc/real/target.txt", 3);
    tree.symlink("loc/link-to-file", tree.path("loc/real/target.txt"));
    tree.symlink("loc/link-to-dir", tree.path("loc/real"));
    tree.symlink("loc/real/loop", tree.path("loc"));
    const Walked c = Walk(tree.path("loc"));
    std::vector<std::string> names;
    for (const FileRecord& f : c.files)
        names.push_back(f.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".profile", "target.txt"}));
}

TEST(WalkTest, EmptyMissingAndUnreadableLocationsGiveNothing)
{
    TempTree tree;
    tree.dir("empty");
    EXPECT_EQ(Walk(tree.path("empty")).files.size(), 0u);
    EXPECT_EQ(Walk(tree.path("empty")).count, 0);
    EXPECT_EQ(Walk(tree.path("missing")).files.size(), 0u);
    EXPECT_EQ(Walk(tree.path("missing")).count, 0);
    EXPECT_EQ(Walk("").count, -1) << "an empty path is never walked";
}

TEST(WalkTest, ProgressShowsEveryHundredthFileAndServicesOncePerDirectory)
{
    TempTree tree;
    for (int i = 0; i < 201; ++i)
        tree.file("loc/f" + std::to_string(i));
    SeamFileSystem fs;
    RecordingHost host;
    const bool canceled = false;
    const Walked c = Walk(tree.path("loc"), fs, host, canceled);
    EXPECT_EQ(c.count, 201);
    EXPECT_EQ(host.progress, (std::vector<std::string>{"0", "100", "200"}));
    // Three at the hundreds and one after the directory's file pass; a location without subdirectories is
    // listed once for both passes.
    EXPECT_EQ(host.serviced, 4);
    EXPECT_EQ(fs.listed.size(), 1u);
}

TEST(WalkTest, SizeIsTheWholeSizeAndDateHasTwoSecondSteps)
{
    TempTree tree;
    tree.file("loc/big", 4294967296LL);
    tree.file("loc/t0", 0, LocalTime(2011, 3, 7, 10, 0, 0));
    tree.file("loc/t1", 0, LocalTime(2011, 3, 7, 10, 0, 1));
    tree.file("loc/t2", 0, LocalTime(2011, 3, 7, 10, 0, 2));
    const Walked c = Walk(tree.path("loc"));
    std::map<std::string, FileRecord> byName;
    for (const FileRecord& f : c.files)
        byName[f.name] = f;
    EXPECT_EQ(byName["big"].size, 4294967296LL);
    EXPECT_EQ(byName["t0"].date, byName["t1"].date);
    EXPECT_NE(byName["t1"].date, byName["t2"].date);
    const DosDateTime d = unpackDosDateTime(byName["t2"].date);
    EXPECT_EQ(d.year, 2011);
    EXPECT_EQ(d.month, 3);
    EXPECT_EQ(d.day, 7);
    EXPECT_EQ(d.hour, 10);
    EXPECT_EQ(d.minute, 0);
    EXPECT_EQ(d.second, 2);
}

TEST(WalkTest, DatesOutsideThePackedRangeAreClamped)
{
    EXPECT_EQ(packDosDateTime(1970, 1, 1, 0, 0, 0), packDosDateTime(1980, 1, 1, 0, 0, 0));
    EXPECT_EQ(packDosDateTime(2200, 1, 1, 0, 0, 0), packDosDateTime(2107, 12, 31, 23, 59, 58));
    const DosDateTime late = unpackDosDateTime(packDosDateTime(2107, 12, 31, 23, 59, 59));
    EXPECT_EQ(late.year, 2107);
    EXPECT_EQ(late.second, 58);
}

TEST(WalkTest, CancelInTheLastSubdirectoryStillFinishesTheLevelAbove)
{
    TempTree tree;
    tree.file("loc/top.txt");
    tree.file("loc/only/one.txt");
    tree.file("loc/only/two.txt");
    SeamFileSystem fs;
    RecordingHost host;
    bool canceled = false;
    // Servicing runs after the first file, after the top file pass and after "only"'s file pass: the click lands
    // in the third.
    host.onService = [&] {
        if (host.serviced == 3)
            canceled = true;
    };
    const Walked c = Walk(tree.path("loc"), fs, host, canceled);
    EXPECT_EQ(c.files.size(), 3u);
    EXPECT_EQ(c.count, 3) << "the top level's directory-done still ran";
}

TEST(WalkTest, CancelBeforeAnyLevelFinishesLeavesTheCounterAlone)
{
    TempTree tree;
    tree.file("loc/a/one.txt");
    tree.file("loc/b/two.txt");
    tree.file("loc/c/three.txt");
    tree.dir("loc/empty");
    SeamFileSystem fs;
    RecordingHost host;
    bool canceled = false;
    host.onService = [&] { canceled = true; };
    Walked c;
    c.count = 77;
    WalkEnv env{fs, host, canceled};
    catalogueTree(c.files, tree.path("loc"), c.count, env);
    EXPECT_EQ(c.files.size(), 0u);
    EXPECT_EQ(c.count, 77);

    // An empty directory is stopped by a click during its one servicing too.
    canceled = false;
    catalogueTree(c.files, tree.path("loc/empty"), c.count, env);
    EXPECT_EQ(c.count, 77);
}

TEST(WalkTest, UnlistableAndVanishingDirectoriesAreSkipped)
{
    TempTree tree;
    tree.file("loc/keep/a.txt");
    tree.file("loc/locked/b.txt");
    tree.file("loc/gone/c.txt");
    tree.file("loc/d.txt");
    SeamFileSystem fs;
    fs.failList.insert(tree.path("loc/locked/"));
    fs.afterList = [&](const PathString& dir) {
        if (dir == tree.path("loc/"))
            std::filesystem::remove_all(tree.path("loc/gone"));
    };
    SilentHost host;
    const bool canceled = false;
    const Walked c = Walk(tree.path("loc"), fs, host, canceled);
    std::vector<std::string> names;
    for (const FileRecord& f : c.files)
        names.push_back(f.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "d.txt"}));
    EXPECT_EQ(c.count, 2);
}

TEST(WalkTest, NamesAreKeptByteForByte)
{
    TempTree tree;
    const std::string latin1 = "caf\xE9.txt"; // not valid UTF-8
    const std::string utf8 = "\xC3\xBC"
                             "ber.txt";
    tree.file("loc/" + latin1, 5);
    tree.file("loc/" + utf8, 5);
    const Walked c = Walk(tree.path("loc"));
    std::vector<std::string> names;
    for (const FileRecord& f : c.files)
        names.push_back(f.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{latin1, utf8}));
}
