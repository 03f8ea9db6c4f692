// The descriptor-level steps of a removal: reaching a recorded file without following links, checking it is still
// what the search saw, and moving a file into a directory without ever replacing what is there.
#pragma once

#include "core/FileSystem.h"
#include "core/Removal.h"
#include "core/posix/SystemCalls.h"
#include "core/posix/UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <array>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace twinspotter {

/// A directory opened to be used as a directory only: for reaching names in it, never for reading it.
inline constexpr int kDirectoryFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

inline FileId fileIdOf(const struct stat& st)
{
    return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

inline bool sameInode(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

/// Makes the directory \p path and every missing folder above it, by name, links and all (for folders the user
/// chose); true when it exists as a directory afterwards.
bool makeFolderChain(const PathString& path, mode_t mode, const SystemCalls& calls);

/// The folders one removal command has reached and checked, kept open for the files that follow in them, and the
/// locations it has checked. A folder moved or swapped after it was checked is still the folder the search walked,
/// so its descriptor stays good for the rest of the command; the cache lives no longer than that.
class DirectoryCache
{
public:
    int find(const PathString& directory);
    int keep(const PathString& directory, UniqueFd fd);
    int findLocation(const LocationRoot& location) const;
    int keepLocation(const LocationRoot& location, UniqueFd fd);

private:
    struct Entry
    {
        PathString directory;
        UniqueFd fd;
        std::uint64_t used = 0;
    };
    // A file's folder, its partner's and a safety folder are in use at once; a few more catch a list that alternates
    // between folders.
    std::array<Entry, 6> m_entries;
    std::uint64_t m_clock = 0;
    std::vector<std::pair<const LocationRoot*, UniqueFd>> m_locations;
};

/// Reaches \p directory, a text the walk made below one of \p locations: the location itself as the walk opened it,
/// checked to be the very directory the search walked, then every folder below it without following a symbolic
/// link. A text below no location is resolved whole without following links. The descriptor (for use as a directory
/// only) belongs to \p cache; -1 on failure.
int reachRecordedDirectory(const PathString& directory, std::span<const LocationRoot> locations, DirectoryCache& cache,
                           ReachFailure& failure, int& error);

/// True when \p st is still the file of \p stamp: a regular file with the same device, inode, size, modification and
/// change time.
bool matchesStamp(const struct stat& st, const FileStamp& stamp);

/// Two files on different devices with equal inode number, size, modification and change time: most likely one
/// file seen through two mounts (an overlay and its layer, a mirror of a local folder), so neither may stand in for
/// the other as its copy.
bool maybeSameFile(const struct stat& a, const struct stat& b);

/// Moves \p name out of \p fromDir to \p toName in \p toDir, never replacing a file there: a rename that refuses to
/// replace, else a link and an unlink, else (onto another file system, when \p copyAllowed) a complete copy that
/// gets its name only once whole and synced, after which the original is removed or the copy taken back. \p source
/// is what the file was when checked; a different file found at the name is left alone.
RemovalResult moveWithoutReplacing(int fromDir, const PathString& name, const struct stat& source, int toDir,
                                   const PathString& toName, bool copyAllowed, const SystemCalls& calls);

} // namespace twinspotter
