// The search command's sequence, shared by the window and the scanner.
#include "core/SearchSession.h"

#include "core/Backend.h"
#include "core/RowCandidates.h"
#include "core/ScopeExit.h"
#include "core/match.h"
#include "core/walk.h"

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
    m_lastSearch.pairs = m_pairs.size();
    return m_lastSearch;
}

void SearchSession::runSearch(const PathString& location1, const PathString& location2, CommandHost& host)
{
    host.showPhase(Phase::Cataloguing);
    WalkEnv env{m_fs, host, m_cancelRequested, m_walkThreads};
    // Taken before each walk, so a location swapped during the search cannot be mistaken for the one walked.
    std::vector<LocationRoot> locations;
    recordLocation(location1, locations);
    Catalogue catalogue;
    catalogueTree(catalogue, location1, kSearchMask, m_filesInLocation1, env);

    m_pairs.reset(catalogue.pool());
    m_filesInLocation2 = 0;
    const bool singleDirectory = location2.empty();
    if (!singleDirectory)
        recordLocation(location2, locations);
    m_locations = std::move(locations);
    m_searchedMode = singleDirectory ? SearchMode::SingleDirectory : SearchMode::TwoLocations;

    host.showPhase(Phase::Matching);
    if (singleDirectory)
        matchWithinCatalogue(catalogue, m_pairs, env);
    else
        matchTreeAgainstCatalogue(catalogue, m_pairs, location2, kSearchMask, m_filesInLocation2, env);
    // A cancel from here on comes after every file was walked and counted: the file counts are complete.
    m_lastSearch.cancelled = m_cancelRequested;

    if (!host.criteria().sameContent)
        return;
    host.showPhase(Phase::ComparingContents);
    const ContentComparison comparison = compareContents(m_pairs, m_locations, env);
    m_lastSearch.content = comparison.report;
    // Only the pairs decided before the cancel are kept: the pair count is not the answer.
    if (!comparison.complete)
        m_lastSearch.cancelled = true;
    if (singleDirectory && comparison.complete) {
        // Paired again with the content as part of the key: two equal files with an unequal one of the same name,
        // date and size between them in the catalogue are a pair, which the first pairing could not see.
        const bool never = false;
        WalkEnv uncancelled{m_fs, host, never};
        m_pairs.reset(catalogue.pool());
        matchWithinCatalogue(catalogue, m_pairs, uncancelled, &comparison.digests);
    } else {
        comparison.keepConfirmed(m_pairs);
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
    for (std::size_t i = 0; i < m_pairs.size(); ++i) {
        if (m_pairs[i].deleted)
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
    return removePairFile(m_pairs[index], side, target, m_locations, m_fs, cache);
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
    FileRecord& pair = m_pairs[index];
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

void SearchSession::finishRemoval(const RemovalReport& report, CommandHost& host)
{
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
    report.total = static_cast<std::int32_t>(m_pairs.size());
    RemovalCache folders;
    std::optional<SiblingIndex> siblings; // made when the first file goes
    for (std::size_t i = 0; i < m_pairs.size(); ++i) {
        if (m_pairs[i].deleted)
            continue;
        const RemovalResult result = removePairSide(i, Side::Location2, host.removalTarget(), &folders);
        applyOutcome(i, Side::Location2, result, report);
        // A location-2 file paired with several location-1 files is dealt with once: its other pairs must not
        // report it as found gone when this very command removed it.
        if (result.outcome == RemoveOutcome::Removed) {
            if (!siblings)
                siblings.emplace(m_pairs, Side::Location2);
            siblings->markDeleted(m_pairs, i);
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
    RowCandidates candidates(rows, m_pairs, side);
    for (std::size_t row = 0; row < rows.size(); ++row) {
        // A selection can hold a million rows; the window stays alive as it does during a search.
        host.serviceEvents();
        const std::optional<std::size_t> found = candidates.pairOf(row, m_pairs);
        if (!found)
            continue;
        const std::size_t index = *found;
        const RemovalResult result = removePairSide(index, side, host.removalTarget(), &folders);
        applyOutcome(index, side, result, report);
        if (result.outcome != RemoveOutcome::StillPresent) {
            if (!siblings)
                siblings.emplace(m_pairs, side);
            siblings->markDeleted(m_pairs, index);
        }
    }
    finishRemoval(report, host);
    return report;
}

std::optional<RemoveOutcome> SearchSession::removeOneFile(std::size_t pairIndex, Side side, CommandHost& host)
{
    if (pairIndex >= m_pairs.size())
        return std::nullopt;
    const RemovalCommand command(*this, kDeleteSelectedQuestion, host);
    if (!command)
        return std::nullopt;

    const RemovalResult result = removePairSide(pairIndex, side, host.removalTarget(), nullptr);
    const FileRecord& pair = m_pairs[pairIndex];
    if (result.outcome == RemoveOutcome::StillPresent) {
        host.reportKept({{sideDirectory(pair, side) + pair.name, result.reason, result.error}});
        return result.outcome;
    }
    // The view closes right after: without a word, a file that had already gone would look removed by it.
    if (result.outcome == RemoveOutcome::Gone)
        host.reportKept({{sideDirectory(pair, side) + pair.name, KeepReason::AlreadyGone, 0}});
    lowerCounterOf(side);
    markSiblingsDeleted(m_pairs, pairIndex, side);
    m_pairs[pairIndex].deleted = true;
    return result.outcome;
}

} // namespace twinspotter
