// The walk with listing workers against the walk without: the same catalogue, the same pairs, in the same order,
// also when folders cannot be listed or vanish during the walk; and a cancel that stops the workers.
#include "core/ListingPrefetcher.h"
#include "core/match.h"
#include "core/walk.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/SeamFileSystem.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <random>
#include <stdexcept>
#include <thread>

namespace twinspotter {
namespace {

using namespace test;

struct WalkResult
{
    std::vector<std::string> catalogue;
    std::vector<std::string> pairs;
    std::int32_t files1 = 0;
    std::int32_t files2 = 0;
};

// A tree drawn from \p seed: folders up to four deep, some beginning with a dot, files whose names repeat.
void BuildTree(TempTree& tree, unsigned seed)
{
    std::mt19937 rng(seed);
    const auto pick = [&](unsigned n) { return unsigned(rng() % n); };
    std::vector<std::string> dirs{"one", "two"};
    for (int i = 0; i < 40; ++i) {
        const std::string parent = dirs[pick(unsigned(dirs.size()))];
        if (std::count(parent.begin(), parent.end(), '/') < 4)
            dirs.push_back(parent + "/" + (pick(10) == 0 ? "." : "") + "d" + std::to_string(i));
    }
    for (const std::string& dir : dirs)
        tree.dir(dir);
    for (int i = 0; i < 300; ++i)
        tree.file(dirs[pick(unsigned(dirs.size()))] + "/f" + std::to_string(pick(60)), pick(3),
                  1300000000 + 2 * pick(2));
}

WalkResult Walk(unsigned seed, unsigned threads)
{
    TempTree tree;
    BuildTree(tree, seed);
    SeamFileSystem fs;
    // Some folders cannot be listed; some vanish once their parent has been listed.
    std::mt19937 rng(seed * 7 + 1);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(tree.root())) {
        if (!entry.is_directory())
            continue;
        const unsigned roll = unsigned(rng() % 10);
        if (roll == 0)
            fs.failList.insert(entry.path().string() + "/");
    }
    fs.afterList = [&](const PathString& dir) {
        std::error_code gone;
        for (const auto& entry : std::filesystem::directory_iterator(dir, gone))
            if (entry.is_directory() && entry.path().filename().string().ends_with("7"))
                std::filesystem::remove_all(entry.path());
    };
    RecordingHost host;
    const bool canceled = false;
    WalkEnv env{fs, host, canceled, threads};
    WalkResult result;
    Catalogue catalogue;
    catalogueTree(catalogue, tree.path("one"), result.files1, env);
    FileList pairs(catalogue.pool());
    matchTreeAgainstCatalogue(catalogue, pairs, tree.path("two"), result.files2, env);
    const std::size_t prefix = tree.root().size();
    for (const FileRecord& r : catalogue)
        result.catalogue.push_back(r.dir1().substr(prefix) + r.name + " " + std::to_string(r.size));
    for (const FileRecord& p : pairs)
        result.pairs.push_back(p.dir1().substr(prefix) + " " + p.dir2().substr(prefix) + p.name);
    return result;
}

TEST(ParallelWalkTest, WorkersChangeNothingTheWalkFindsNorItsOrder)
{
    std::size_t paired = 0;
    for (unsigned seed = 1; seed <= 30; ++seed) {
        const WalkResult alone = Walk(seed, 1);
        paired += alone.pairs.size();
        for (const unsigned threads : {2u, 8u}) {
            const WalkResult helped = Walk(seed, threads);
            ASSERT_EQ(helped.catalogue, alone.catalogue) << "seed " << seed << ", " << threads << " threads";
            ASSERT_EQ(helped.pairs, alone.pairs) << "seed " << seed << ", " << threads << " threads";
            ASSERT_EQ(helped.files1, alone.files1);
            ASSERT_EQ(helped.files2, alone.files2);
        }
    }
    EXPECT_GT(paired, 100u) << "the generated trees hardly pair";
}

TEST(ParallelWalkTest, ListingsThatWaitGetMoreThreadsAndTheSameOrder)
{
    TempTree tree;
    for (int d = 0; d < 150; ++d)
        tree.file("loc/d" + std::to_string(d % 10) + "/e" + std::to_string(d) + "/f" + std::to_string(d % 7), 1);
    const auto walk = [&](unsigned threads, int& mostAtOnce) {
        SeamFileSystem fs;
        fs.listingDelay = std::chrono::milliseconds(2); // a network mount: the cores idle while listings wait
        RecordingHost host;
        const bool canceled = false;
        WalkEnv env{fs, host, canceled, threads};
        Catalogue catalogue;
        std::int32_t count = 0;
        catalogueTree(catalogue, tree.path("loc"), count, env);
        mostAtOnce = fs.mostListingsAtOnce;
        std::vector<std::string> names;
        for (const FileRecord& r : catalogue)
            names.push_back(r.dir1() + r.name);
        return names;
    };
    int alone = 0;
    int helped = 0;
    const std::vector<std::string> expected = walk(1, alone);
    EXPECT_EQ(walk(2, helped), expected);
    EXPECT_EQ(alone, 1);
    EXPECT_GT(helped, 2) << "listings that wait must not be held to one per core";
}

TEST(ParallelWalkTest, ACancelStopsTheWalkAndItsWorkers)
{
    TempTree tree;
    for (int d = 0; d < 200; ++d)
        tree.file("loc/d" + std::to_string(d) + "/sub/f", 1);
    SeamFileSystem fs;
    RecordingHost host;
    bool canceled = false;
    host.onService = [&] { canceled = host.serviced > 20; };
    WalkEnv env{fs, host, canceled, 8};
    Catalogue catalogue;
    std::int32_t count = 0;
    catalogueTree(catalogue, tree.path("loc"), count, env);
    EXPECT_LT(catalogue.size(), 200u);
    // Every worker has returned by now: nothing lists behind the walk's back.
    const std::size_t listed = fs.listed.size();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(fs.listed.size(), listed);
}

TEST(ParallelWalkTest, AnErrorWhileAFolderIsListedReachesTheWalk)
{
    TempTree tree;
    for (int d = 0; d < 20; ++d)
        tree.file("loc/d" + std::to_string(d) + "/f", 1);
    // Whichever thread lists the folder, the walk must fail rather than take its subtree for empty.
    for (const unsigned threads : {1u, 4u}) {
        SeamFileSystem fs;
        fs.afterList = [&](const PathString& dir) {
            if (dir == tree.path("loc/d13/"))
                throw std::runtime_error("input/output error");
        };
        RecordingHost host;
        const bool canceled = false;
        WalkEnv env{fs, host, canceled, threads};
        Catalogue catalogue;
        std::int32_t count = 0;
        EXPECT_THROW(catalogueTree(catalogue, tree.path("loc"), count, env), std::runtime_error) << threads;
    }
}

TEST(ParallelWalkTest, AFolderSwappedForALinkDuringTheWalkIsNotFollowed)
{
    for (const unsigned threads : {1u, 4u}) {
        TempTree tree;
        tree.file("loc/sub/inner/f", 1);
        tree.file("outside/secret", 1);
        tree.file("outside/deeper/secret", 1);
        SeamFileSystem fs;
        // Once the location has been listed, before any of its folders is.
        fs.afterList = [&](const PathString& dir) {
            if (dir != tree.path("loc/"))
                return;
            std::filesystem::rename(tree.path("loc/sub"), tree.path("moved"));
            std::filesystem::create_directory_symlink(tree.path("outside"), tree.path("loc/sub"));
        };
        RecordingHost host;
        const bool canceled = false;
        WalkEnv env{fs, host, canceled, threads};
        Catalogue catalogue;
        std::int32_t count = 0;
        catalogueTree(catalogue, tree.path("loc"), count, env);
        EXPECT_EQ(catalogue.size(), 0u) << threads << " threads walked into " << catalogue[0].dir1();
    }
}

// Counts what the listings returned, whichever thread made them.
class CountingDisk : public SeamFileSystem
{
public:
    std::atomic<std::size_t> listings{0};
    std::atomic<std::size_t> entries{0};
    bool listSubdirectory(const OpenedDirectory* parent, std::string_view name, const PathString& dir,
                          std::vector<DirEntry>& out, std::shared_ptr<OpenedDirectory>* keep) override
    {
        const bool ok = SeamFileSystem::listSubdirectory(parent, name, dir, out, keep);
        entries += out.size();
        ++listings;
        return ok;
    }
};

TEST(ListingPrefetcherTest, ListingAheadStaysWithinItsBoundGoesOnAsTheWalkTakesAndSkipsDotFolders)
{
    TempTree tree;
    constexpr std::size_t kBound = 8;
    constexpr unsigned kThreads = 3;
    constexpr std::size_t kFolders = 30;
    for (std::size_t d = 0; d < kFolders; ++d)
        for (int f = 0; f < 4; ++f)
            tree.file("loc/d" + std::to_string(d) + "/f" + std::to_string(f), 1);
    tree.file("loc/.hidden/f", 1);
    tree.file("loc/d0/.cache/f", 1);
    CountingDisk disk;
    const std::string root = tree.path("loc/");
    std::size_t taken = 0;
    std::size_t mostAhead = 0;
    {
        ListingPrefetcher ahead(disk, root, kThreads, kThreads, 1, kBound);
        // After each take the workers fill the room again up to the bound, or list all there is.
        const auto filled = [&] {
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (disk.entries - taken < kBound && disk.listings < kFolders + 1) {
                if (std::chrono::steady_clock::now() > until)
                    return false;
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            return true;
        };
        std::function<void(const std::string&)> walk = [&](const std::string& dir) {
            if (HasFatalFailure())
                return;
            std::vector<DirEntry> entries;
            ASSERT_TRUE(ahead.take(dir, entries)) << dir;
            taken += entries.size();
            ASSERT_TRUE(filled()) << "nothing was listed ahead after " << dir << " was taken";
            if (dir == root)
                std::this_thread::sleep_for(std::chrono::milliseconds(100)); // time for workers that overrun
            if (dir != root)
                mostAhead = std::max(mostAhead, disk.entries - taken);
            for (const DirEntry& entry : entries)
                if (entry.isDirectory && entry.name[0] != '.')
                    walk(dir + entry.name + "/");
        };
        walk(root);
        if (HasFatalFailure())
            return;
    }
    EXPECT_EQ(taken, 4 * kFolders + 2 + kFolders);
    // A listing starts only below the bound, and each of the threads may finish one more of five entries.
    EXPECT_LE(mostAhead, kBound - 1 + kThreads * 5);
    for (const PathString& dir : disk.listed)
        EXPECT_EQ(dir.find("/."), PathString::npos) << dir << " was listed, but the walk never enters it";
}

} // namespace
} // namespace twinspotter
