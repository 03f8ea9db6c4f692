// A file system that answers removals at once without a disk, for what no real disk does quickly: a million pairs,
// or thousands of generated cases. The same file removed twice is gone the second time.
#pragma once

#include "core/FileSystem.h"

#include <set>
#include <string>

namespace twinspotter::test {

class InstantFileSystem : public FileSystem
{
public:
    std::set<PathString> stuck; ///< files whose removal is refused
    /// Off: every removal succeeds, and nothing is remembered (for benchmarks).
    bool remember = true;
    std::set<PathString> removed;

    bool listDirectory(const PathString&, std::vector<DirEntry>& out) override
    {
        out.clear();
        return false;
    }
    bool exists(const PathString&) override { return false; }
    std::optional<FileId> directoryIdentity(const PathString&) override { return std::nullopt; }
    bool isDirectory(const PathString&) override { return false; }
    bool createDirectory(const PathString&) override { return false; }
    PathString currentDirectory() override { return "/"; }
    RemovalResult removeFile(const RemovalRequest& request) override
    {
        if (!remember)
            return {RemoveOutcome::Removed, KeepReason::None, 0};
        const PathString path = request.file.directory + request.file.name;
        if (stuck.count(path))
            return RemovalResult::kept(KeepReason::DeleteFailed, 1);
        if (!removed.insert(path).second)
            return {RemoveOutcome::Gone, KeepReason::None, 0};
        return {RemoveOutcome::Removed, KeepReason::None, 0};
    }
    ContentDigest readContent(const ContentRequest&) override { return {}; }
};

} // namespace twinspotter::test
