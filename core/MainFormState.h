// The main window's state and commands without the window: the window owns one and binds its controls to it.
#pragma once

#include "core/CommandHost.h"
#include "core/FileSystem.h"
#include "core/TFileF.h"

#include <cstdint>

namespace twinspotter {

inline constexpr std::string_view kSearchMask = "*.*";

class MainFormState
{
public:
    explicit MainFormState(FileSystem& fs = realFileSystem()) : m_fs(fs) {}

    TFiles FCompared;               ///< the pairs of the last search
    bool FCanceled = false;         ///< the cancel request
    std::int32_t countallfiles1 = 0; ///< files in location 1
    std::int32_t countallfiles2 = 0; ///< files in location 2
    bool SameDir = true;            ///< single-directory mode
    std::int32_t ComparedItem = 0;  ///< the pair last opened in the detailed view

    FileSystem& fileSystem() { return m_fs; }

    /// Follows the location-2 field: empty means single-directory mode.
    void edtStartDir2Change(const PathString& location2) { SameDir = location2.empty(); }

    /// Catalogues \p location1, pairs it with \p location2 (or within itself in single-directory mode), and has
    /// the host rebuild the table. Changes nothing on disk. A cancel keeps the pairs made so far; the previous
    /// pairs stay until the catalogue is complete. Does nothing while a search or removal runs.
    void ButtonfindClick(const PathString& location1, const PathString& location2, CommandHost& host);

    /// Asks a running search to stop at its next poll.
    void btnCancelClick() { FCanceled = true; }

    /// The index in FCompared of the \p row-th pair not marked Deleted; 0 when there is none.
    std::size_t PairIndexOfRow(std::size_t row) const;

    bool searching() const { return m_searching; }
    /// A search or a removal is under way; commands that replace or walk the pair list must wait.
    bool busy() const { return m_searching || m_removing; }

protected:
    void runSearch(const PathString& location1, const PathString& location2, CommandHost& host);

    FileSystem& m_fs;
    bool m_searching = false;
    bool m_removing = false;
};

} // namespace twinspotter
