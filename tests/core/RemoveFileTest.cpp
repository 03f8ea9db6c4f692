// The safety directory's path rule and default, and the removal of one file with its three outcomes.
#include "core/remove.h"
#include "tests/core/RemoveTestSupport.h"

namespace twinspotter {
namespace {

using namespace test;

TEST(RemoveFileTest, SafetyTargetMirrorsTheFilesAbsolutePathUnderTheSafetyDirectory)
{
    CwdFileSystem fs;
    EXPECT_EQ(SafetyTargetPath("/data/photos/2009/a.jpg", "/home/ann/Savedir", fs),
              "/home/ann/Savedir/data/photos/2009/a.jpg");
    // Plain concatenation: a separator at the end of the safety directory stays.
    EXPECT_EQ(SafetyTargetPath("/data/a.jpg", "/safe/", fs), "/safe//data/a.jpg");
    // A location typed relative to the working directory is mirrored by its absolute path.
    EXPECT_EQ(SafetyTargetPath("photos/a.jpg", "/safe", fs), "/safe/home/ann/photos/a.jpg");
    fs.cwd = "/";
    EXPECT_EQ(SafetyTargetPath("photos/a.jpg", "/safe", fs), "/safe/photos/a.jpg");
    // ".." never climbs out of the safety directory.
    EXPECT_EQ(SafetyTargetPath("/../../etc/./passwd", "/safe", fs), "/safe/etc/passwd");
    fs.cwd = "/home/ann";
    EXPECT_EQ(SafetyTargetPath("../../../x/a.jpg", "/safe", fs), "/safe/x/a.jpg");
}

TEST(RemoveFileTest, DefaultSafetyDirectoryFollowsTheWorkingDirectoryAndABrowsedOneIsKept)
{
    CwdFileSystem fs;
    EXPECT_EQ(DefaultSafetyDirectory(fs), "/home/ann/Savedir");
    EXPECT_EQ(SafetyDirectoryOnTick("", fs), "/home/ann/Savedir");
    EXPECT_EQ(SafetyDirectoryOnTick("/media/backup", fs), "/media/backup");
    fs.cwd = "/";
    EXPECT_EQ(DefaultSafetyDirectory(fs), "//Savedir");
}

TEST(RemoveFileTest, SavedirChangeCreatesOnlyTheLastLevelAndFailsSilently)
{
    TempTree tree;
    SeamFileSystem fs;
    edtSavedirChange(tree.path("Savedir"), fs);
    EXPECT_TRUE(fs.isDirectory(tree.path("Savedir")));
    const std::string kept = tree.file("Savedir/kept", 3);
    edtSavedirChange(tree.path("Savedir"), fs);
    EXPECT_TRUE(OnDisk(kept));
    edtSavedirChange(tree.path("missing/Savedir"), fs);
    EXPECT_FALSE(OnDisk(tree.path("missing")));
}

TEST(RemoveFileTest, RemovePairFileMovesDeletesOrReportsWhatIsLeft)
{
    TempTree tree;
    SeamFileSystem fs;
    const SafetyOption off;
    const SafetyOption on{true, tree.path("safe")};

    const std::string plain = tree.file("data/plain.txt", 4);
    EXPECT_EQ(RemovePairFile(plain, off, fs), RemoveOutcome::Removed);
    EXPECT_FALSE(OnDisk(plain));
    EXPECT_EQ(RemovePairFile(plain, off, fs), RemoveOutcome::Gone);

    // Moved into the mirrored path, the missing directories made on the way.
    const std::string photo = tree.file("data/photos/2009/a.jpg", 5, 0, 'a');
    EXPECT_EQ(RemovePairFile(photo, on, fs), RemoveOutcome::Removed);
    EXPECT_FALSE(OnDisk(photo));
    EXPECT_EQ(ContentOf(on.directory + photo), "aaaaa");

    // The same path again: the target is taken, so the file is deleted in place and the saved one kept.
    tree.file("data/photos/2009/a.jpg", 7, 0, 'b');
    EXPECT_EQ(RemovePairFile(photo, on, fs), RemoveOutcome::Removed);
    EXPECT_FALSE(OnDisk(photo));
    EXPECT_EQ(ContentOf(on.directory + photo), "aaaaa");

    // An unwritable safety directory: every move fails and the file goes in place.
    fs.failAllMoves = true;
    const std::string other = tree.file("data/other.txt", 4);
    EXPECT_EQ(RemovePairFile(other, on, fs), RemoveOutcome::Removed);
    EXPECT_EQ(fs.deleted.back(), other);

    fs.failDelete.insert(other);
    tree.file("data/other.txt", 4);
    EXPECT_EQ(RemovePairFile(other, on, fs), RemoveOutcome::StillPresent);
    EXPECT_TRUE(OnDisk(other));
}

} // namespace
} // namespace twinspotter
