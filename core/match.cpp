// Indexed matching: the same pairs in the same order as comparing every file with every entry, in time
// proportional to files plus pairs.
#include "core/match.h"

#include <functional>
#include <string>
#include <vector>

namespace twinspotter {

namespace {

std::size_t HashName(std::string_view name)
{
    return std::hash<std::string_view>{}(name);
}

std::size_t HashKey(const TFileF& r)
{
    std::size_t h = HashName(r.Name);
    h ^= std::hash<std::int64_t>{}(r.Size) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    h ^= std::hash<std::int32_t>{}(r.Date) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    return h;
}

void AppendPair(TFiles& pairs, TFileF pair, CommandHost& host)
{
    pairs.append(std::move(pair));
    const std::size_t index = pairs.size() - 1;
    host.showProgress(std::to_string(index));
    if (index % 100 == 0)
        host.serviceEvents();
}

class AgainstCatalogueVisitor : public WalkVisitor
{
public:
    AgainstCatalogueVisitor(const TFiles& catalogue, TFiles& pairs, std::int32_t& count, CommandHost& host)
        : m_matcher(catalogue), m_pairs(pairs), m_count(count), m_host(host)
    {
    }

    void file(const PathString* dir, const DirEntry& entry) override
    {
        const bool sameDate = m_host.sameDate();
        const bool sameSize = m_host.sameSize();
        ++m_count;
        m_matcher.matchFile(dir, entry, sameDate, sameSize, m_pairs, m_host);
    }

private:
    CatalogueMatcher m_matcher;
    TFiles& m_pairs;
    std::int32_t& m_count;
    CommandHost& m_host;
};

} // namespace

CatalogueMatcher::CatalogueMatcher(const TFiles& catalogue) : m_catalogue(catalogue)
{
    m_index.init(catalogue.size());
    for (std::uint32_t i = 0; i < catalogue.size(); ++i) {
        const std::string_view name = catalogue[i].Name;
        m_index.add(i, HashName(name), [&](std::uint32_t other) { return catalogue[other].Name == name; });
    }
}

void CatalogueMatcher::matchFile(const PathString* dir, const DirEntry& entry, bool sameDate, bool sameSize,
                                 TFiles& pairs, CommandHost& host)
{
    if (m_catalogue.empty())
        return;
    const ChainIndex::Slot* slot =
        m_index.find(HashName(entry.name), [&](std::uint32_t other) { return m_catalogue[other].Name == entry.name; });
    if (slot->head == kNone)
        return;
    const std::int32_t date = DosDateTimeFromUnix(entry.mtime);
    for (std::uint32_t c = slot->head; c != kNone; c = m_index.next[c]) {
        const TFileF& candidate = m_catalogue[c];
        if (sameSize && candidate.Size != entry.size)
            continue;
        if (sameDate && candidate.Date != date)
            continue;
        if (SameFileOnDisk(candidate, entry.id))
            continue;
        TFileF pair;
        pair.FileDir1 = candidate.FileDir1;
        pair.FileDir2 = dir;
        pair.Name = entry.name;
        pair.Date = date;
        pair.Size = entry.size;
        pair.Stamp1 = candidate.Stamp1;
        pair.Stamp2 = entry.stamp();
        AppendPair(pairs, std::move(pair), host);
    }
}

void MatchTreeAgainstCatalogue(const TFiles& catalogue, TFiles& pairs, const PathString& dir, std::string_view mask,
                               std::int32_t& countallfiles2, WalkEnv& env)
{
    AgainstCatalogueVisitor visitor(catalogue, pairs, countallfiles2, env.host);
    WalkTree(dir, mask, visitor, *pairs.pool(), env);
}

void MatchWithinCatalogue(const TFiles& catalogue, TFiles& pairs, WalkEnv& env, const ContentDigests* sameBytes)
{
    const std::size_t n = catalogue.size();
    if (n < 2)
        return;
    std::vector<const ContentDigest*> digests;
    if (sameBytes) {
        digests.resize(n);
        for (std::size_t i = 0; i < n; ++i)
            digests[i] = sameBytes->find(catalogue[i].Stamp1);
    }
    ChainIndex index;
    index.init(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        const TFileF& r = catalogue[i];
        if (sameBytes && !digests[i])
            continue;
        const std::size_t hash = HashKey(r) ^ (sameBytes ? digests[i]->low : 0);
        index.add(i, hash, [&](std::uint32_t other) {
            const TFileF& o = catalogue[other];
            return o.Name == r.Name && o.Date == r.Date && o.Size == r.Size &&
                   (!sameBytes || digests[other]->sameBytes(*digests[i]));
        });
    }
    for (std::uint32_t i = 0; i + 1 < n; ++i) {
        if (env.canceled)
            return;
        const TFileF& earlier = catalogue[i];
        std::uint32_t j = index.next[i];
        while (j != kNone && SameFileOnDisk(catalogue[j], earlier.Stamp1.id))
            j = index.next[j];
        if (j == kNone)
            continue;
        const TFileF& later = catalogue[j];
        TFileF pair;
        pair.FileDir1 = later.FileDir1;
        pair.FileDir2 = earlier.FileDir1;
        pair.Name = later.Name;
        pair.Date = later.Date;
        pair.Size = later.Size;
        pair.Stamp1 = later.Stamp1;
        pair.Stamp2 = earlier.Stamp1;
        AppendPair(pairs, std::move(pair), env.host);
    }
}

} // namespace twinspotter
