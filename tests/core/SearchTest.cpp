// The search command's sequence: its steps in order, what a cancel or a failure leaves, and the row mapping.
#include "core/MainFormState.h"
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

TEST(SearchTest, StepsRunInOrderAndTheCountLabelComesLast)
{
    TempTree tree;
    MakeDuplicates(tree, 3);
    MainFormState state;
    RecordingHost host;
    state.edtStartDir2Change(tree.path("two"));
    state.ButtonfindClick(tree.path("one"), tree.path("two"), host);
    EXPECT_EQ(host.events, (std::vector<std::string>{"started", "phase:Readin files form location 1",
                                                     "phase:Looking for duplicates ...", "rebuild",
                                                     "count:Doublicates found: 3", "ended"}));
    EXPECT_FALSE(state.busy());
    EXPECT_EQ(state.countallfiles1, 3);
    EXPECT_EQ(state.countallfiles2, 3);
}

TEST(SearchTest, ModeFollowsTheLocationTwoText)
{
    MainFormState state;
    EXPECT_TRUE(state.SameDir);
    state.edtStartDir2Change("x");
    EXPECT_FALSE(state.SameDir);
    state.edtStartDir2Change("");
    EXPECT_TRUE(state.SameDir);
}

TEST(SearchTest, CancelDuringTheWalkLeavesAnEmptyListAndStillCounts)
{
    TempTree tree;
    MakeDuplicates(tree, 3);
    MainFormState state;
    RecordingHost host;
    state.edtStartDir2Change(tree.path("two"));
    state.ButtonfindClick(tree.path("one"), tree.path("two"), host);
    ASSERT_EQ(state.FCompared.size(), 3u);

    host.events.clear();
    host.onService = [&] { state.btnCancelClick(); };
    state.ButtonfindClick(tree.path("one"), tree.path("two"), host);
    EXPECT_TRUE(state.FCompared.empty());
    EXPECT_EQ(host.events.back(), "ended");
    EXPECT_EQ(host.events[host.events.size() - 2], "count:Doublicates found: 0");
    EXPECT_TRUE(state.FCanceled) << "the request stays until the next search clears it";
}

TEST(SearchTest, PreviousPairsStayUntilTheCatalogueIsComplete)
{
    TempTree tree;
    MakeDuplicates(tree, 2);
    MainFormState state;
    RecordingHost host;
    state.edtStartDir2Change(tree.path("two"));
    state.ButtonfindClick(tree.path("one"), tree.path("two"), host);
    std::size_t seenDuringCatalogue = 0;
    host.onService = [&] {
        if (host.phases.back() == "Readin files form location 1")
            seenDuringCatalogue = state.FCompared.size();
    };
    state.ButtonfindClick(tree.path("one"), tree.path("two"), host);
    EXPECT_EQ(seenDuringCatalogue, 2u);
}

TEST(SearchTest, AFailureStillEndsTheSearchAndReachesTheCaller)
{
    TempTree tree;
    MakeDuplicates(tree, 1);
    MainFormState state;
    RecordingHost host;
    host.onService = [] { throw std::runtime_error("out of memory"); };
    EXPECT_THROW(state.ButtonfindClick(tree.path("one"), {}, host), std::runtime_error);
    EXPECT_EQ(host.events.back(), "ended");
    EXPECT_FALSE(state.busy());
}

TEST(SearchTest, ASearchNeverStartsInsideARunningOne)
{
    TempTree tree;
    MakeDuplicates(tree, 1);
    MainFormState state;
    RecordingHost host;
    int starts = 0;
    host.onService = [&] {
        starts = int(std::count(host.events.begin(), host.events.end(), "started"));
        state.ButtonfindClick(tree.path("one"), {}, host);
    };
    state.ButtonfindClick(tree.path("one"), {}, host);
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(std::count(host.events.begin(), host.events.end(), "started"), 1);
}

TEST(SearchTest, RowsMapToPairsNotMarkedDeleted)
{
    MainFormState state;
    for (int i = 0; i < 5; ++i) {
        FileRecord pair;
        pair.name = "p" + std::to_string(i);
        state.FCompared.append(pair);
    }
    state.FCompared[1].deleted = true;
    EXPECT_EQ(state.PairIndexOfRow(0), 0u);
    EXPECT_EQ(state.PairIndexOfRow(1), 2u);
    EXPECT_EQ(state.PairIndexOfRow(2), 3u);
    EXPECT_EQ(state.PairIndexOfRow(3), 4u);
    EXPECT_EQ(state.PairIndexOfRow(4), 0u) << "a row past the end falls back to the first pair";
}
