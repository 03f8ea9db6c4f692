// The scanner's bulk removal, run as a user or a script runs it: with --yes, on a terminal, and refused without one.
#include "tests/support/RunProgram.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>

using namespace twinspotter::test;

namespace {

ProgramResult Scan(std::vector<std::string> args)
{
    args.insert(args.begin(), TWINSPOTTER_SCAN_BINARY);
    return RunProgram(args);
}

bool OnDisk(const std::string& path)
{
    struct stat st
    {
    };
    return lstat(path.c_str(), &st) == 0;
}

const std::time_t kNoon = LocalTime(2011, 3, 7, 12, 0, 0);

// Two duplicates and a file of location 2 with no partner.
void MakeTwoLocations(TempTree& tree)
{
    tree.file("one/a.jpg", 5, kNoon);
    tree.file("two/a.jpg", 5, kNoon);
    tree.file("one/b.txt", 3, kNoon);
    tree.file("two/sub/b.txt", 3, kNoon);
    tree.file("two/lonely", 1, kNoon);
}

// Runs the scanner on a pseudo-terminal, answers its question with \p answer (after \p whileAsking), and returns its
// exit status and everything it wrote; -1 when it did not ask within a few seconds.
int ScanOnTerminal(const std::vector<std::string>& args, const std::string& answer, std::string& transcript,
                   const std::function<void()>& whileAsking = {})
{
    std::vector<std::string> argv{TWINSPOTTER_SCAN_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0)
        return -1;
    if (pid == 0) {
        std::vector<char*> raw;
        for (std::string& a : argv)
            raw.push_back(a.data());
        raw.push_back(nullptr);
        execv(raw[0], raw.data());
        _exit(127);
    }
    bool answered = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    char buffer[4096];
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0)
            break; // EIO once the child has closed the terminal
        transcript.append(buffer, static_cast<std::size_t>(n));
        if (!answered && transcript.find("[y/N] ") != std::string::npos) {
            if (whileAsking)
                whileAsking();
            const std::string line = answer + "\n";
            answered = write(master, line.data(), line.size()) == static_cast<ssize_t>(line.size());
        }
    }
    close(master);
    int status = 0;
    waitpid(pid, &status, 0);
    return answered && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(ScanRemoveTest, DeleteLocation2WithYesRemovesEveryLocation2CopyAndEndsWithTheCount)
{
    TempTree tree;
    MakeTwoLocations(tree);
    // Pairs that cannot be written are no record of what would go: nothing goes.
    const ProgramResult full = RunProgram({"/bin/sh", "-c",
                                           std::string(TWINSPOTTER_SCAN_BINARY) + " --delete-location2 --yes '" +
                                               tree.path("one") + "' '" + tree.path("two") + "' >/dev/full"});
    EXPECT_EQ(full.status, 1) << full.err;
    EXPECT_TRUE(OnDisk(tree.path("two/a.jpg")) && OnDisk(tree.path("two/sub/b.txt"))) << full.err;

    const ProgramResult r = Scan({"--delete-location2", "--yes", tree.path("one"), tree.path("two")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2) << r.out;
    EXPECT_TRUE(r.err.ends_with("files in location 1: 2\nfiles in location 2: 1\npairs: 2\n"
                                "2 files was deleted from total of 2\n"))
        << r.err;
    EXPECT_FALSE(OnDisk(tree.path("two/a.jpg")) || OnDisk(tree.path("two/sub/b.txt")));
    EXPECT_TRUE(OnDisk(tree.path("one/a.jpg")) && OnDisk(tree.path("one/b.txt")) && OnDisk(tree.path("two/lonely")));

    // Single-directory mode removes the second file of each pair and lowers the location-1 count.
    tree.file("one/sub/a.jpg", 5, kNoon);
    tree.file("two/b.txt", 3, kNoon);
    const ProgramResult single = Scan({"--delete-location2", "--yes", tree.path("")});
    ASSERT_EQ(single.status, 0) << single.err;
    EXPECT_TRUE(single.err.ends_with("files in location 1: 3\nfiles in location 2: 0\npairs: 2\n"
                                     "2 files was deleted from total of 2\n"))
        << single.err;
    EXPECT_NE(OnDisk(tree.path("one/a.jpg")), OnDisk(tree.path("one/sub/a.jpg")));
    EXPECT_NE(OnDisk(tree.path("one/b.txt")), OnDisk(tree.path("two/b.txt")));
}

TEST(ScanRemoveTest, SafetyDirReceivesTheCopiesUnderTheirOwnPathsAndKeepsWhatItCannotTake)
{
    TempTree tree;
    MakeTwoLocations(tree);
    tree.file("safe" + tree.path("two/sub/b.txt"), 9, 0, 's');
    // A relative DIR names a directory under the working directory, here the tree's root.
    const ProgramResult r = RunProgram({"/usr/bin/env", "-C", tree.root(), TWINSPOTTER_SCAN_BINARY,
                                        "--delete-location2", "--safety-dir", "safe", "--yes", "one", "two"});
    // The place of b.txt was taken: the copy stays where it is, is named with the reason, and the run fails.
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(r.err.ends_with("not removed: two/sub/b.txt: a file of that name is already in the safety directory\n"
                                "files in location 1: 2\nfiles in location 2: 2\npairs: 2\n"
                                "1 files was deleted from total of 2\n"))
        << r.err;
    EXPECT_TRUE(OnDisk(tree.path("safe" + tree.path("two/a.jpg"))));
    EXPECT_TRUE(OnDisk(tree.path("two/sub/b.txt")));
    struct stat st
    {
    };
    ASSERT_EQ(stat(tree.path("safe" + tree.path("two/sub/b.txt")).c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 9);
}

TEST(ScanRemoveTest, WithoutYesItAsksOnATerminalAndRefusesWithoutOne)
{
    TempTree tree;
    MakeTwoLocations(tree);
    const ProgramResult refused = Scan({"--delete-location2", tree.path("one"), tree.path("two")});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.out, "");
    EXPECT_TRUE(OnDisk(tree.path("two/a.jpg")) && OnDisk(tree.path("two/sub/b.txt")));
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--yes", tree.path("one")},
                                                 {"--safety-dir", tree.path("s"), tree.path("one")},
                                                 {"--delete-location2", tree.path("one"), "--safety-dir"},
                                                 {"--delete-location2", "--trash", "--safety-dir", "s", "x"}}) {
        const ProgramResult r = Scan(args);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }

    std::string transcript;
    const std::vector<std::string> args{"--delete-location2", tree.path("one"), tree.path("two")};
    EXPECT_EQ(ScanOnTerminal(args, "n", transcript), 2) << transcript;
    EXPECT_NE(transcript.find("Are you sure you want to delete all files? [y/N] "), std::string::npos);
    EXPECT_TRUE(OnDisk(tree.path("two/a.jpg")));
    transcript.clear();
    EXPECT_EQ(ScanOnTerminal(args, "y", transcript), 0) << transcript;
    EXPECT_NE(transcript.find("2 files was deleted from total of 2"), std::string::npos) << transcript;
    EXPECT_FALSE(OnDisk(tree.path("two/a.jpg")));
}

