// The main window's state and commands without the window: the window owns one and binds its controls to it.
#pragma once

#include "core/CommandHost.h"
#include "core/ContentCompare.h"
#include "core/FileSystem.h"
#include "core/FileRecord.h"
#include "core/remove.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace twinspotter {

inline constexpr std::string_view kSearchMask = "*.*";

/// What a search compared: the files of one location with each other, or location 2 against location 1.
enum class SearchMode { SingleDirectory, TwoLocations };

class MainFormState
{
public:
    explicit MainFormState(FileSystem& fs = realFileSystem()) : m_fs(fs) {}

    FileList FCompared;                ///< the pairs of the last search
    bool FCanceled = false;          ///< the cancel request
    std::int32_t countallfiles1 = 0; ///< files in location 1
    std::int32_t countallfiles2 = 0; ///< files in location 2
    bool SameDir = true;             ///< single-directory mode
    std::int32_t ComparedItem = 0;   ///< the pair last opened in the detailed view

    FileSystem& fileSystem() { return m_fs; }
    /// The locations the last search walked, as its pairs name them.
    const std::vector<LocationRoot>& searchedLocations() const { return m_locations; }
    /// The mode of the search that made the pairs; removals count against its locations, whatever the location-2
    /// field has said since.
    SearchMode searchedMode() const { return m_searchedMode; }
    /// True when the last search was cancelled before it had walked and matched everything; its pairs and counters
    /// are those found until then.
    bool searchCancelled() const { return m_searchCancelled; }
    /// Replaces the pair list by \p pairs that a search of \p locations in \p mode made (for callers that build
    /// pairs themselves, such as tests and benchmarks).
    void setPairs(FileList pairs, std::vector<LocationRoot> locations, SearchMode mode)
    {
        FCompared = std::move(pairs);
        m_locations = std::move(locations);
        m_searchedMode = mode;
    }

    /// Follows the location-2 field: empty means single-directory mode.
    void edtStartDir2Change(const PathString& location2) { SameDir = location2.empty(); }

    /// Catalogues \p location1, pairs it with \p location2 (or within itself in single-directory mode), keeps only
    /// pairs of equal bytes when the host asks for the same content, and has the host rebuild the table. Changes
    /// nothing on disk. A cancel keeps the pairs made (or, with the same content, confirmed) so far and the files
    /// counted until then; the previous pairs stay until the catalogue is complete. Does nothing while a search or
    /// removal runs.
    void ButtonfindClick(const PathString& location1, const PathString& location2, CommandHost& host);

    /// Asks a running search to stop at its next poll.
    void btnCancelClick() { FCanceled = true; }

    /// The index in FCompared of the \p row-th pair not marked deleted; 0 when there is none.
    std::size_t PairIndexOfRow(std::size_t row) const;

    /// The bulk removal: after a Yes, moves or deletes the directory2 copy of every pair not yet deleted, marks what
    /// went, lowers the counters, reports the count and has the table rebuilt; servicing events after each pair.
    /// Refused (nothing asked) while a search or removal runs. Ends with host.disableBulkRemoval() once confirmed.
    RemovalReport btnDeleteClick(CommandHost& host);
    /// Removal of the selected rows' location-1 (or location-2) files; \p rows as the table showed them, top first.
    /// Marks a removed file's sibling pairs too. Services events once per row.
    RemovalReport btnDelDir1Click(const std::vector<SelectedRow>& rows, CommandHost& host);
    RemovalReport btnDelDir2Click(const std::vector<SelectedRow>& rows, CommandHost& host);
    /// The detailed view's removal of one file of pair \p fileIndex. Marks the pair and its siblings and lowers a
    /// counter only when the file is gone. nullopt when refused, not confirmed or \p fileIndex names no pair;
    /// otherwise Removed or Gone (the view empties the row) or StillPresent (nothing changed).
    std::optional<RemoveOutcome> DetailedViewDeleteClick(std::size_t fileIndex, Side side, CommandHost& host);

    /// The files the last search's content comparison left out; zeros when it compared no contents.
    const ContentReport& contentReport() const { return m_content; }

    bool searching() const { return m_searching; }
    bool removing() const { return m_removing; }
    /// A search or a removal is under way; commands that replace or walk the pair list must wait.
    bool busy() const { return m_searching || m_removing; }

protected:
    void runSearch(const PathString& location1, const PathString& location2, CommandHost& host);
    void recordLocation(const PathString& location, std::vector<LocationRoot>& locations);
    RemovalReport removeSelectedRows(const std::vector<SelectedRow>& rows, Side side, CommandHost& host);
    RemovalResult removePairSide(std::size_t index, Side side, const SafetyOption& safety, DirectoryCache* cache);
    /// Marks and counts a removal's outcome, or lists the file as kept.
    void applyOutcome(std::size_t index, Side side, const RemovalResult& result, RemovalReport& report);
    /// The count message, the kept files when there are any, and the table rebuild.
    void finishRemoval(const RemovalReport& report, CommandHost& host);
    /// One file fewer on \p side, never below zero.
    void lowerCounterOf(Side side);

    FileSystem& m_fs;
    /// The locations the search that made FCompared walked; removals reach files only through them.
    std::vector<LocationRoot> m_locations;
    SearchMode m_searchedMode = SearchMode::SingleDirectory;
    bool m_searchCancelled = false;
    ContentReport m_content;
    bool m_searching = false;
    bool m_removing = false;
};

} // namespace twinspotter
