// Pairing: the criteria of both modes, what never pairs, and the indexed matching against the plain reference.
#include "core/match.h"
#include "core/SearchSession.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <random>

using namespace twinspotter;
using namespace twinspotter::test;

namespace {

const std::time_t kNoon = LocalTime(2011, 3, 7, 12, 0, 0);

struct Search
{
    SearchSession session;
    RecordingHost host;

    const FileList& run(const std::string& location1, const std::string& location2 = {})
    {
        session.search(location1, location2, host);
        return session.pairs();
    }
};

// The catalogue order of a name's copies, which follows the file system's listing order.
std::vector<std::string> CatalogueDirsOf(const std::string& location, const std::string& name)
{
    Catalogue catalogue;
    std::int32_t count = 0;
    SilentHost host;
    const bool canceled = false;
    WalkEnv env{realFileSystem(), host, canceled};
    catalogueTree(catalogue, location, count, env);
    std::vector<std::string> dirs;
    for (const FileRecord& f : catalogue)
        if (f.name == name)
            dirs.push_back(f.dir1());
    return dirs;
}

} // namespace

TEST(MatchTest, EveryLocationOneCopyPairsWithTheLocationTwoFileInCatalogueOrder)
{
    TempTree tree;
    tree.file("one/a/x.txt", 10, kNoon);
    tree.file("one/b/x.txt", 10, kNoon);
    tree.file("two/x.txt", 10, kNoon);
    Search s;
    const FileList& pairs = s.run(tree.path("one"), tree.path("two"));
    ASSERT_EQ(pairs.size(), 2u);
    const std::vector<std::string> order = CatalogueDirsOf(tree.path("one"), "x.txt");
    EXPECT_EQ(pairs[0].dir1(), order[0]);
    EXPECT_EQ(pairs[1].dir1(), order[1]);
    EXPECT_EQ(pairs[0].dir2(), tree.path("two/"));
    EXPECT_EQ(pairs[1].dir2(), tree.path("two/"));
    EXPECT_EQ(s.session.filesInLocation1(), 2);
    EXPECT_EQ(s.session.filesInLocation2(), 1);
}

TEST(MatchTest, CopiesInsideOneLocationAndNamesDifferingInCaseNeverPair)
{
    TempTree tree;
    tree.file("one/a/x.txt", 1, kNoon);
    tree.file("one/b/x.txt", 1, kNoon);
    tree.file("one/Report.doc", 1, kNoon);
    tree.file("two/report.doc", 1, kNoon);
    tree.file("two/sub/y.txt", 1, kNoon);
    Search s;
    EXPECT_TRUE(s.run(tree.path("one"), tree.path("two")).empty());
    EXPECT_EQ(s.session.filesInLocation2(), 2);
}

