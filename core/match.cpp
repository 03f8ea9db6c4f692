// Indexed matching: the same pairs in the same order as comparing every file with every entry, in time
// proportional to files plus pairs.
#include "core/match.h"

#include "core/HashCombine.h"

#include <functional>
#include <string>
#include <vector>

namespace twinspotter {

namespace {

std::size_t hashName(std::string_view name)
{
    return std::hash<std::string_view>{}(name);
}

std::size_t hashKey(const Catalogue& catalogue, std::size_t i)
{
    return hashCombine(hashCombine(hashName(catalogue.name(i)), std::hash<std::int64_t>{}(catalogue.fileSize(i))),
                       std::hash<std::int32_t>{}(catalogue.date(i)));
}

void appendPair(FileList& pairs, FileRecord pair, CommandHost& host)
{
    pairs.append(std::move(pair));
    const std::size_t index = pairs.size() - 1;
    host.showProgress(Progress::counted(Phase::Matching, index));
    if (index % 100 == 0)
        host.serviceEvents();
}

class AgainstCatalogueVisitor : public WalkVisitor
{
public:
    AgainstCatalogueVisitor(const Catalogue& catalogue, FileList& pairs, std::int32_t& count, CommandHost& host)
        : m_matcher(catalogue), m_pairs(pairs), m_count(count), m_host(host)
    {
    }

    void file(const WalkDirectory& dir, DirEntry& entry) override
    {
        const SearchCriteria criteria = m_host.criteria();
        ++m_count;
        m_matcher.matchFile(dir, entry, criteria.sameDate, criteria.sameSize, m_pairs, m_host);
    }

private:
    CatalogueMatcher m_matcher;
    FileList& m_pairs;
    std::int32_t& m_count;
    CommandHost& m_host;
};

} // namespace

CatalogueMatcher::CatalogueMatcher(const Catalogue& catalogue) : m_catalogue(catalogue)
{
    m_index.init(catalogue.size());
    for (std::uint32_t i = 0; i < catalogue.size(); ++i) {
        const std::string_view name = catalogue.name(i);
        m_index.add(i, hashName(name), [&](std::uint32_t other) { return catalogue.name(other) == name; });
    }
}

void CatalogueMatcher::matchFile(const WalkDirectory& dir, const DirEntry& entry, bool sameDate, bool sameSize,
                                 FileList& pairs, CommandHost& host)
{
    if (m_catalogue.empty())
        return;
    const ChainIndex::Slot* slot =
        m_index.find(hashName(entry.name), [&](std::uint32_t other) { return m_catalogue.name(other) == entry.name; });
    if (slot->head == kNone)
        return;
    const std::int32_t date = dosDateTimeFromUnix(entry.mtime);
    for (std::uint32_t c = slot->head; c != kNone; c = m_index.next[c]) {
        if (sameSize && m_catalogue.fileSize(c) != entry.size)
            continue;
        if (sameDate && m_catalogue.date(c) != date)
            continue;
        if (sameFileOnDisk(m_catalogue.stamp(c), entry.id))
            continue;
        FileRecord pair;
        pair.directory1 = m_catalogue.directory(c);
        pair.directory2 = dir.interned();
        pair.name = entry.name;
        pair.date = date;
        pair.size = entry.size;
        pair.stamp1 = m_catalogue.stamp(c);
        pair.stamp2 = entry.stamp();
        appendPair(pairs, std::move(pair), host);
    }
}

void matchTreeAgainstCatalogue(const Catalogue& catalogue, FileList& pairs, const PathString& dir,
                               std::int32_t& fileCount, WalkEnv& env)
{
    AgainstCatalogueVisitor visitor(catalogue, pairs, fileCount, env.host);
    walkTree(dir, visitor, *pairs.pool(), env);
}

void matchWithinCatalogue(const Catalogue& catalogue, FileList& pairs, WalkEnv& env, const ContentDigests* sameBytes)
{
    const std::size_t n = catalogue.size();
    if (n < 2)
        return;
    std::vector<const ContentDigest*> digests;
    if (sameBytes) {
        digests.resize(n);
        for (std::size_t i = 0; i < n; ++i)
            digests[i] = sameBytes->find(catalogue.stamp(i));
    }
    ChainIndex index;
    index.init(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        if (sameBytes && !digests[i])
            continue;
        const std::size_t hash = hashKey(catalogue, i) ^ (sameBytes ? digests[i]->low : 0);
        index.add(i, hash, [&](std::uint32_t other) {
            return catalogue.name(other) == catalogue.name(i) && catalogue.date(other) == catalogue.date(i) &&
                   catalogue.fileSize(other) == catalogue.fileSize(i) &&
                   (!sameBytes || digests[other]->sameBytes(*digests[i]));
        });
    }
    for (std::uint32_t i = 0; i + 1 < n; ++i) {
        if (env.canceled)
            return;
        std::uint32_t j = index.next[i];
        while (j != kNone && sameFileOnDisk(catalogue.stamp(j), catalogue.stamp(i).id))
            j = index.next[j];
        if (j == kNone)
            continue;
        FileRecord pair;
        pair.directory1 = catalogue.directory(j);
        pair.directory2 = catalogue.directory(i);
        pair.name = PathString(catalogue.name(j));
        pair.date = catalogue.date(j);
        pair.size = catalogue.fileSize(j);
        pair.stamp1 = catalogue.stamp(j);
        pair.stamp2 = catalogue.stamp(i);
        appendPair(pairs, std::move(pair), env.host);
    }
}

} // namespace twinspotter
