// Every file-system call of the walk and the removals goes through here, so tests can make one fail.
#pragma once

#include "core/FileRecord.h"

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

/// What became of a file a removal was asked to remove.
enum class RemoveOutcome {
    Removed,     ///< moved into the safety directory or deleted by this call
    Gone,        ///< not removed by this call, but it is no longer where the search found it
    StillPresent ///< the file is still there
};

/// Why a file that a removal set out to remove is still there.
enum class KeepReason : std::uint8_t {
    None,
    PartnerGone,          ///< the copy that would stay is missing: this one may be the last
    PartnerChanged,       ///< the partner is no longer the file the search found
    PartnerUnreachable,   ///< the partner cannot be looked at (error)
    PartnerIsSameFile,    ///< the partner is now this very file
    PartnerMaybeSameFile, ///< the partner looks like this file seen through another mount
    FileChanged,          ///< the file is no longer the one the search found
    LocationReplaced,     ///< the location folder is no longer the one the search walked
    LinkOnPath,           ///< a folder on the way to the file is now a symbolic link
    Unreachable,          ///< the file cannot be looked at (error)
    DeleteFailed,         ///< the delete was refused (error)
    SafetyTargetTaken,    ///< a file of that name is already in the safety directory
    SafetyPathBlocked,    ///< a link or a file stands where the safety directory needs a folder
    MoveFailed,           ///< the safety directory cannot take the file (error)
    CopyFailed,           ///< the copy onto the safety directory's file system failed (error)
    SourceNotRemoved,     ///< copied, but the original could not be removed, so the copy was taken back (error)
    AlreadyGone,          ///< not there any more when the removal came to it: removed by something else
    NoTrash,              ///< its own file system has no Trash it may go to (error)
    TrashFailed,          ///< the Trash refused it (error)
    DistinctnessUnproven, ///< it could not be set aside to prove it is another file than its partner (error)
    LeftUnderHeldName,    ///< set aside for that proof, it could not get its name back (error)
    NoSafeMove,           ///< its file system cannot move a file without the risk of replacing another
    SafetyHoldsLocation,  ///< the safety directory contains its location: it would be moved onto itself
};

/// Words for the user: why the file stayed.
std::string keepReasonText(KeepReason reason, int error);

struct RemovalResult
{
    RemoveOutcome outcome = RemoveOutcome::StillPresent;
    KeepReason reason = KeepReason::None;
    int error = 0; ///< the errno behind the reason, when there is one

    static RemovalResult kept(KeepReason why, int error = 0) { return {RemoveOutcome::StillPresent, why, error}; }
};

/// A file that a removal command set out to remove and did not: left where it is, or found gone already.
struct KeptFile
{
    PathString path;
    KeepReason reason = KeepReason::None;
    int error = 0;

    std::string text() const { return keepReasonText(reason, error); }
    /// Not a failure: left by the pairing rules (its partner is gone), or gone before the removal came to it.
    bool byRule() const { return reason == KeepReason::PartnerGone || reason == KeepReason::AlreadyGone; }
};

/// A file as the search recorded it: the directory text the walk made (ending with the separator), its name and
/// its stamp.
struct RecordedFile
{
    const PathString& directory;
    const PathString& name;
    const FileStamp& stamp;
};

/// A location as a search walked it: its text, ending with the separator, and the directory it led to then.
struct LocationRoot
{
    PathString directory;
    FileId id;
    /// Where it led then: the absolute path with every link and ".." resolved, ending with the separator; empty when
    /// unknown. The safety directory and the Trash name a file by it.
    PathString resolved;
};

class DirectoryCache;

/// One removal: the file to go, the copy that must stay, and where the file goes when it is not deleted.
struct RemovalRequest
{
    RecordedFile file;
    RecordedFile partner;
    /// The locations the search walked; a file below one of them is reached from it without following any link.
    std::span<const LocationRoot> locations;
    /// Null: delete. Otherwise the safety directory as the user named it, ...
    const PathString* safetyDirectory = nullptr;
    /// ... and the file's own absolute directory, rebuilt underneath it.
    PathString mirroredDirectory;
    /// The folders this command has already reached; null for a removal on its own.
    DirectoryCache* cache = nullptr;
    /// Into the Trash of the file's own file system instead of deleting (the safety directory is then not used).
    bool toTrash = false;
};

/// What reading a file for its content gave.
enum class ContentStatus : std::uint8_t {
    Digested,   ///< read whole; the digest stands for its bytes
    Changed,    ///< no longer the file the search listed (gone, replaced, rewritten, or changed while read)
    Unreadable, ///< it cannot be read (error), or it is no regular file
    Stopped     ///< the reader was asked to stop
};

/// A file's content as a 128-bit digest: equal digests mean equal bytes (see ContentCompare.h).
struct ContentDigest
{
    ContentStatus status = ContentStatus::Unreadable;
    int error = 0;
    std::uint64_t high = 0;
    std::uint64_t low = 0;

    bool sameBytes(const ContentDigest& other) const
    {
        return status == ContentStatus::Digested && other.status == ContentStatus::Digested && high == other.high &&
               low == other.low;
    }
};

/// One file to read for its content.
struct ContentRequest
{
    RecordedFile file;
    std::span<const LocationRoot> locations;
    /// The folders this reader has already reached; one per reading thread.
    DirectoryCache* cache = nullptr;
    /// Called after each block with the bytes it covered; reading stops when it returns false.
    std::function<bool(std::uint64_t bytes)> onBlock;
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