TEST(MatchTest, TicksDecideWhetherDateAndSizeMustAgree)
{
    TempTree tree;
    tree.file("one/same.txt", 10, kNoon);
    tree.file("two/same.txt", 10, kNoon);
    tree.file("one/otherdate.txt", 10, kNoon);
    tree.file("two/otherdate.txt", 10, kNoon + 3600);
    tree.file("one/othersize.txt", 10, kNoon);
    tree.file("two/othersize.txt", 11, kNoon);
    const auto names = [&](bool date, bool size) {
        Search s;
        s.host.tickDate = date;
        s.host.tickSize = size;
        std::vector<std::string> out;
        for (const FileRecord& p : s.run(tree.path("one"), tree.path("two")))
            out.push_back(p.name);
        std::sort(out.begin(), out.end());
        return out;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(names(true, true), (V{"same.txt"}));
    EXPECT_EQ(names(false, true), (V{"otherdate.txt", "same.txt"}));
    EXPECT_EQ(names(true, false), (V{"othersize.txt", "same.txt"}));
    EXPECT_EQ(names(false, false), (V{"otherdate.txt", "othersize.txt", "same.txt"}));

    // With date ignored, the pair carries the location-2 file's own date.
    Search s;
    s.host.tickDate = false;
    for (const FileRecord& p : s.run(tree.path("one"), tree.path("two"))) {
        if (p.name == "otherdate.txt") {
            EXPECT_EQ(p.date, dosDateTimeFromUnix(kNoon + 3600));
        }
    }
}

TEST(MatchTest, FourGibAndEmptyFilesDoNotHaveTheSameSize)
{
    TempTree tree;
    tree.file("one/disk.img", 4294967296LL, kNoon);
    tree.file("two/disk.img", 0, kNoon);
    Search s;
    EXPECT_TRUE(s.run(tree.path("one"), tree.path("two")).empty());
}

TEST(MatchTest, SingleDirectoryChainsIdenticalFilesAndIgnoresTheTicks)
{
    TempTree tree;
    tree.file("one/a/x.txt", 5, kNoon);
    tree.file("one/b/x.txt", 5, kNoon);
    tree.file("one/c/x.txt", 5, kNoon);
    tree.file("one/a/y.txt", 5, kNoon);
    tree.file("one/b/y.txt", 6, kNoon);
    Search s;
    s.host.tickDate = false;
    s.host.tickSize = false;
    const FileList& pairs = s.run(tree.path("one"));
    const std::vector<std::string> order = CatalogueDirsOf(tree.path("one"), "x.txt");
    ASSERT_EQ(pairs.size(), 2u) << "same-named files of different sizes never pair here";
    EXPECT_EQ(pairs[0].dir1(), order[1]);
    EXPECT_EQ(pairs[0].dir2(), order[0]);
    EXPECT_EQ(pairs[1].dir1(), order[2]);
    EXPECT_EQ(pairs[1].dir2(), order[1]);
    EXPECT_EQ(s.session.filesInLocation2(), 0);
    EXPECT_EQ(s.host.progress.back(), "1");
}

TEST(MatchTest, OneFileSeenTwiceNeverPairsWithItself)
{
    TempTree tree;
    tree.file("one/photo.jpg", 7, kNoon);
    tree.file("one/inner/doc.txt", 7, kNoon);
    tree.hardlink("one/inner/photo.jpg", "one/photo.jpg");
    // Location 2 lies inside location 1: every file of it is found twice.
    Search twoLocations;
    EXPECT_TRUE(twoLocations.run(tree.path("one"), tree.path("one/inner")).empty());
    Search overlapping;
    EXPECT_TRUE(overlapping.run(tree.path("one"), tree.path("one")).empty());
    Search single;
    EXPECT_TRUE(single.run(tree.path("one")).empty()) << "hard links are one file";

    // A real copy beside the links still pairs, with the nearest copy that is another file.
    tree.file("one/zcopy/photo.jpg", 7, kNoon);
    Search withCopy;
    EXPECT_EQ(withCopy.run(tree.path("one")).size(), 2u);
}

TEST(MatchTest, PairProgressCountsFromZero)
{
    TempTree tree;
    tree.file("one/x.txt", 1, kNoon);
    for (int i = 0; i < 101; ++i)
        tree.file("two/d" + std::to_string(i) + "/x.txt", 1, kNoon);
    Search s;
    s.run(tree.path("one"), tree.path("two"));
    ASSERT_EQ(s.session.pairs().size(), 101u);
    std::vector<std::string> pairProgress(s.host.progress.end() - 101, s.host.progress.end());
    EXPECT_EQ(pairProgress.front(), "0");
    EXPECT_EQ(pairProgress.back(), "100");
}

// ---- the plain algorithms, kept here as the reference the indexed matching must agree with ----

namespace {

void ReferenceAgainst(const Catalogue& catalogue, const std::vector<std::pair<const PathString*, DirEntry>>& location2,
                      bool sameDate, bool sameSize, FileList& pairs)
{
    for (const auto& [dir, f] : location2) {
        const std::int32_t date = dosDateTimeFromUnix(f.mtime);
        for (const FileRecord& c : catalogue) {
            if (f.name == c.name && (!sameDate || date == c.date) && (!sameSize || f.size == c.size) &&
                !sameFileOnDisk(c.stamp1, f.id)) {
                FileRecord pair;
                pair.directory1 = c.directory1;
                pair.directory2 = dir;
                pair.name = f.name;
                pair.date = date;
                pair.size = f.size;
                pairs.append(pair);
            }
        }
    }
}

void ReferenceWithin(const Catalogue& catalogue, FileList& pairs)
{
    const std::size_t n = catalogue.size();
    if (n < 2)
        return;
    for (std::size_t i = 0; i + 1 < n; ++i)
        for (std::size_t j = i + 1; j < n; ++j) {
            const FileRecord a = catalogue[i];
            const FileRecord b = catalogue[j];
            if (a.name == b.name && a.date == b.date && a.size == b.size && !sameFileOnDisk(b.stamp1, a.stamp1.id)) {
                FileRecord pair;
                pair.directory1 = b.directory1;
                pair.directory2 = a.directory1;
                pair.name = b.name;
                pair.date = b.date;
                pair.size = b.size;
                pairs.append(pair);
                break;
            }
        }
}

bool SamePairs(const FileList& a, const FileList& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].dir1() != b[i].dir1() || a[i].dir2() != b[i].dir2() || a[i].name != b[i].name ||
            a[i].date != b[i].date || a[i].size != b[i].size || a[i].deleted)
            return false;
    return true;
}

} // namespace

