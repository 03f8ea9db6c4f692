// Shared pieces of the removal tests: a host with the safety option, and a pair list over real temporary files.
#pragma once

#include "core/SearchSession.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/SeamFileSystem.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

namespace twinspotter::test {

class RemoveHost : public RecordingHost
{
public:
    bool ticked = false;
    PathString directory;
    bool trash = false;

    RemovalOptions removalOptions() const override { return {ticked, directory, trash}; }
};

/// A seam whose working directory the test chooses.
class CwdFileSystem : public SeamFileSystem
{
public:
    PathString cwd = "/home/ann";
    PathString currentDirectory() override { return cwd; }
};

inline bool OnDisk(const std::string& path)
{
    struct stat st
    {
    };
    return lstat(path.c_str(), &st) == 0;
}

/// What the search would have recorded of the file at \p path; nothing when there is none.
inline FileStamp StampOf(const std::string& path)
{
    struct stat st
    {
    };
    if (lstat(path.c_str(), &st) != 0)
        return {};
    return FileStamp{FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)}, st.st_size,
                     std::int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec,
                     std::int64_t(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec};
}

/// Moves this test's process into a mount namespace of its own, so that its mounts vanish with it; false when it may
/// not mount.
inline bool PrivateMounts()
{
    return geteuid() == 0 && unshare(CLONE_NEWNS) == 0 &&
           mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

inline std::vector<bool> DeletedFlags(const FileList& pairs)
{
    std::vector<bool> flags;
    for (const FileRecord& pair : pairs)
        flags.push_back(pair.deleted);
    return flags;
}

inline std::string ContentOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

class RemoveFixture : public ::testing::Test
{
protected:
    TempTree tree;
    SeamFileSystem fs;
    SearchSession session{fs};
    RemoveHost host;
    std::string loc1 = tree.dir("one") + "/";
    std::string loc2 = tree.dir("two") + "/";

    void SetUp() override
    {
        session.setPairs({}, {}, SearchMode::TwoLocations);
        session.setFileCounts(10, 10);
    }

    /// Appends the pair \p dir1 + \p name, \p dir2 + \p name (directories relative to the tree, ending with "/"),
    /// creating both files unless they exist, with the stamps a search would have given it; returns its index.
    std::size_t pair(const std::string& dir1, const std::string& dir2, const std::string& name, std::int64_t size = 10,
                     std::int32_t date = 1)
    {
        FileRecord record;
        record.directory1 = session.pairs().addDirectory(tree.path(dir1));
        record.directory2 = session.pairs().addDirectory(tree.path(dir2));
        record.name = name;
        record.size = size;
        record.date = date;
        for (const std::string& path : {record.path1(), record.path2()}) {
            if (!OnDisk(path))
                tree.file(path.substr(tree.root().size() + 1), 10, 0, path.back());
        }
        record.stamp1 = StampOf(record.path1());
        record.stamp2 = StampOf(record.path2());
        session.pairs().append(record);
        return session.pairs().size() - 1;
    }

    std::vector<bool> deletedFlags() const { return DeletedFlags(session.pairs()); }
    /// The pairs so far, as a single-directory search would have left them.
    void singleDirectorySearch() { session.setPairs(std::move(session.pairs()), {}, SearchMode::SingleDirectory); }
};

} // namespace twinspotter::test
