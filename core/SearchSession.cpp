// The search command's sequence, shared by the window and the scanner.
#include "core/SearchSession.h"

#include "core/Backend.h"
#include "core/RowCandidates.h"
#include "core/ScopeExit.h"
#include "core/match.h"
#include "core/walk.h"

#include <string>
#include <unordered_set>

namespace twinspotter {

SearchReport SearchSession::search(const PathString& location1, const PathString& location2, CommandHost& host)
{
    if (busy())
        return {};
    m_searching = true;
    const ScopeExit ended([this] { m_searching = false; });
    m_cancelRequested = false;
    m_lastSearch = {};
    m_lastSearch.ran = true;
    runSearch(location1, location2, host);
    m_lastSearch.pairs = m_pairs->size();
    return m_lastSearch;
}

struct SearchSession::SearchRun
{
    const PathString& location1;
    const PathString& location2;
    CommandHost& host;
    WalkEnv env;
    Catalogue catalogue;
    /// Taken before each walk, so a location swapped during the search cannot be mistaken for the one walked.
    std::vector<LocationRoot> locations;
    bool singleDirectory;

    SearchRun(const PathString& one, const PathString& two, CommandHost& commandHost, WalkEnv walkEnv)
        : location1(one), location2(two), host(commandHost), env(walkEnv), singleDirectory(two.empty())
    {
    }
};

// The search's stages in their order. Each opens its phase; a stage that is not wanted ends the search there.
struct SearchSession::Stage
{
    Phase phase;
    void (SearchSession::*run)(SearchRun&);
    bool (*wanted)(const SearchRun&) = nullptr;
};

const SearchSession::Stage SearchSession::kStages[] = {
    {Phase::Cataloguing, &SearchSession::catalogueStage},
    {Phase::Matching, &SearchSession::matchStage},
    // The content criterion is read once matching has ended.
    {Phase::ComparingContents, &SearchSession::contentStage,
     [](const SearchRun& run) { return run.host.criteria().sameContent; }},
};

void SearchSession::runSearch(const PathString& location1, const PathString& location2, CommandHost& host)
{
    SearchRun run{location1, location2, host, WalkEnv{m_fs, host, m_cancelRequested, m_walkThreads}};
    for (const Stage& stage : kStages) {
        if (stage.wanted && !stage.wanted(run))
            return;
        host.showProgress(Progress::beginning(stage.phase));
        (this->*stage.run)(run);
    }
}

void SearchSession::catalogueStage(SearchRun& run)
{
    recordLocation(run.location1, run.locations);
    catalogueTree(run.catalogue, run.location1, m_filesInLocation1, run.env);
    // A new list, never the old one emptied: whoever still shows the last search's pairs keeps them intact.
    m_pairs = std::make_shared<FileList>(run.catalogue.pool());
    m_filesInLocation2 = 0;
    if (!run.singleDirectory)
        recordLocation(run.location2, run.locations);
    m_locations = std::move(run.locations);
    m_searchedMode = run.singleDirectory ? SearchMode::SingleDirectory : SearchMode::TwoLocations;
}

void SearchSession::matchStage(SearchRun& run)
{
    if (run.singleDirectory)
        matchWithinCatalogue(run.catalogue, *m_pairs, run.env);
    else
        matchTreeAgainstCatalogue(run.catalogue, *m_pairs, run.location2, m_filesInLocation2, run.env);
    // A cancel from here on comes after every file was walked and counted: the file counts are complete.
    m_lastSearch.cancelled = m_cancelRequested;
}

void SearchSession::contentStage(SearchRun& run)
{
    const ContentComparison comparison = compareContents(*m_pairs, m_locations, run.env);
    m_lastSearch.content = comparison.report;
    // Only the pairs decided before the cancel are kept: the pair count is not the answer.
    if (!comparison.complete)
        m_lastSearch.cancelled = true;
    if (run.singleDirectory && comparison.complete) {
        // Paired again with the content as part of the key: two equal files with an unequal one of the same name,
        // date and size between them in the catalogue are a pair, which the first pairing could not see.
        const bool never = false;
        WalkEnv uncancelled{m_fs, run.host, never};
        m_pairs = std::make_shared<FileList>(run.catalogue.pool());
        matchWithinCatalogue(run.catalogue, *m_pairs, uncancelled, &comparison.digests);
    } else {
        comparison.keepConfirmed(*m_pairs);
    }
}

void SearchSession::recordLocation(const PathString& location, std::vector<LocationRoot>& locations)
{
    if (location.empty())
        return;
    // The walk's own spelling of the location, so that every directory text of the search begins with it.
    PathString directory = location;
    if (kSeparators.find(directory.back()) == std::string_view::npos)
        directory.push_back(kSeparator);
    if (const std::optional<FileId> id = m_fs.directoryIdentity(directory)) {
        PathString resolved = m_fs.resolvedPath(directory);
        if (!resolved.empty() && resolved.back() != kSeparator)
            resolved.push_back(kSeparator);
        locations.push_back({std::move(directory), *id, std::move(resolved)});
    }
}

std::size_t SearchSession::pairIndexOfRow(std::size_t row) const
{
    std::size_t counted = 0;
    for (std::size_t i = 0; i < pairs().size(); ++i) {
        if (pairs()[i].deleted)
            continue;
        if (counted == row)
            return i;
        ++counted;
    }
    return 0;
}

void SearchSession::lowerCounterOf(Side side)
{
    // The search's own mode, not the location-2 field's: typing into it since must not move the count elsewhere.
    std::int32_t& counter = side == Side::Location1 || m_searchedMode == SearchMode::SingleDirectory
                                ? m_filesInLocation1
                                : m_filesInLocation2;
    if (counter > 0)
        --counter;
}

RemovalResult SearchSession::removePairSide(std::size_t index, Side side, const RemovalTarget& target,
                                            RemovalCache* cache)
{
    return removePairFile(pairs()[index], side, target, m_locations, m_fs, cache);
}

SearchSession::RemovalCommand::RemovalCommand(SearchSession& session, std::string_view question, CommandHost& host)
    : m_session(session)
{
    if (session.busy())
        return;
    session.m_removing = true;
    m_owner = true;
    m_confirmed = host.confirm(question);
}

SearchSession::RemovalCommand::~RemovalCommand()
{
    if (m_owner)
        m_session.m_removing = false;
}

void SearchSession::applyOutcome(std::size_t index, Side side, const RemovalResult& result, RemovalReport& report)
{
    FileRecord& pair = pairs()[index];
    switch (result.outcome) {
    case RemoveOutcome::Removed:
        ++report.count;
        pair.deleted = true;
        lowerCounterOf(side);
        break;
    case RemoveOutcome::Gone:
        pair.deleted = true;
        report.kept.push_back({sideDirectory(pair, side) + pair.name, KeepReason::AlreadyGone, 0});
        break;
    case RemoveOutcome::StillPresent:
        report.kept.push_back({sideDirectory(pair, side) + pair.name, result.reason, result.error});
        break;
    }
}

void SearchSession::finishRemoval(RemovalReport& report, CommandHost& host)
{
    // A file in several pairs that stays for a reason of its own would be listed once per pair: once is the truth.
    std::unordered_set<std::string> listed;
    std::erase_if(report.kept,
                  [&listed](const KeptFile& file) { return !listed.insert(file.path + '\0' + file.text()).second; });
    host.inform(deletedMessage(report.count, report.total));
    if (!report.kept.empty())
        host.reportKept(report.kept);
}

RemovalReport SearchSession::removeAllLocation2Copies(CommandHost& host)
{
    RemovalReport report;
    const RemovalCommand command(*this, kDeleteAllQuestion, host);
    if (!command)
        return report;
    report.ran = true;
    report.total = static_cast<std::int32_t>(pairs().size());
    RemovalCache folders;
    std::optional<SiblingIndex> siblings; // made when the first file goes
    for (std::size_t i = 0; i < pairs().size(); ++i) {
        if (pairs()[i].deleted)
            continue;
        const RemovalResult result = removePairSide(i, Side::Location2, host.removalTarget(), &folders);
        applyOutcome(i, Side::Location2, result, report);
        // A location-2 file paired with several location-1 files is dealt with once: its other pairs must not
        // report it as found gone when this very command removed it.
        if (result.outcome == RemoveOutcome::Removed) {
            if (!siblings)
                siblings.emplace(pairs(), Side::Location2);
            siblings->markDeleted(pairs(), i);
        }
        host.serviceEvents();
    }
    finishRemoval(report, host);
    return report;
}

RemovalReport SearchSession::removeSelectedRows(const std::vector<SelectedRow>& rows, Side side, CommandHost& host)
{
    RemovalReport report;
    const RemovalCommand command(*this, kDeleteSelectedQuestion, host);
    if (!command)
        return report;
    report.ran = true;
    report.total = static_cast<std::int32_t>(rows.size());

    RemovalCache folders;
    std::optional<SiblingIndex> siblings; // made when the first file goes
    RowCandidates candidates(rows, pairs(), side);
    for (std::size_t row = 0; row < rows.size(); ++row) {
        // A selection can hold a million rows; the window stays alive as it does during a search.
        host.serviceEvents();
        const std::optional<std::size_t> found = candidates.pairOf(row, pairs());
        if (!found)
            continue;
        const std::size_t index = *found;
        const RemovalResult result = removePairSide(index, side, host.removalTarget(), &folders);
        applyOutcome(index, side, result, report);
        if (result.outcome != RemoveOutcome::StillPresent) {
            if (!siblings)
                siblings.emplace(pairs(), side);
            siblings->markDeleted(pairs(), index);
        }
    }
    finishRemoval(report, host);
    return report;
}

std::optional<RemoveOutcome> SearchSession::removeOneFile(std::size_t pairIndex, Side side, CommandHost& host)
{
    if (pairIndex >= pairs().size())
        return std::nullopt;
    const RemovalCommand command(*this, kDeleteSelectedQuestion, host);
    if (!command)
        return std::nullopt;

    const RemovalResult result = removePairSide(pairIndex, side, host.removalTarget(), nullptr);
    const FileRecord& pair = pairs()[pairIndex];
    if (result.outcome == RemoveOutcome::StillPresent) {
        host.reportKept({{sideDirectory(pair, side) + pair.name, result.reason, result.error}});
        return result.outcome;
    }
    // The view closes right after: without a word, a file that had already gone would look removed by it.
    if (result.outcome == RemoveOutcome::Gone)
        host.reportKept({{sideDirectory(pair, side) + pair.name, KeepReason::AlreadyGone, 0}});
    lowerCounterOf(side);
    markSiblingsDeleted(pairs(), pairIndex, side);
    pairs()[pairIndex].deleted = true;
    return result.outcome;
}

} // namespace twinspotter
