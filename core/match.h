// Pairing files: location 2 against the location-1 catalogue, or the catalogue within itself.
#pragma once

#include "core/ChainIndex.h"
#include "core/ContentCompare.h"
#include "core/walk.h"

namespace twinspotter {

/// True when two files are known to be one file on disk (same device and inode): such files never pair, since
/// removing one would remove the only copy.
inline bool sameFileOnDisk(const FileStamp& a, const FileId& b)
{
    return a.id.inode != 0 && a.id == b;
}

/// The location-1 catalogue indexed by name, for pairing location-2 files one at a time.
class CatalogueMatcher
{
public:
    explicit CatalogueMatcher(const Catalogue& catalogue);
    /// Appends one pair per catalogue entry that matches \p entry, in catalogue order.
    void matchFile(const WalkDirectory& dir, const DirEntry& entry, bool sameDate, bool sameSize, FileList& pairs,
                   CommandHost& host);

private:
    const Catalogue& m_catalogue;
    ChainIndex m_index;
};

/// Walks \p dir and appends one pair per location-2 file and matching catalogue entry: equal names always,
/// equal date and size when the host's criteria ask for it (read afresh for every file). Pairs come in walk order of
/// location 2, the pairs of one file in catalogue order. Raises \p fileCount once per location-2 file.
void matchTreeAgainstCatalogue(const Catalogue& catalogue, FileList& pairs, const PathString& dir,
                               std::int32_t& fileCount, WalkEnv& env);

/// Pairs every catalogue entry with the nearest later entry of equal name, date and size (and, given \p sameBytes,
/// equal bytes: entries not read whole are left out), ordered by the earlier entry. A cancel keeps the pairs made
/// so far.
void matchWithinCatalogue(const Catalogue& catalogue, FileList& pairs, WalkEnv& env,
                          const ContentDigests* sameBytes = nullptr);

} // namespace twinspotter
