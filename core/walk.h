// The recursive directory walk shared by the catalogue and the location-2 side of matching.
#pragma once

#include "core/Catalogue.h"
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
    /// Threads that list directories at once while the cores are busy, the walk's own included; with one, each
    /// directory is listed when the walk reaches it. While listings wait on the disk, up to four times as many.
    unsigned threads = 1;
};

/// The cores this process may run on (its affinity, not every core of the machine).
unsigned usableCores();
/// The number of threads a search lists with unless told otherwise: one per usable core, at least two, at most 16.
unsigned defaultWalkThreads();

/// A directory of the walk: its text, added to the walk's pool only when a record first needs it, so the many folders
/// of location 2 that pair with nothing take no memory once the walk has left them.
class WalkDirectory
{
public:
    WalkDirectory(const PathString& text, DirectoryPool& pool) : m_text(&text), m_pool(&pool) {}
    /// One already in a pool.
    WalkDirectory(const PathString* interned) : m_text(interned), m_interned(interned) {}

    const PathString& text() const { return *m_text; }
    const PathString* interned() const
    {
        if (!m_interned)
            m_interned = m_pool->add(*m_text);
        return m_interned;
    }

private:
    const PathString* m_text;
    DirectoryPool* m_pool = nullptr;
    mutable const PathString* m_interned = nullptr;
};

/// Receives the walk's files in visit order.
class WalkVisitor
{
public:
    virtual ~WalkVisitor() = default;
    /// \p dir is the file's directory, ending with the separator. The entry is the visitor's to take from: the walk
    /// reads nothing of a file's entry after this.
    virtual void file(const WalkDirectory& dir, DirEntry& entry) = 0;
    /// A directory's whole subtree has been walked without a stop.
    virtual void directoryDone() {}
};

/// Walks the tree under \p dir depth first: a directory's own files in listing order, then each subdirectory
/// (not those whose name begins with ".") with its whole subtree. A directory's text goes into \p pool once, when a
/// visitor first asks for it.
/// A cancel stops the current level at once and each level above at its next poll. Nothing on disk changes.
void walkTree(const PathString& dir, WalkVisitor& visitor, DirectoryPool& pool, WalkEnv& env);

/// Appends every file under \p dir to \p catalogue; sets \p fileCount to the catalogue's length each time
/// a directory finishes, so a cancel leaves the length as of the last level that finished.
void catalogueTree(Catalogue& catalogue, const PathString& dir, std::int32_t& fileCount, WalkEnv& env);

} // namespace twinspotter