TEST(MatchTest, IndexedMatchingGivesThePlainAlgorithmsPairsInTheSameOrder)
{
    std::mt19937 rng(20261208);
    SilentHost host;
    const bool canceled = false;
    for (int round = 0; round < 1000; ++round) {
        const int names = 1 + int(rng() % 6);
        const int catalogueSize = int(rng() % 40);
        const int location2Size = int(rng() % 40);
        const auto pick = [&](int n) { return int(rng() % unsigned(n)); };

        Catalogue catalogue;
        std::vector<const PathString*> dirs;
        for (int d = 0; d < 4; ++d)
            dirs.push_back(catalogue.addDirectory("/loc/d" + std::to_string(d) + "/"));
        for (int i = 0; i < catalogueSize; ++i) {
            FileRecord r;
            r.directory1 = dirs[pick(4)];
            r.name = "n" + std::to_string(pick(names));
            r.date = dosDateTimeFromUnix(kNoon + 2 * pick(2));
            r.size = pick(3);
            // A few entries are one file on disk seen twice.
            r.stamp1.id = FileId{1, std::uint64_t(1 + pick(catalogueSize + 3))};
            catalogue.append(r);
        }
        std::vector<std::pair<const PathString*, DirEntry>> location2;
        for (int i = 0; i < location2Size; ++i) {
            DirEntry e;
            e.name = "n" + std::to_string(pick(names));
            e.mtime = kNoon + 2 * pick(2);
            e.size = pick(3);
            e.id = FileId{1, std::uint64_t(1 + pick(catalogueSize + 40))};
            location2.emplace_back(dirs[pick(4)], e);
        }

        for (const bool sameDate : {true, false})
            for (const bool sameSize : {true, false}) {
                FileList expected(catalogue.pool()), actual(catalogue.pool());
                ReferenceAgainst(catalogue, location2, sameDate, sameSize, expected);
                CatalogueMatcher matcher(catalogue);
                for (const auto& [dir, e] : location2)
                    matcher.matchFile(dir, e, sameDate, sameSize, actual, host);
                ASSERT_TRUE(SamePairs(expected, actual)) << "round " << round;
            }

        FileList expected(catalogue.pool()), actual(catalogue.pool());
        ReferenceWithin(catalogue, expected);
        WalkEnv env{realFileSystem(), host, canceled};
        matchWithinCatalogue(catalogue, actual, env);
        ASSERT_TRUE(SamePairs(expected, actual)) << "round " << round;
    }
}
