// The search command's sequence: its steps in order, what a cancel or a failure leaves, and the row mapping.
#include "core/SearchSession.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/SeamFileSystem.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace twinspotter;
using namespace twinspotter::test;

namespace {

void MakeDuplicates(TempTree& tree, int count)
{
    for (int i = 0; i < count; ++i) {
        tree.file("one/f" + std::to_string(i), 3);
        tree.file("two/f" + std::to_string(i), 3);
    }
}

} // namespace

TEST(SearchTest, PhasesRunInOrderAndTheReportSaysWhatWasFound)
{
    TempTree tree;
    MakeDuplicates(tree, 3);
    SearchSession session;
    RecordingHost host;
    const SearchReport report = session.search(tree.path("one"), tree.path("two"), host);
    EXPECT_EQ(host.phases, (std::vector<Phase>{Phase::Cataloguing, Phase::Matching}));
    EXPECT_TRUE(report.ran);
    EXPECT_FALSE(report.cancelled);
    EXPECT_EQ(report.pairs, 3u);
    EXPECT_FALSE(session.busy());
    EXPECT_EQ(session.filesInLocation1(), 3);
    EXPECT_EQ(session.filesInLocation2(), 3);
}

TEST(SearchTest, TheModeFollowsTheLocationsASearchIsGiven)
{
    TempTree tree;
    tree.file("one/a", 3);
    tree.file("two/a", 3);
    SearchSession session;
    RecordingHost host;
    // Two locations and nothing else: a search of location 2 against location 1.
    EXPECT_EQ(session.search(tree.path("one"), tree.path("two"), host).pairs, 1u);
    EXPECT_EQ(session.filesInLocation2(), 1);
    EXPECT_EQ(session.search(tree.path(""), {}, host).pairs, 1u);
    EXPECT_EQ(session.filesInLocation2(), 0);
}

TEST(SearchTest, CancelDuringTheWalkLeavesAnEmptyListAndStillCounts)
{
    TempTree tree;
    MakeDuplicates(tree, 3);
    SearchSession session;
    RecordingHost host;
    session.search(tree.path("one"), tree.path("two"), host);
    ASSERT_EQ(session.pairs().size(), 3u);

    host.onService = [&] { session.cancel(); };
    const SearchReport report = session.search(tree.path("one"), tree.path("two"), host);
    EXPECT_TRUE(session.pairs().empty());
    EXPECT_TRUE(report.cancelled);
    EXPECT_EQ(report.pairs, 0u);
    EXPECT_TRUE(session.cancelRequested()) << "the request stays until the next search clears it";
}

TEST(SearchTest, PreviousPairsStayUntilTheCatalogueIsComplete)
{
    TempTree tree;
    MakeDuplicates(tree, 2);
    SearchSession session;
    RecordingHost host;
    session.search(tree.path("one"), tree.path("two"), host);
    std::size_t seenDuringCatalogue = 0;
    host.onService = [&] {
        if (host.phases.back() == Phase::Cataloguing)
            seenDuringCatalogue = session.pairs().size();
    };
    session.search(tree.path("one"), tree.path("two"), host);
    EXPECT_EQ(seenDuringCatalogue, 2u);
}

TEST(SearchTest, AFailureStillEndsTheSearchAndReachesTheCaller)
{
    TempTree tree;
    MakeDuplicates(tree, 1);
    SearchSession session;
    RecordingHost host;
    host.onService = [] { throw std::runtime_error("out of memory"); };
    EXPECT_THROW(session.search(tree.path("one"), {}, host), std::runtime_error);
    EXPECT_FALSE(session.busy());
}

TEST(SearchTest, ASearchNeverStartsInsideARunningOne)
{
    TempTree tree;
    MakeDuplicates(tree, 1);
    SearchSession session;
    RecordingHost host;
    bool innerRan = true;
    host.onService = [&] { innerRan = session.search(tree.path("one"), {}, host).ran; };
    EXPECT_TRUE(session.search(tree.path("one"), {}, host).ran);
    EXPECT_FALSE(innerRan);
    EXPECT_EQ(std::count(host.phases.begin(), host.phases.end(), Phase::Cataloguing), 1);
}

TEST(SearchTest, RowsMapToPairsNotMarkedDeleted)
{
    SearchSession session;
    for (int i = 0; i < 5; ++i) {
        FileRecord pair;
        pair.name = "p" + std::to_string(i);
        session.pairs().append(pair);
    }
    session.pairs()[1].deleted = true;
    EXPECT_EQ(session.pairIndexOfRow(0), 0u);
    EXPECT_EQ(session.pairIndexOfRow(1), 2u);
    EXPECT_EQ(session.pairIndexOfRow(2), 3u);
    EXPECT_EQ(session.pairIndexOfRow(3), 4u);
    EXPECT_EQ(session.pairIndexOfRow(4), 0u) << "a row past the end falls back to the first pair";
}
