// The directory walk and the catalogue step.
#include "core/walk.h"

#include "core/ListingPrefetcher.h"

#include <algorithm>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace twinspotter {

unsigned defaultWalkThreads()
{
    return std::clamp(usableCores(), 2u, 16u);
}

namespace {

// Listings made ahead of the walk are bounded by their entries, about 80 bytes each: a few megabytes, however fast
// the workers are and however large the tree.
constexpr std::size_t kEntriesAhead = 1 << 14;
// While listings wait on a cold disk or a network mount, each thread the walk was given may become four: a thread
// asleep in the kernel costs no core, and the disk answers more requests at once than one per core.
constexpr unsigned kWaitingThreadsPerThread = 4;
constexpr unsigned kMostWaitingThreads = 32;

// Where the walk gets its listings: from the file system as it reaches each directory, or from the workers that
// listed it ahead.
class Lister
{
public:
    Lister(FileSystem& fs, const PathString& root, unsigned threads) : m_fs(fs)
    {
        if (threads > 1)
            m_ahead.emplace(fs, root, threads, std::min(threads * kWaitingThreadsPerThread, kMostWaitingThreads),
                            usableCores(), kEntriesAhead);
    }
    /// Lists \p dir, the subdirectory \p name of \p parent (null for the location itself); \p self may receive
    /// \p dir left open for listing its own subdirectories.
    bool list(const OpenedDirectory* parent, std::string_view name, const PathString& dir, std::vector<DirEntry>& out,
              std::shared_ptr<OpenedDirectory>& self)
    {
        return m_ahead ? m_ahead->take(dir, out) : m_fs.listSubdirectory(parent, name, dir, out, &self);
    }

private:
    FileSystem& m_fs;
    std::optional<ListingPrefetcher> m_ahead;
};

// A stopped level returns at once; the level above notices the cancel at its own next poll, so a level whose
// last descent was the one stopped still finishes and reports its directory done.
void walkLevel(const OpenedDirectory* parent, PathString dir, WalkVisitor& visitor, DirectoryPool& pool, WalkEnv& env,
               Lister& lister, std::vector<DirEntry>& listing)
{
    if (kSeparators.find(dir.back()) == std::string_view::npos)
        dir.push_back(kSeparator);
    const WalkDirectory dirText(dir, pool);
    // The last component, by which a subdirectory is reached from its parent.
    const std::size_t nameStart = dir.size() > 1 ? dir.rfind(kSeparator, dir.size() - 2) + 1 : 0;
    const std::string_view name = std::string_view(dir).substr(nameStart, dir.size() - 1 - nameStart);

    // One listing serves both passes: they see the same entries in the same order.
    std::shared_ptr<OpenedDirectory> self;
    lister.list(parent, name, dir, listing, self);

    for (DirEntry& entry : listing) {
        if (entry.isDirectory)
            continue;
        if (env.canceled)
            return;
        visitor.file(dirText, entry);
    }
    env.host.serviceEvents();

    // The listing of every entry also holds "." and "..", each a poll of its own: an empty directory cancelled
    // while its events were serviced stops here and is not reported done.
    if (env.canceled)
        return;
    std::vector<PathString> pending;
    for (const DirEntry& entry : listing) {
        if (env.canceled)
            return;
        if (entry.isDirectory && !entry.name.empty() && entry.name[0] != '.')
            pending.push_back(dir + entry.name);
    }

    for (PathString& sub : pending) {
        if (env.canceled)
            return;
        walkLevel(self.get(), std::move(sub), visitor, pool, env, lister, listing);
    }
    visitor.directoryDone();
}

class CatalogueVisitor : public WalkVisitor
{
public:
    CatalogueVisitor(Catalogue& catalogue, std::int32_t& count, CommandHost& host)
        : m_catalogue(catalogue), m_count(count), m_host(host)
    {
    }

    void file(const WalkDirectory& dir, DirEntry& entry) override
    {
        m_catalogue.add(dir.interned(), entry.name, dosDateTimeFromUnix(entry.mtime), entry.stamp());
        const std::size_t index = m_catalogue.size() - 1;
        if (index % 100 == 0) {
            m_host.showProgress(Progress::counted(Phase::Cataloguing, index));
            m_host.serviceEvents();
        }
    }

    void directoryDone() override { m_count = static_cast<std::int32_t>(m_catalogue.size()); }

private:
    Catalogue& m_catalogue;
    std::int32_t& m_count;
    CommandHost& m_host;
};

} // namespace

void walkTree(const PathString& dir, WalkVisitor& visitor, DirectoryPool& pool, WalkEnv& env)
{
    if (dir.empty())
        return;
    PathString root = dir;
    if (kSeparators.find(root.back()) == std::string_view::npos)
        root.push_back(kSeparator);
    Lister lister(env.fs, root, env.threads);
    std::vector<DirEntry> listing;
    walkLevel(nullptr, std::move(root), visitor, pool, env, lister, listing);
}

void catalogueTree(Catalogue& catalogue, const PathString& dir, std::int32_t& fileCount, WalkEnv& env)
{
    CatalogueVisitor visitor(catalogue, fileCount, env.host);
    walkTree(dir, visitor, *catalogue.pool(), env);
}

} // namespace twinspotter
