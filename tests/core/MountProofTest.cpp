// One file seen through two mounts must never be removed as its own copy: overlays with inode numbers and times of
// their own, and a FUSE mirror of a local folder. Real mounts in a mount namespace of this test's own.
#include "tests/core/RemoveTestSupport.h"

#include <sys/mount.h>
#include <sys/wait.h>

#include <cstring>
#include <filesystem>

namespace twinspotter {
namespace {

using namespace test;
namespace fs = std::filesystem;

class MountProofTest : public ::testing::Test
{
protected:
    TempTree tree;
    SeamFileSystem disk;
    SearchSession session{disk};
    RemoveHost host;
    std::vector<std::string> mounted;

    void TearDown() override
    {
        for (auto at = mounted.rbegin(); at != mounted.rend(); ++at)
            umount2(at->c_str(), MNT_DETACH);
    }

    bool mountHere(const char* type, const std::string& at, const std::string& options = {})
    {
        if (mount(type, at.c_str(), type, 0, options.empty() ? nullptr : options.c_str()) != 0)
            return false;
        mounted.push_back(at);
        return true;
    }

    /// Removes every location-2 copy of a fresh search of the two locations; returns how many went.
    int removeLocation2Copies(const std::string& location1, const std::string& location2)
    {
        session.setLocation2(location2);
        session.search(location1, location2, host);
        host.answers = {true};
        return session.removeAllLocation2Copies(host).count;
    }

    std::vector<std::string> keptTexts() const
    {
        std::vector<std::string> texts;
        for (const KeptFile& file : host.kept)
            texts.push_back(file.text());
        return texts;
    }
};

TEST_F(MountProofTest, AnOverlayWithInodeNumbersOfItsOwnNeverStandsInForItsLayers)
{
    if (!PrivateMounts())
        GTEST_SKIP() << "mounting needs root and a mount namespace of our own";
    // Layers on two other file systems, so that the overlay numbers its inodes itself (xino).
    const std::string lower = tree.dir("lower");
    const std::string upper = tree.dir("upper");
    if (!mountHere("tmpfs", lower) || !mountHere("tmpfs", upper))
        GTEST_SKIP() << "no tmpfs here: " << std::strerror(errno);
    tree.file("lower/photo.jpg", 9, 0, 'p');
    tree.file("lower/sub/chmodded.jpg", 9, 0, 'c');
    const std::string merged = tree.dir("merged");
    const std::string options = "lowerdir=" + lower + ",upperdir=" + tree.dir("upper/u") +
                                ",workdir=" + tree.dir("upper/w") + ",xino=on,metacopy=on";
    if (!mountHere("overlay", merged, options))
        GTEST_SKIP() << "no overlay with xino and metacopy here: " << std::strerror(errno);
    // A metadata-only copy-up: the merged file's data still lives in the lower layer alone.
    ASSERT_EQ(chmod((merged + "/sub/chmodded.jpg").c_str(), 0600), 0);
    tree.file("merged/edited.jpg", 9, 0, 'e');

    EXPECT_EQ(removeLocation2Copies(merged, lower), 0);
    EXPECT_EQ(keptTexts(), std::vector<std::string>(2, "it may be the same file as its partner, seen through another "
                                                       "mount"));
    EXPECT_EQ(ContentOf(merged + "/sub/chmodded.jpg"), std::string(9, 'c'));
    EXPECT_TRUE(OnDisk(lower + "/photo.jpg"));

    // The upper layer against the merged view holds the only copy of an edit.
    host.kept.clear();
    EXPECT_EQ(removeLocation2Copies(merged, upper + "/u"), 0);
    EXPECT_TRUE(OnDisk(upper + "/u/edited.jpg"));
    EXPECT_EQ(ContentOf(merged + "/edited.jpg"), std::string(9, 'e'));
}

TEST_F(MountProofTest, AMirrorWithTimesOfItsOwnIsCaughtByMovingTheCopyAndATrueCopyStillGoes)
{
    if (!PrivateMounts())
        GTEST_SKIP() << "mounting needs root and a mount namespace of our own";
    if (std::system("command -v bindfs >/dev/null") != 0)
        GTEST_SKIP() << "bindfs is not installed";
    const std::string real = tree.dir("real");
    const std::string mirror = tree.dir("mirror");
    // The mirror reports each change time as the modification time, so no identity rule can tie the two together.
    if (std::system(("bindfs --ctime-from-mtime " + real + " " + mirror).c_str()) != 0)
        GTEST_SKIP() << "bindfs cannot mount here";
    mounted.push_back(mirror);
    tree.file("real/x.txt", 8, 1'000'000'000, 'x');

    EXPECT_EQ(removeLocation2Copies(mirror, real), 0);
    EXPECT_EQ(removeLocation2Copies(real, mirror), 0);
    EXPECT_EQ(keptTexts(), std::vector<std::string>(2, "it may be the same file as its partner, seen through another "
                                                       "mount"));
    EXPECT_EQ(ContentOf(real + "/x.txt"), std::string(8, 'x'));
    EXPECT_EQ(std::distance(fs::directory_iterator(real), fs::directory_iterator()), 1) << "a held name is left";

    // A real second copy on another file system passes the same proof and goes.
    const std::string other = tree.dir("other");
    ASSERT_TRUE(mountHere("tmpfs", other));
    tree.file("other/x.txt", 8, 1'000'000'000, 'x');
    host.kept.clear();
    EXPECT_EQ(removeLocation2Copies(real, other), 1);
    EXPECT_TRUE(host.kept.empty()) << host.kept.front().text();
    EXPECT_TRUE(fs::is_empty(other));
    EXPECT_TRUE(OnDisk(real + "/x.txt"));
}

} // namespace
} // namespace twinspotter
