// The desktop's Trash in the freedesktop.org layout that desktops share, so that file managers list the files
// a removal put there and restore them to where they were.
#pragma once

#include "core/FileSystem.h"
#include "core/posix/OnDisk.h"
#include "core/posix/SystemCalls.h"

#include <sys/stat.h>

#include <string>
#include <unordered_map>
#include <vector>

namespace twinspotter {

/// A Trash directory a command has opened, for the files of one mount.
struct TrashDirectory
{
    std::uint64_t mount = 0;
    PathString top; ///< the mount's top directory; empty for the home Trash, whose Path values are absolute
    UniqueFd files;
    UniqueFd info;
    /// The number each name's unique variants are tried from, so that many files of one name cost no search each.
    std::unordered_map<PathString, unsigned> nextNumber;
};

/// The Trash directories one removal command has opened, one per mount.
using TrashDirectories = std::vector<TrashDirectory>;

/// The Path value of a .trashinfo file: the bytes of \p path with every byte but letters, digits, "-._~" and "/"
/// written as %XX.
std::string trashInfoPathValue(const PathString& path);

/// The name the \p number-th file called \p name gets in a Trash: the name itself first, then "photo.2.jpg",
/// "photo.3.jpg", ... (the number before the first dot, as GLib numbers them), cut to leave room for ".trashinfo".
PathString trashEntryName(const PathString& name, unsigned number);

/// Moves \p current in \p dir, already checked to be the file of \p st and called \p name in the absolute \p folder
/// where the user knows it, into the Trash of its own mount: the home Trash
/// ($XDG_DATA_HOME/Trash) when the file shares its mount, otherwise $topdir/.Trash/$uid when $topdir/.Trash is a
/// sticky directory and no link, otherwise $topdir/.Trash-$uid; missing Trash folders are made. The info file is
/// made first, with O_EXCL, under a name that neither files/ nor info/ holds; nothing in the Trash is replaced and
/// nothing is copied to another file system. A file whose mount has no usable Trash stays (NoTrash).
RemovalResult moveToTrash(int dir, const PathString& current, const PathString& name, const PathString& folder,
                          const struct stat& st, TrashDirectories& trashes, const SystemCalls& calls);

} // namespace twinspotter
