// The search command's sequence, shared by the window and the scanner.
#include "core/SearchSession.h"

#include "core/ScopeExit.h"
#include "core/match.h"
#include "core/walk.h"

#include <string>

namespace twinspotter {

void SearchSession::search(const PathString& location1, const PathString& location2, CommandHost& host)
{
    if (busy())
        return;
    host.searchStarted();
    const ScopeExit ended([&host] { host.searchEnded(); });
    m_searching = true;
    const ScopeExit stopped([this] { m_searching = false; });
    m_cancelRequested = false;
    m_searchCancelled = false;
    runSearch(location1, location2, host);
}

void SearchSession::runSearch(const PathString& location1, const PathString& location2, CommandHost& host)
{
    host.showPhase("Readin files form location 1");
    WalkEnv env{m_fs, host, m_cancelRequested};
    // Taken before each walk, so a location swapped during the search cannot be mistaken for the one walked.
    std::vector<LocationRoot> locations;
    recordLocation(location1, locations);
    FileList catalogue;
    catalogueTree(catalogue, location1, kSearchMask, m_filesInLocation1, env);

    m_pairs.reset(catalogue.pool());
    m_filesInLocation2 = 0;
    if (!m_singleDirectory)
        recordLocation(location2, locations);
    m_locations = std::move(locations);
    m_searchedMode = m_singleDirectory ? SearchMode::SingleDirectory : SearchMode::TwoLocations;

    host.showPhase("Looking for duplicates ...");
    if (m_singleDirectory)
        matchWithinCatalogue(catalogue, m_pairs, env);
    else
        matchTreeAgainstCatalogue(catalogue, m_pairs, location2, kSearchMask, m_filesInLocation2, env);
    // A cancel that arrives while the table is rebuilt comes after every pair was found: the search is complete.
    m_searchCancelled = m_cancelRequested;

    m_content = {};
    std::string leftOut;
    if (host.sameContent()) {
        host.showPhase(kComparingContents);
        const ContentComparison comparison = compareContents(m_pairs, m_locations, env);
        m_content = comparison.report;
        if (m_singleDirectory && comparison.complete) {
            // Paired again with the content as part of the key: two equal files with an unequal one of the same
            // name, date and size between them in the catalogue are a pair, which the first pairing could not see.
            const bool never = false;
            WalkEnv uncancelled{m_fs, host, never};
            m_pairs.reset(catalogue.pool());
            matchWithinCatalogue(catalogue, m_pairs, uncancelled, &comparison.digests);
        } else {
            comparison.keepConfirmed(m_pairs);
        }
        if (m_content.unreadable > 0)
            leftOut += ", unreadable: " + std::to_string(m_content.unreadable);
        if (m_content.changed > 0)
            leftOut += ", changed: " + std::to_string(m_content.changed);
    }

    host.rebuildResultsTable();
    host.showPairCount("Doublicates found: " + std::to_string(m_pairs.size()) + leftOut);
}

void SearchSession::recordLocation(const PathString& location, std::vector<LocationRoot>& locations)
{
    if (location.empty())
        return;
    // The walk's own spelling of the location, so that every directory text of the search begins with it.
    PathString directory = location;
    if (directory.back() != kSeparator)
        directory.push_back(kSeparator);
    if (const std::optional<FileId> id = m_fs.directoryIdentity(directory))
        locations.push_back({std::move(directory), *id});
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
