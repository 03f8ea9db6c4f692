// The search command's sequence, shared by the window and the scanner.
#include "core/SearchSession.h"

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
    if (!m_singleDirectory)
        recordLocation(location2, locations);
    m_locations = std::move(locations);
    m_searchedMode = m_singleDirectory ? SearchMode::SingleDirectory : SearchMode::TwoLocations;

    host.showPhase(Phase::Matching);
    if (m_singleDirectory)
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
    if (m_singleDirectory && comparison.complete) {
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
    if (directory.back() != kSeparator)
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

} // namespace twinspotter
