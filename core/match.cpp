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

std::size_t hashKey(const FileRecord& r)
{
    return hashCombine(hashCombine(hashName(r.name), std::hash<std::int64_t>{}(r.size)),
                       std::hash<std::int32_t>{}(r.date));
}

void appendPair(FileList& pairs, FileRecord pair, CommandHost& host)
{
    pairs.append(std::move(pair));
    const std::size_t index = pairs.size() - 1;
    host.showProgress(index);
    if (index % 100 == 0)
        host.serviceEvents();
}

class AgainstCatalogueVisitor : public WalkVisitor
{
public:
    AgainstCatalogueVisitor(const FileList& catalogue, FileList& pairs, std::int32_t& count, CommandHost& host)
        : m_matcher(catalogue), m_pairs(pairs), m_count(count), m_host(host)
    {
    }

    void file(const PathString* dir, const DirEntry& entry) override
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

CatalogueMatcher::CatalogueMatcher(const FileList& catalogue) : m_catalogue(catalogue)
{
    m_index.init(catalogue.size());
    for (std::uint32_t i = 0; i < catalogue.size(); ++i) {
        const std::string_view name = catalogue[i].name;
        m_index.add(i, hashName(name), [&](std::uint32_t other) { return catalogue[other].name == name; });
    }
}

void CatalogueMatcher::matchFile(const PathString* dir, const DirEntry& entry, bool sameDate, bool sameSize,
                                 FileList& pairs, CommandHost& host)
{
    if (m_catalogue.empty())
        return;
    const ChainIndex::Slot* slot =
        m_index.find(hashName(entry.name), [&](std::uint32_t other) { return m_catalogue[other].name == entry.name; });
    if (slot->head == kNone)
        return;
    const std::int32_t date = dosDateTimeFromUnix(entry.mtime);
    for (std::uint32_t c = slot->head; c != kNone; c = m_index.next[c]) {
        const FileRecord& candidate = m_catalogue[c];
        if (sameSize && candidate.size != entry.size)
            continue;
        if (sameDate && candidate.date != date)
            continue;
        if (sameFileOnDisk(candidate, entry.id))
            continue;
        FileRecord pair;
        pair.directory1 = candidate.directory1;
        pair.directory2 = dir;
        pair.name = entry.name;
        pair.date = date;
        pair.size = entry.size;
        pair.stamp1 = candidate.stamp1;
        pair.stamp2 = entry.stamp();
        appendPair(pairs, std::move(pair), host);
    }
}

void matchTreeAgainstCatalogue(const FileList& catalogue, FileList& pairs, const PathString& dir, std::string_view mask,
                               std::int32_t& fileCount, WalkEnv& env)
{
    AgainstCatalogueVisitor visitor(catalogue, pairs, fileCount, env.host);
    walkTree(dir, mask, visitor, *pairs.pool(), env);
}

void matchWithinCatalogue(const FileList& catalogue, FileList& pairs, WalkEnv& env, const ContentDigests* sameBytes)
{
    const std::size_t n = catalogue.size();
    if (n < 2)
        return;
    std::vector<const ContentDigest*> digests;
    if (sameBytes) {
        digests.resize(n);
        for (std::size_t i = 0; i < n; ++i)
            digests[i] = sameBytes->find(catalogue[i].stamp1);
    }
    ChainIndex index;
    index.init(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        const FileRecord& r = catalogue[i];
        if (sameBytes && !digests[i])
            continue;
        const std::size_t hash = hashKey(r) ^ (sameBytes ? digests[i]->low : 0);
        index.add(i, hash, [&](std::uint32_t other) {
            const FileRecord& o = catalogue[other];
            return o.name == r.name && o.date == r.date && o.size == r.size &&
                   (!sameBytes || digests[other]->sameBytes(*digests[i]));
        });
    }
    for (std::uint32_t i = 0; i + 1 < n; ++i) {
        if (env.canceled)
            return;
        const FileRecord& earlier = catalogue[i];
        std::uint32_t j = index.next[i];
        while (j != kNone && sameFileOnDisk(catalogue[j], earlier.stamp1.id))
            j = index.next[j];
        if (j == kNone)
            continue;
        const FileRecord& later = catalogue[j];
        FileRecord pair;
        pair.directory1 = later.directory1;
        pair.directory2 = earlier.directory1;
        pair.name = later.name;
        pair.date = later.date;
        pair.size = later.size;
        pair.stamp1 = later.stamp1;
        pair.stamp2 = earlier.stamp1;
        appendPair(pairs, std::move(pair), env.host);
    }
}

} // namespace twinspotter
