// Every file-system call of the walk and the removals goes through here, so tests can make one fail.
#pragma once

#include "core/ContentDigest.h"
#include "core/FileRecord.h"
#include "core/Removal.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace twinspotter {

struct DirEntry
{
    PathString name;
    bool isDirectory = false;
    std::int64_t size = 0;
    std::int64_t mtime = 0;     ///< seconds since the epoch
    std::int32_t mtimeNsec = 0; ///< the part of a second
    std::int64_t ctimeNs = 0;   ///< last change, nanoseconds since the epoch
    FileId id;

    FileStamp stamp() const { return FileStamp{id, size, mtime * 1'000'000'000 + mtimeNsec, ctimeNs}; }
};

/// A directory a listing left open, so that its subdirectories can be listed by name from it.
class OpenedDirectory
{
public:
    virtual ~OpenedDirectory() = default;
};

class FileSystem
{
public:
    virtual ~FileSystem() = default;

    /// Lists \p dir (which ends with the separator) in the order the file system gives, "." and ".." left out.
    /// Symbolic links and special files (FIFOs, sockets, devices) are left out too: they are neither followed nor
    /// catalogued, since none of them is a copy of anything.
    /// Returns false, with \p out empty, when the directory cannot be listed. Safe from several threads at once.
    virtual bool listDirectory(const PathString& dir, std::vector<DirEntry>& out) = 0;
    /// Lists \p dir as listDirectory does. With \p parent (a directory this file system left open), \p dir is its
    /// subdirectory \p name, reached from it by name without following a link and without walking the whole path
    /// again. With \p keep, a directory that has subdirectories may be left open there for listing them.
    virtual bool listSubdirectory(const OpenedDirectory* /*parent*/, std::string_view /*name*/, const PathString& dir,
                                  std::vector<DirEntry>& out, std::shared_ptr<OpenedDirectory>* /*keep*/)
    {
        return listDirectory(dir, out);
    }
    /// True when something exists at \p path (the link itself for a symbolic link).
    virtual bool exists(const PathString& path) = 0;
    /// The identity of the directory \p path leads to, links followed; none when it is no directory.
    virtual std::optional<FileId> directoryIdentity(const PathString& path) = 0;
    /// The absolute path \p path leads to, links and ".." resolved; empty when it leads nowhere.
    virtual PathString resolvedPath(const PathString& /*path*/) { return {}; }
    /// True when a directory exists at \p path.
    virtual bool isDirectory(const PathString& path) = 0;
    /// Creates one directory whose parent exists.
    virtual bool createDirectory(const PathString& path) = 0;
    virtual PathString currentDirectory() = 0;

    /// Deletes the request's file, or moves it into the safety directory without ever replacing a file there,
    /// but only while it and its partner are still the files the search recorded, two different files, and both
    /// are reached without following a symbolic link below their location. Anything else leaves the file where it
    /// is and says why. Gone only when the file, or a folder on its way, no longer exists.
    virtual RemovalResult removeFile(const RemovalRequest& request) = 0;

    /// Reads the request's file whole, in large blocks, and digests its bytes, but only while it is still the file
    /// the search recorded (checked on the opened file before and after reading). Changes nothing on disk. Called
    /// from several threads at once, each with a cache of its own.
    virtual ContentDigest readContent(const ContentRequest& request) = 0;
};

/// The real file system of this machine.
FileSystem& realFileSystem();

} // namespace twinspotter
