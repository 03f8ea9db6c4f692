// Every file-system call of the walk and the removals goes through here, so tests can make one fail.
#pragma once

#include "core/TFileF.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace twinspotter {

struct DirEntry
{
    PathString name;
    bool isDirectory = false;
    std::int64_t size = 0;
    std::int64_t mtime = 0; ///< seconds since the epoch
    FileId id;
};

class FileSystem
{
public:
    virtual ~FileSystem() = default;

    /// Lists \p dir (which ends with the separator) in the order the file system gives, "." and ".." left out.
    /// Symbolic links are left out too: they are neither followed nor catalogued.
    /// Returns false, with \p out empty, when the directory cannot be listed.
    virtual bool listDirectory(const PathString& dir, std::vector<DirEntry>& out) = 0;
    /// True when something exists at \p path (the link itself for a symbolic link).
    virtual bool exists(const PathString& path) = 0;
    /// The identity of the file that \p path leads to, links followed; none when nothing usable is there
    /// (missing, a dangling link, or a directory).
    virtual std::optional<FileId> fileIdentity(const PathString& path) = 0;
    /// True when a directory exists at \p path.
    virtual bool isDirectory(const PathString& path) = 0;
    /// Removes one file; false when it could not be removed.
    virtual bool deleteFile(const PathString& path) = 0;
    /// Moves one file, also across file systems, and never replaces an existing target:
    /// on failure both paths are as they were.
    virtual bool moveFile(const PathString& from, const PathString& to) = 0;
    /// Creates one directory whose parent exists.
    virtual bool createDirectory(const PathString& path) = 0;
    virtual PathString currentDirectory() = 0;
};

/// The real file system of this machine.
FileSystem& realFileSystem();

} // namespace twinspotter
