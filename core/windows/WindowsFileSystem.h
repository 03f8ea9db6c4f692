// The file-system seam on Windows: Win32 calls on UTF-16 paths, reparse points (junctions, symbolic links) never
// followed below a location, and every removal done through the handle whose identity it checked.
#pragma once

#include "core/FileSystem.h"
#include "core/windows/WinText.h"

#include <optional>
#include <span>
#include <vector>

namespace twinspotter {

class WindowsFileSystem : public FileSystem
{
public:
    bool listDirectory(const PathString& dir, std::vector<DirEntry>& out) override;
    bool listSubdirectory(const OpenedDirectory* parent, std::string_view name, const PathString& dir,
                          std::vector<DirEntry>& out, std::shared_ptr<OpenedDirectory>* keep) override;
    bool exists(const PathString& path) override;
    std::optional<FileId> directoryIdentity(const PathString& path) override;
    PathString resolvedPath(const PathString& path) override;
    bool isDirectory(const PathString& path) override;
    bool createDirectory(const PathString& path) override;
    PathString currentDirectory() override;
    RemovalResult removeFile(const RemovalRequest& request) override;
    ContentDigest readContent(const ContentRequest& request) override;
};

/// What a content reader or a removal command keeps between files: each location it has checked to be the folder the
/// search walked, held open without FILE_SHARE_DELETE (so it stays that folder) for as long as the cache lives.
class DirectoryCache
{
public:
    HANDLE findLocation(const LocationRoot& location) const;
    void keepLocation(const LocationRoot& location, UniqueHandle handle);

private:
    std::vector<std::pair<const LocationRoot*, UniqueHandle>> m_locations;
};

/// What one removal command keeps between files.
class RemovalCache
{
public:
    DirectoryCache folders;
};

/// What an open handle says of its file.
struct HandleFacts
{
    FileStamp stamp;
    DWORD attributes = 0;
    bool directory = false;
};

/// The identity and stamp of the file \p handle is open on (FileIdInfo, FileBasicInfo, FileStandardInfo); none when
/// the handle cannot say.
std::optional<HandleFacts> factsOf(HANDLE handle);

/// True when \p facts are those of the regular file of \p stamp: no directory, no reparse point, the same volume, file
/// ID, size, last-write and change time.
bool matchesStamp(const HandleFacts& facts, const FileStamp& stamp);

/// A recorded directory reached from its location: every folder below the location held open without
/// FILE_SHARE_DELETE (the location itself is held by the cache), so none of them can be renamed, moved or replaced
/// while this lives.
struct ReachedDirectory
{
    std::vector<UniqueHandle> held;
    HANDLE folder = nullptr; ///< the directory itself, held here or by the cache
    PathString path;         ///< the directory's text, ending with the separator
    DWORD error = 0;         ///< the Windows error behind ReachFailure::Error
};

/// Reaches \p directory, a text the walk made below one of \p locations: the location opened as the user named it and
/// checked to be the very directory the search walked (once per \p cache), then each folder below it opened without
/// following a reparse point. A text below no location is opened itself, as a directory that is no reparse point.
ReachFailure reachRecordedDirectory(const PathString& directory, std::span<const LocationRoot> locations,
                                    DirectoryCache& cache, ReachedDirectory& reached);

/// The identity of the file or folder \p handle is open on.
std::optional<FileId> identityOf(HANDLE handle);

/// Opens \p path (absolute or not) without following a reparse point at its last component.
UniqueHandle openNoFollow(const PathString& path, DWORD access, DWORD share, DWORD flags = 0);

/// The removal behind WindowsFileSystem::removeFile.
RemovalResult removeOnDisk(const RemovalRequest& request);

} // namespace twinspotter
