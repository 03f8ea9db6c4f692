// The safety directory's path rule and default, and the removal of one file with its three outcomes.
#include "core/remove.h"
#include "tests/core/RemoveTestSupport.h"

namespace twinspotter {
namespace {

using namespace test;

TEST(RemoveFileTest, SafetyTargetMirrorsTheFilesAbsolutePathUnderTheSafetyDirectory)
{
    CwdFileSystem fs;
    EXPECT_EQ(safetyTargetPath("/data/photos/2009/a.jpg", "/home/ann/Savedir", fs),
              "/home/ann/Savedir/data/photos/2009/a.jpg");
    // Plain concatenation: a separator at the end of the safety directory stays.
    EXPECT_EQ(safetyTargetPath("/data/a.jpg", "/safe/", fs), "/safe//data/a.jpg");
    // A location typed relative to the working directory is mirrored by its absolute path.
    EXPECT_EQ(safetyTargetPath("photos/a.jpg", "/safe", fs), "/safe/home/ann/photos/a.jpg");
    fs.cwd = "/";
    EXPECT_EQ(safetyTargetPath("photos/a.jpg", "/safe", fs), "/safe/photos/a.jpg");
    // ".." never climbs out of the safety directory.
    EXPECT_EQ(safetyTargetPath("/../../etc/./passwd", "/safe", fs), "/safe/etc/passwd");
    fs.cwd = "/home/ann";
    EXPECT_EQ(safetyTargetPath("../../../x/a.jpg", "/safe", fs), "/safe/x/a.jpg");
}

TEST(RemoveFileTest, DefaultSafetyDirectoryFollowsTheWorkingDirectoryAndABrowsedOneIsKept)
{
    CwdFileSystem fs;
    EXPECT_EQ(defaultSafetyDirectory(fs), "/home/ann/Savedir");
    EXPECT_EQ(safetyDirectoryOnTick("", fs), "/home/ann/Savedir");
    EXPECT_EQ(safetyDirectoryOnTick("/media/backup", fs), "/media/backup");
    fs.cwd = "/";
    EXPECT_EQ(defaultSafetyDirectory(fs), "//Savedir");
}

TEST(RemoveFileTest, SavedirChangeCreatesOnlyTheLastLevelAndFailsSilently)
{
    TempTree tree;
    SeamFileSystem fs;
    ensureSafetyDirectory(tree.path("Savedir"), fs);
    EXPECT_TRUE(fs.isDirectory(tree.path("Savedir")));
    const std::string kept = tree.file("Savedir/kept", 3);
    ensureSafetyDirectory(tree.path("Savedir"), fs);
    EXPECT_TRUE(OnDisk(kept));
    ensureSafetyDirectory(tree.path("missing/Savedir"), fs);
    EXPECT_FALSE(OnDisk(tree.path("missing")));
}

class RemovePairFileTest : public RemoveFixture
{
protected:
    RemovalResult remove(std::size_t index, const RemovalTarget& target)
    {
        return removePairFile(session.pairs()[index], Side::Location2, target, {}, fs);
    }
};

TEST_F(RemovePairFileTest, DeletesOrMovesAndKeepsWhatTheSafetyDirectoryCannotTake)
{
    const RemovalTarget off = Delete{};
    const std::string safe = tree.path("safe");
    const RemovalTarget on = MoveToSafetyDirectory{safe};
    pair("one/", "data/", "plain.txt");
    EXPECT_EQ(remove(0, off).outcome, RemoveOutcome::Removed);
    EXPECT_FALSE(OnDisk(tree.path("data/plain.txt")));
    EXPECT_EQ(remove(0, off).outcome, RemoveOutcome::Gone);

    // Moved into the mirrored path, the missing directories made on the way.
    const std::string photo = tree.path("data/photos/2009/a.jpg");
    pair("one/", "data/photos/2009/", "a.jpg");
    EXPECT_EQ(remove(1, on).outcome, RemoveOutcome::Removed);
    EXPECT_FALSE(OnDisk(photo));
    EXPECT_EQ(ContentOf(safe + photo), std::string(10, 'g'));

    // The same path again: the place is taken, so the file stays and the saved one is untouched.
    pair("one/", "data/photos/2009/", "a.jpg");
    const RemovalResult taken = remove(2, on);
    EXPECT_EQ(taken.outcome, RemoveOutcome::StillPresent);
    EXPECT_EQ(taken.reason, KeepReason::TargetTaken);
    EXPECT_TRUE(OnDisk(photo));

    // A safety directory that refuses the move: the file stays, and so it does when its delete is refused.
    fs.failAllMoves = true;
    const RemovalResult refused = remove(2, on);
    EXPECT_EQ(refused.reason, KeepReason::MoveFailed);
    EXPECT_EQ(refused.error, EACCES);
    fs.failDelete.insert(photo);
    EXPECT_EQ(remove(2, off).reason, KeepReason::DeleteFailed);
    EXPECT_TRUE(OnDisk(photo));
    EXPECT_TRUE(fs.deleted.size() == 1 && fs.deleted[0] == tree.path("data/plain.txt"));
}

} // namespace
} // namespace twinspotter
