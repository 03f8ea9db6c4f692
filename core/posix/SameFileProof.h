// Proof, on the disk itself, that a copy and its partner on another device are two files, not one file seen through
// two mounts (an overlay and its layers, a FUSE or network mirror of a local folder).
#pragma once

#include "core/FileSystem.h"
#include "core/posix/SystemCalls.h"

#include <sys/stat.h>

namespace twinspotter {

/// True when one of the two files lies on an overlay whose layers include the other file's device: the overlay may
/// show the other file itself, with an inode number and times of its own (xino, metacopy), so neither may stand in
/// for the other. Also true when that cannot be told (the mount table cannot be read).
bool overlayMayShare(int fileDir, const struct stat& file, int partnerDir, const struct stat& partner);

/// A copy set aside under a name of its own in its folder while its partner is looked at afresh.
struct HeldFile
{
    PathString name;     ///< the name it is held under; empty when it is not held
    struct stat st = {}; ///< what it is now (a rename moves its change time)
};

/// Sets \p name in \p dir aside under a fresh name, then looks at the partner afresh, past every attribute cache
/// (statx with AT_STATX_FORCE_SYNC): a partner that vanished with it, or changed, was the copy itself seen through
/// another mount, and the copy gets its name back and stays. On success the copy is held as \p held and the caller
/// removes it under that name, or gives its name back with releaseHeldFile.
RemovalResult proveDistinct(int dir, const PathString& name, const struct stat& file, int partnerDir,
                            const RecordedFile& partner, HeldFile& held, const SystemCalls& calls);

/// Gives a held copy its name back; \p result is what the caller reports, made LeftUnderHeldName when a new file has
/// taken the name meanwhile.
void releaseHeldFile(int dir, const PathString& name, HeldFile& held, RemovalResult& result, const SystemCalls& calls);

} // namespace twinspotter
