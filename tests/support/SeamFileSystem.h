// The real file system with hooks, for what a test running as root cannot provoke: a listing, delete or move that
// fails, a file that vanishes at a chosen moment.
#pragma once

#include "core/FileSystem.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace twinspotter::test {

class SeamFileSystem : public FileSystem
{
public:
    std::set<PathString> failList;   ///< directories (with trailing separator) that cannot be listed
    std::set<PathString> failDelete; ///< files that cannot be deleted
    std::set<PathString> failMove;   ///< sources whose move fails
    bool failAllMoves = false;
    bool failCreateDirectory = false;
    /// Runs after a directory has been listed, before the walk sees the entries.
    std::function<void(const PathString& dir)> afterList;
    /// Runs before a delete or move of a file touches the disk.
    std::function<void(const PathString& path)> beforeRemove;
    std::vector<PathString> listed;
    std::vector<PathString> deleted;
    std::vector<std::pair<PathString, PathString>> moved;

    bool listDirectory(const PathString& dir, std::vector<DirEntry>& out) override
    {
        listed.push_back(dir);
        if (failList.count(dir)) {
            out.clear();
            return false;
        }
        const bool ok = real().listDirectory(dir, out);
        if (afterList)
            afterList(dir);
        return ok;
    }
    bool exists(const PathString& path) override { return real().exists(path); }
    std::optional<FileId> fileIdentity(const PathString& path) override { return real().fileIdentity(path); }
    bool isDirectory(const PathString& path) override { return real().isDirectory(path); }
    bool deleteFile(const PathString& path) override
    {
        if (beforeRemove)
            beforeRemove(path);
        if (failDelete.count(path))
            return false;
        const bool ok = real().deleteFile(path);
        if (ok)
            deleted.push_back(path);
        return ok;
    }
    bool moveFile(const PathString& from, const PathString& to) override
    {
        if (beforeRemove)
            beforeRemove(from);
        if (failAllMoves || failMove.count(from))
            return false;
        const bool ok = real().moveFile(from, to);
        if (ok)
            moved.emplace_back(from, to);
        return ok;
    }
    bool createDirectory(const PathString& path) override
    {
        return !failCreateDirectory && real().createDirectory(path);
    }
    PathString currentDirectory() override { return real().currentDirectory(); }

private:
    static FileSystem& real() { return realFileSystem(); }
};

} // namespace twinspotter::test