TEST(ScanRemoveTest, WhatTheRemovalLeavesIsNamedAndOnlyAFailureFailsTheRun)
{
    TempTree tree;
    tree.file("one/a.jpg", 5, kNoon, '1');
    tree.file("two/sub/a.jpg", 5, kNoon, '2');
    tree.file("elsewhere/a.jpg", 5, kNoon, 'e');
    const std::vector<std::string> args{"--delete-location2", tree.path("one"), tree.path("two")};
    // A folder of location 2 becomes a link to an unrelated folder while the question waits.
    std::string transcript;
    EXPECT_EQ(ScanOnTerminal(args, "y", transcript,
                             [&] {
                                 std::filesystem::rename(tree.path("two/sub"), tree.path("moved"));
                                 std::filesystem::create_symlink(tree.path("elsewhere"), tree.path("two/sub"));
                             }),
              1)
        << transcript;
    EXPECT_TRUE(OnDisk(tree.path("elsewhere/a.jpg")) && OnDisk(tree.path("moved/a.jpg")));
    EXPECT_NE(transcript.find("not removed: " + tree.path("two/sub/a.jpg") +
                              ": a folder on its path has been replaced by a symbolic link\r\nfiles in location 1: 1"),
              std::string::npos)
        << transcript;

    // A copy whose partner went meanwhile stays by the pairing rules: named, but the run succeeds.
    std::filesystem::remove(tree.path("two/sub"));
    std::filesystem::rename(tree.path("moved"), tree.path("two/sub"));
    transcript.clear();
    EXPECT_EQ(ScanOnTerminal(args, "y", transcript, [&] { std::filesystem::remove(tree.path("one/a.jpg")); }), 0)
        << transcript;
    EXPECT_NE(transcript.find("its partner is gone, so it may be the last copy"), std::string::npos) << transcript;
    EXPECT_TRUE(OnDisk(tree.path("two/sub/a.jpg")));
}

TEST(ScanRemoveTest, SameContentListsOnlyEqualCopiesAndTrashTakesThem)
{
    TempTree tree;
    tree.file("one/a.jpg", 5, kNoon, 'a');
    tree.file("two/a.jpg", 5, kNoon, 'a');
    tree.file("one/b.txt", 3, kNoon, '1');
    tree.file("two/sub/b.txt", 3, kNoon, '2');
    ASSERT_EQ(mkfifo(tree.path("one/c").c_str(), 0644), 0);
    const timespec noon[2] = {{kNoon, 0}, {kNoon, 0}};
    utimensat(AT_FDCWD, tree.path("one/c").c_str(), noon, 0);
    tree.file("two/c", 0, kNoon);
    const ScopedEnvironment data("XDG_DATA_HOME", tree.path("data"));
    const ProgramResult r =
        Scan({"--same-content", "--delete-location2", "--trash", "--yes", tree.path("one"), tree.path("two")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out.starts_with("a.jpg\t") && std::count(r.out.begin(), r.out.end(), '\n') == 1) << r.out;
    EXPECT_TRUE(r.err.ends_with("unreadable: 0\nchanged: 0\nfiles in location 1: 2\nfiles in location 2: 2\npairs: 1\n"
                                "1 files was deleted from total of 1\n"))
        << r.err;
    EXPECT_EQ(std::filesystem::file_size(tree.path("data/Trash/files/a.jpg")), 5u);
    EXPECT_TRUE(OnDisk(tree.path("two/sub/b.txt")));
}
