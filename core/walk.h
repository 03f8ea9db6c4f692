// The recursive directory walk shared by the catalogue and the location-2 side of matching.
#pragma once

#include "core/CommandHost.h"
#include "core/FileRecord.h"
#include "core/FileSystem.h"

#include <string_view>

namespace twinspotter {

/// What a walk needs from its surroundings. \c canceled is the cancel request, read only at the walk's poll points.
struct WalkEnv
{
    FileSystem& fs;
    CommandHost& host;
    const bool& canceled;
};

/// Receives the walk's files in visit order.
class WalkVisitor
{
public:
    virtual ~WalkVisitor() = default;
    /// \p dir is the file's directory, ending with the separator, interned in the walk's pool.
    virtual void file(const PathString* dir, const DirEntry& entry) = 0;
    /// A directory's whole subtree has been walked without a stop.
    virtual void directoryDone() {}
};

/// True when \p name matches the wildcard \p mask; "*.*" and "*" match every name, with or without a dot.
bool maskMatches(std::string_view mask, const PathString& name);

/// Walks the tree under \p dir depth first: a directory's own files in listing order, then each subdirectory
/// (not those whose name begins with ".") with its whole subtree. Each directory text is added to \p pool once.
/// A cancel stops the current level at once and each level above at its next poll. Nothing on disk changes.
void walkTree(const PathString& dir, std::string_view mask, WalkVisitor& visitor, DirectoryPool& pool, WalkEnv& env);

/// Appends every file under \p dir to \p catalogue; sets \p fileCount to the catalogue's length each time
/// a directory finishes, so a cancel leaves the length as of the last level that finished.
void catalogueTree(FileList& catalogue, const PathString& dir, std::string_view mask, std::int32_t& fileCount,
                   WalkEnv& env);

} // namespace twinspotter
