// The duplicate search and the removal commands over its pairs, shared by the window and the scanner.
#pragma once

#include "core/CommandHost.h"
#include "core/ContentCompare.h"
#include "core/FileRecord.h"
#include "core/FileSystem.h"
#include "core/remove.h"
#include "core/walk.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace twinspotter {

/// What a search compared: the files of one location with each other, or location 2 against location 1.
enum class SearchMode { SingleDirectory, TwoLocations };

/// What a search did.
struct SearchReport
{
    bool ran = false;       ///< false when refused: a search or a removal was under way
    bool cancelled = false; ///< stopped before it had walked, matched and (with the same content) compared everything
    std::size_t pairs = 0;  ///< the pairs it left in the list
    ContentReport content;  ///< the files the content comparison left out; zeros when it compared no contents
};

/// The duplicate search and the removals of its pairs, without a window: the window owns one session and binds its
/// controls to it, the scanner drives one from the command line.
class SearchSession
{
public:
    explicit SearchSession(FileSystem& fs = realFileSystem()) : m_fs(fs) {}

    /// The pairs of the last search; removals mark them deleted.
    FileList& pairs() { return *m_pairs; }
    const FileList& pairs() const { return *m_pairs; }
    /// The same list, for a view that shows it: a search makes a new list and never changes one it has handed out,
    /// so the holder's list stays whole while the next search runs.
    std::shared_ptr<const FileList> sharedPairs() const { return m_pairs; }
    /// The files the last search counted in location 1 and 2, lowered by the removals since.
    std::int32_t filesInLocation1() const { return m_filesInLocation1; }
    std::int32_t filesInLocation2() const { return m_filesInLocation2; }

    FileSystem& fileSystem() { return m_fs; }
    /// How many threads a search lists directories with, its own included (1: each directory is listed when the
    /// walk reaches it). The order of what a search finds is the same for every number.
    void setWalkThreads(unsigned threads) { m_walkThreads = std::max(1u, threads); }
    /// What the last search did. After a cancel its pairs and counters are those found until then.
    const SearchReport& lastSearch() const { return m_lastSearch; }
    /// Replaces the pair list by \p pairs that a search of \p locations in \p mode made (for callers that build
    /// pairs themselves, such as tests and benchmarks).
    void setPairs(FileList pairs, std::vector<LocationRoot> locations, SearchMode mode)
    {
        m_pairs = std::make_shared<FileList>(std::move(pairs));
        m_locations = std::move(locations);
        m_searchedMode = mode;
    }
    /// Sets the file counters as a search would have left them (for the same callers).
    void setFileCounts(std::int32_t location1, std::int32_t location2)
    {
        m_filesInLocation1 = location1;
        m_filesInLocation2 = location2;
    }

    /// Catalogues \p location1, pairs it with \p location2 (or, when \p location2 is empty, within itself) and keeps
    /// only pairs of equal bytes when the host's criteria ask for the same content, telling the host each phase as it
    /// begins. Changes nothing on disk. A cancel keeps the pairs made (or, with the same content, confirmed) so far
    /// and the files counted until then; the previous pairs stay until the catalogue is complete. Refused (ran is
    /// false) while a search or removal runs.
    SearchReport search(const PathString& location1, const PathString& location2, CommandHost& host);

    /// Asks a running search to stop at its next poll. The request stays until the next search starts.
    void cancel() { m_cancelRequested = true; }
    bool cancelRequested() const { return m_cancelRequested; }

    /// The index in the pair list of the \p row-th pair not marked deleted; 0 when there is none.
    std::size_t pairIndexOfRow(std::size_t row) const;

    /// The bulk removal: after a Yes, moves or deletes the directory2 copy of every pair not yet deleted, marks what
    /// went, lowers the counters and reports the count and the files it kept; servicing events after each pair.
    /// Refused (nothing asked, ran is false) while a search or removal runs.
    RemovalReport removeAllLocation2Copies(CommandHost& host);
    /// Removal of the selected rows' files on \p side; \p rows as the table showed them, top first. Marks a removed
    /// file's sibling pairs too. Services events once per row.
    RemovalReport removeSelectedRows(const std::vector<SelectedRow>& rows, Side side, CommandHost& host);
    /// The detailed view's removal of one file of pair \p pairIndex. Marks the pair and its siblings and lowers a
    /// counter only when the file is gone. nullopt when refused, not confirmed or \p pairIndex names no pair;
    /// otherwise Removed or Gone (the view empties the row) or StillPresent (nothing changed).
    std::optional<RemoveOutcome> removeOneFile(std::size_t pairIndex, Side side, CommandHost& host);

    bool searching() const { return m_searching; }
    bool removing() const { return m_removing; }
    /// A search or a removal is under way; commands that replace or walk the pair list must wait.
    bool busy() const { return m_searching || m_removing; }

private:
    struct SearchRun;
    struct Stage;
    static const Stage kStages[];
    void runSearch(const PathString& location1, const PathString& location2, CommandHost& host);
    void catalogueStage(SearchRun& run);
    void matchStage(SearchRun& run);
    void contentStage(SearchRun& run);
    void recordLocation(const PathString& location, std::vector<LocationRoot>& locations);
    /// One removal command from its question on: refused while another command runs, and under way (busy) until it
    /// ends, on every way out; true only when it may go ahead.
    class RemovalCommand
    {
    public:
        RemovalCommand(SearchSession& session, std::string_view question, CommandHost& host);
        ~RemovalCommand();
        RemovalCommand(const RemovalCommand&) = delete;
        RemovalCommand& operator=(const RemovalCommand&) = delete;
        explicit operator bool() const { return m_confirmed; }

    private:
        SearchSession& m_session;
        bool m_owner = false;
        bool m_confirmed = false;
    };

    RemovalResult removePairSide(std::size_t index, Side side, const RemovalTarget& target, RemovalCache* cache);
    /// Marks and counts a removal's outcome, or lists the file as kept.
    void applyOutcome(std::size_t index, Side side, const RemovalResult& result, RemovalReport& report);
    /// The count message, and the kept files when there are any.
    void finishRemoval(RemovalReport& report, CommandHost& host);
    /// One file fewer on \p side, never below zero.
    void lowerCounterOf(Side side);

    FileSystem& m_fs;
    unsigned m_walkThreads = defaultWalkThreads();
    std::shared_ptr<FileList> m_pairs = std::make_shared<FileList>();
    bool m_cancelRequested = false;
    std::int32_t m_filesInLocation1 = 0;
    std::int32_t m_filesInLocation2 = 0;
    /// The locations the search that made the pairs walked; removals reach files only through them.
    std::vector<LocationRoot> m_locations;
    SearchMode m_searchedMode = SearchMode::SingleDirectory;
    SearchReport m_lastSearch;
    bool m_searching = false;
    bool m_removing = false;
};

} // namespace twinspotter
