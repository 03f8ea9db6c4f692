// The main window's removal commands and the detailed view's removal, on real files with a seam for failures.
#include "tests/core/RemoveTestSupport.h"
#include "tests/support/InstantFileSystem.h"

#include <filesystem>
#include <random>
#include <stdexcept>

namespace twinspotter {
namespace {

using namespace test;
using Flags = std::vector<bool>;

class RemoveCommandsTest : public RemoveFixture
{
};

TEST_F(RemoveCommandsTest, AnsweringNoChangesNothingAndLeavesTheBulkButtonAlone)
{
    pair("one/", "two/", "a");
    const std::vector<SelectedRow> rows{{loc1, "a"}, {loc1, "a"}};
    EXPECT_FALSE(session.removeAllLocation2Copies(host).ran);
    EXPECT_FALSE(session.removeSelectedRows(rows, Side::Location1, host).ran);
    EXPECT_FALSE(session.removeOneFile(0, Side::Location1, host).has_value());
    EXPECT_EQ(host.questions, (std::vector<std::string>{"Are you sure you want to delete all files?",
                                                        "Are you sure you want to delete these files?",
                                                        "Are you sure you want to delete these files?"}));
    EXPECT_TRUE(OnDisk(loc1 + "a") && OnDisk(loc2 + "a"));
    EXPECT_EQ(deletedFlags(), Flags{false});
    EXPECT_TRUE(host.events.empty());
    EXPECT_FALSE(session.busy());
}

TEST_F(RemoveCommandsTest, BulkRemovesLocation2CopiesPassingOverDeletedPairsButCountingThem)
{
    pair("one/", "two/", "a");
    pair("one/", "two/", "b");
    session.pairs()[1].deleted = true;
    pair("one/", "two/x/", "c");
    pair("one/", "two/", "gone");
    std::filesystem::remove(loc2 + "gone");
    pair("one/", "two/", "stuck");
    fs.failDelete.insert(loc2 + "stuck");
    host.answers = {true};

    RemovalReport report = session.removeAllLocation2Copies(host);
    EXPECT_EQ(report.count, 2);
    EXPECT_EQ(report.total, 5);
    EXPECT_FALSE(OnDisk(loc2 + "a") || OnDisk(loc2 + "x/c"));
    EXPECT_TRUE(OnDisk(loc2 + "b") && OnDisk(loc2 + "stuck"));
    EXPECT_TRUE(OnDisk(loc1 + "a") && OnDisk(loc1 + "b") && OnDisk(loc1 + "c"));
    EXPECT_EQ(deletedFlags(), (Flags{true, true, true, true, false}));
    EXPECT_EQ(session.filesInLocation1(), 10);
    EXPECT_EQ(session.filesInLocation2(), 8);
    EXPECT_EQ(host.serviced, 4);
    EXPECT_EQ(host.events, (std::vector<std::string>{"inform:2 files was deleted from total of 5", "kept:2"}));
    // The vanished copy is told too, as no failure.
    ASSERT_EQ(host.kept.size(), 2u);
    EXPECT_EQ(host.kept[0].path, loc2 + "gone");
    EXPECT_EQ(host.kept[0].text(), "it is no longer there");
    EXPECT_EQ(host.kept[1].path, loc2 + "stuck");
    EXPECT_EQ(host.kept[1].text(), "it cannot be deleted: Operation not permitted");
    EXPECT_TRUE(report.failed());
    report.kept.pop_back();
    EXPECT_FALSE(report.failed());
}

TEST_F(RemoveCommandsTest, BulkRemovesALocation2FilePairedTwiceOnceAndReportsNothingLeft)
{
    pair("one/a/", "two/", "x");
    pair("one/b/", "two/", "x");
    host.answers = {true};
    const RemovalReport report = session.removeAllLocation2Copies(host);
    EXPECT_EQ(report.count, 1);
    EXPECT_EQ(report.total, 2);
    EXPECT_TRUE(report.kept.empty());
    EXPECT_EQ(deletedFlags(), (Flags{true, true}));
    EXPECT_EQ(session.filesInLocation2(), 9);
    EXPECT_EQ(host.events, (std::vector<std::string>{"inform:1 files was deleted from total of 2"}));

    // One that stays for a reason of its own is listed once, not once per pair.
    pair("one/a/", "two/", "y");
    pair("one/b/", "two/", "y");
    fs.failDelete.insert(loc2 + "y");
    host.answers = {true};
    EXPECT_EQ(session.removeAllLocation2Copies(host).kept.size(), 1u);
    ASSERT_EQ(host.kept.size(), 1u);
    EXPECT_EQ(host.kept[0].path, loc2 + "y");
}

TEST_F(RemoveCommandsTest, BulkInSingleDirectoryModeLowersTheLocation1CounterAndReportsAnEmptyList)
{
    singleDirectorySearch();
    host.answers = {true, true};
    const RemovalReport empty = session.removeAllLocation2Copies(host);
    EXPECT_TRUE(empty.ran);
    EXPECT_EQ(empty.total, 0);
    EXPECT_EQ(host.messages.back(), "0 files was deleted from total of 0");

    pair("one/", "one/sub/", "a");
    session.removeAllLocation2Copies(host);
    EXPECT_FALSE(OnDisk(loc1 + "sub/a"));
    EXPECT_EQ(session.filesInLocation1(), 9);
    EXPECT_EQ(session.filesInLocation2(), 10);
}

TEST_F(RemoveCommandsTest, BulkWithTheSafetyOptionMovesAndKeepsWhatTheSafetyDirectoryCannotTake)
{
    host.ticked = true;
    host.directory = tree.dir("safe");
    pair("one/", "two/", "a");
    pair("one/", "two/", "b");
    const std::string taken = tree.file("safe" + loc2 + "b", 3, 0, 's');
    host.answers = {true};

    EXPECT_EQ(session.removeAllLocation2Copies(host).count, 1);
    EXPECT_EQ(ContentOf(host.directory + loc2 + "a"), std::string(10, 'a'));
    // The place is taken: the copy stays where it is rather than being deleted for good.
    EXPECT_EQ(ContentOf(loc2 + "b"), std::string(10, 'b'));
    EXPECT_EQ(ContentOf(taken), "sss");
    EXPECT_EQ(deletedFlags(), (Flags{true, false}));
    EXPECT_EQ(session.filesInLocation2(), 9);

    // A safety directory that cannot be made: nothing is deleted in its stead.
    host.directory = tree.path("unwritable");
    fs.failCreateDirectory = true;
    host.answers = {true};
    const RemovalReport report = session.removeAllLocation2Copies(host);
    EXPECT_EQ(report.count, 0);
    EXPECT_TRUE(report.failed());
    EXPECT_TRUE(OnDisk(loc2 + "b"));
    EXPECT_TRUE(fs.deleted.empty());
    ASSERT_EQ(host.kept.size(), 2u);
    EXPECT_EQ(host.kept[0].text(), "a file of that name is already in the safety directory");
    EXPECT_EQ(host.kept[1].text(), "it cannot be moved into the safety directory: Permission denied");
}

TEST_F(RemoveCommandsTest, NoCommandRemovesACopyWhosePartnerHasGone)
{
    pair("one/", "two/", "a");
    std::filesystem::remove(loc1 + "a");
    host.answers = {true, true, true};
    EXPECT_EQ(session.removeAllLocation2Copies(host).count, 0);
    EXPECT_EQ(session.removeSelectedRows({{loc2, "a"}}, Side::Location2, host).count, 0);
    EXPECT_EQ(session.removeOneFile(0, Side::Location2, host), RemoveOutcome::StillPresent);
    EXPECT_TRUE(OnDisk(loc2 + "a"));
    EXPECT_EQ(deletedFlags(), Flags{false});
    EXPECT_EQ(session.filesInLocation2(), 10);

    // A partner that became a link to the very copy about to go is no partner either.
    std::filesystem::create_symlink(loc2 + "a", loc1 + "a");
    host.answers = {true, true};
    EXPECT_EQ(session.removeAllLocation2Copies(host).count, 0);
    EXPECT_EQ(session.removeOneFile(0, Side::Location2, host), RemoveOutcome::StillPresent);
    EXPECT_TRUE(OnDisk(loc2 + "a"));
}

TEST_F(RemoveCommandsTest, WhileARemovalRunsTheSearchAndOtherRemovalsAreRefused)
{
    pair("one/", "two/", "a");
    pair("one/", "two/", "b");
    host.answers = {true};
    bool busyInside = false;
    host.onService = [&] {
        busyInside = session.busy();
        session.search(loc1, loc2, host);
        EXPECT_FALSE(session.removeAllLocation2Copies(host).ran);
        EXPECT_FALSE(session.removeSelectedRows({{loc1, "b"}}, Side::Location1, host).ran);
        EXPECT_FALSE(session.removeOneFile(1, Side::Location1, host).has_value());
    };
    session.removeAllLocation2Copies(host);
    EXPECT_TRUE(busyInside);
    EXPECT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(session.pairs().size(), 2u);
    EXPECT_TRUE(OnDisk(loc1 + "b"));
    EXPECT_FALSE(session.busy());
}

TEST_F(RemoveCommandsTest, AFailingRemovalReachesTheCallerAndHoldsNothingOff)
{
    pair("one/", "two/", "a");
    fs.beforeRemove = [](const PathString&) { throw std::runtime_error("disk on fire"); };
    host.answers = {true};
    EXPECT_THROW(session.removeSelectedRows({{loc2, "a"}}, Side::Location2, host), std::runtime_error);
    EXPECT_TRUE(host.events.empty());
    EXPECT_FALSE(session.busy());
}

TEST_F(RemoveCommandsTest, ThreeRowsOnOneLocation1FileRemoveItOnceAndMarkEveryPair)
{
    for (const char* sub : {"two/p/", "two/q/", "two/r/"})
        pair("one/", sub, "f");
    const std::vector<SelectedRow> rows(3, SelectedRow{loc1, "f"});
    host.answers = {true};
    const RemovalReport report = session.removeSelectedRows(rows, Side::Location1, host);
    EXPECT_EQ(host.messages, std::vector<std::string>{"1 files was deleted from total of 3"});
    EXPECT_EQ(report.count, 1);
    EXPECT_FALSE(OnDisk(loc1 + "f"));
    EXPECT_TRUE(OnDisk(loc2 + "p/f") && OnDisk(loc2 + "q/f") && OnDisk(loc2 + "r/f"));
    EXPECT_EQ(deletedFlags(), (Flags{true, true, true}));
    EXPECT_EQ(session.filesInLocation1(), 9);
    EXPECT_EQ(host.serviced, 3);
}

TEST_F(RemoveCommandsTest, TheSameThreeRowsFromDirectory2RemoveAllThreeCopies)
{
    for (const char* sub : {"two/p/", "two/q/", "two/r/"})
        pair("one/", sub, "f");
    host.answers = {true};
    session.removeSelectedRows({{loc2 + "p/", "f"}, {loc2 + "q/", "f"}, {loc2 + "r/", "f"}}, Side::Location2, host);
    EXPECT_EQ(host.messages, std::vector<std::string>{"3 files was deleted from total of 3"});
    EXPECT_TRUE(OnDisk(loc1 + "f"));
    EXPECT_EQ(session.filesInLocation2(), 7);

    // In single-directory mode both sides count against location 1.
    singleDirectorySearch();
    pair("one/", "one/s/", "g");
    host.answers = {true};
    session.removeSelectedRows({{loc1 + "s/", "g"}}, Side::Location2, host);
    EXPECT_EQ(session.filesInLocation1(), 9);
    EXPECT_EQ(session.filesInLocation2(), 7);
}

TEST_F(RemoveCommandsTest, SiblingsLeaveOnlyWithTheSameRecordedSizeAndDate)
{
    pair("one/", "two/p/", "f", 10, 1);
    pair("one/", "two/q/", "f", 11, 1);
    pair("one/", "two/r/", "f", 10, 2);
    pair("one/", "two/s/", "f", 10, 1);
    host.answers = {true};
    session.removeSelectedRows({{loc1, "f"}}, Side::Location1, host);
    EXPECT_EQ(deletedFlags(), (Flags{true, false, false, true}));
}

TEST_F(RemoveCommandsTest, SelectedRowsCountOnlyRemovedFilesButMarkVanishedOnesWithTheirSiblings)
{
    pair("one/", "two/p/", "gone");
    pair("one/", "two/q/", "gone");
    std::filesystem::remove(loc1 + "gone");
    pair("one/", "two/p/", "stuck");
    pair("one/", "two/q/", "stuck");
    fs.failDelete.insert(loc1 + "stuck");
    host.answers = {true};
    const RemovalReport report =
        session.removeSelectedRows({{loc1, "gone"}, {loc1, "stuck"}, {loc1, "nowhere"}}, Side::Location1, host);
    EXPECT_EQ(report.count, 0);
    EXPECT_EQ(host.messages.back(), "0 files was deleted from total of 3");
    EXPECT_EQ(deletedFlags(), (Flags{true, true, false, false}));
    EXPECT_EQ(session.filesInLocation1(), 10);
}

TEST_F(RemoveCommandsTest, DetailedViewMarksAndCountsOnlyWhenTheChosenFileIsGone)
{
    pair("one/", "two/p/", "f");
    pair("one/", "two/q/", "f");
    pair("one/", "two/", "stuck");
    fs.failDelete.insert(loc2 + "stuck");
    host.answers = {true, true};

    // A removal that failed is not reported as done.
    EXPECT_EQ(session.removeOneFile(2, Side::Location2, host), RemoveOutcome::StillPresent);
    EXPECT_EQ(deletedFlags(), (Flags{false, false, false}));
    EXPECT_EQ(session.filesInLocation2(), 10);

    EXPECT_EQ(session.removeOneFile(0, Side::Location1, host), RemoveOutcome::Removed);
    EXPECT_FALSE(OnDisk(loc1 + "f"));
    EXPECT_EQ(deletedFlags(), (Flags{true, true, false}));
    EXPECT_EQ(session.filesInLocation1(), 9);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(RemoveCommandsTest, DetailedViewOfAPairPastTheEndAsksNothingAndRemovesNothing)
{
    pair("one/", "two/", "a");
    host.answers = {true, true};
    // A view left open over a list that a new search has since shortened.
    EXPECT_FALSE(session.removeOneFile(1, Side::Location2, host).has_value());
    EXPECT_FALSE(session.removeOneFile(std::size_t(-1), Side::Location1, host).has_value());
    EXPECT_TRUE(host.questions.empty());
    EXPECT_TRUE(OnDisk(loc1 + "a") && OnDisk(loc2 + "a"));
    EXPECT_EQ(deletedFlags(), Flags{false});
    EXPECT_EQ(session.filesInLocation1(), 10);
    EXPECT_EQ(session.filesInLocation2(), 10);
}

TEST_F(RemoveCommandsTest, DetailedViewWithSafetyMovesAndNeverDeletesWhatItCannotMove)
{
    singleDirectorySearch();
    host.ticked = true;
    host.directory = tree.dir("safe");
    pair("one/", "one/a/", "f");
    pair("one/", "one/b/", "f");
    pair("one/", "one/c/", "f");
    const std::string taken = tree.file("safe" + loc1 + "b/f", 3, 0, 's');
    host.answers = {true, true, true};

    EXPECT_EQ(session.removeOneFile(0, Side::Location2, host), RemoveOutcome::Removed);
    EXPECT_TRUE(OnDisk(host.directory + loc1 + "a/f"));
    EXPECT_EQ(session.removeOneFile(1, Side::Location2, host), RemoveOutcome::StillPresent);
    EXPECT_TRUE(OnDisk(loc1 + "b/f"));
    EXPECT_EQ(ContentOf(taken), "sss");

    fs.failAllMoves = true;
    EXPECT_EQ(session.removeOneFile(2, Side::Location2, host), RemoveOutcome::StillPresent);
    EXPECT_TRUE(OnDisk(loc1 + "c/f"));
    EXPECT_EQ(deletedFlags(), (Flags{true, false, false}));
    EXPECT_EQ(session.filesInLocation1(), 9);
    EXPECT_EQ(host.kept.size(), 2u);
}

} // namespace
} // namespace twinspotter

namespace twinspotter {
namespace {

// The selected-rows removal as first described: every row scans the whole list, and every removed file scans it
// again for its siblings.
RemovalReport PlainSelectedRows(FileList& pairs, const std::vector<SelectedRow>& rows, Side side,
                                test::InstantFileSystem& disk)
{
    RemovalReport report;
    for (const SelectedRow& row : rows) {
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            FileRecord& pair = pairs[i];
            if (pair.deleted || sideDirectory(pair, side) != row.directory || pair.name != row.name)
                continue;
            const RemovalResult result = removePairFile(pair, side, {}, {}, disk);
            if (result.outcome == RemoveOutcome::Removed)
                ++report.count;
            if (result.outcome != RemoveOutcome::StillPresent) {
                pair.deleted = true;
                markSiblingsDeleted(pairs, i, side);
            }
            break;
        }
    }
    return report;
}

TEST(SelectedRowsTest, IndexedMarkingMarksAndCountsWhatThePlainScanDoes)
{
    std::mt19937 rng(20261209);
    const auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    for (int round = 0; round < 2000; ++round) {
        FileList pairs;
        std::vector<const PathString*> dirs;
        for (int d = 0; d < 3; ++d)
            dirs.push_back(pairs.addDirectory("/d" + std::to_string(d) + "/"));
        const int count = 1 + pick(40);
        for (int i = 0; i < count; ++i) {
            FileRecord pair;
            pair.directory1 = dirs[pick(3)];
            pair.directory2 = dirs[pick(3)];
            pair.name = "n" + std::to_string(pick(4));
            pair.size = pick(2);
            pair.date = pick(2);
            pair.deleted = pick(8) == 0;
            pairs.append(pair);
        }
        const Side side = pick(2) ? Side::Location1 : Side::Location2;
        // The rows as the table showed them: a contiguous run of the pairs not yet marked.
        std::vector<SelectedRow> shown;
        for (const FileRecord& pair : pairs)
            if (!pair.deleted)
                shown.push_back({sideDirectory(pair, side), pair.name});
        if (shown.empty())
            continue;
        const int top = pick(int(shown.size()));
        const std::vector<SelectedRow> rows(shown.begin() + top,
                                            shown.begin() + top + 1 + pick(int(shown.size()) - top));
        test::InstantFileSystem plainDisk, indexedDisk;
        for (const SelectedRow& row : rows)
            if (pick(5) == 0)
                plainDisk.stuck.insert(row.directory + row.name);
        indexedDisk.stuck = plainDisk.stuck;

        FileList expected = pairs;
        const RemovalReport plain = PlainSelectedRows(expected, rows, side, plainDisk);
        SearchSession session(indexedDisk);
        session.setPairs(pairs, {}, SearchMode::TwoLocations);
        test::RecordingHost host;
        host.answers = {true};
        const RemovalReport indexed = session.removeSelectedRows(rows, side, host);
        ASSERT_EQ(DeletedFlags(session.pairs()), DeletedFlags(expected)) << "round " << round;
        ASSERT_EQ(indexed.count, plain.count) << "round " << round;
    }
}

} // namespace
} // namespace twinspotter
