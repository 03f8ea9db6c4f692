// The directory walk and the catalogue step.
#include "core/walk.h"

#include <fnmatch.h>

#include <string>
#include <vector>

namespace twinspotter {

bool maskMatches(std::string_view mask, const PathString& name)
{
    if (mask == "*.*" || mask == "*")
        return true;
    return fnmatch(std::string(mask).c_str(), name.c_str(), FNM_PERIOD) == 0;
}

namespace {

// A stopped level returns at once; the level above notices the cancel at its own next poll, so a level whose
// last descent was the one stopped still finishes and reports its directory done.
void walkLevel(PathString dir, std::string_view mask, WalkVisitor& visitor, DirectoryPool& pool, WalkEnv& env,
               std::vector<DirEntry>& listing)
{
    if (dir.back() != kSeparator)
        dir.push_back(kSeparator);
    const PathString* dirText = pool.add(dir);

    // One listing serves both passes: they see the same entries in the same order.
    listing.clear();
    env.fs.listDirectory(dir, listing);

    for (const DirEntry& entry : listing) {
        if (entry.isDirectory || !maskMatches(mask, entry.name))
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
        walkLevel(std::move(sub), mask, visitor, pool, env, listing);
    }
    visitor.directoryDone();
}

class CatalogueVisitor : public WalkVisitor
{
public:
    CatalogueVisitor(FileList& catalogue, std::int32_t& count, CommandHost& host)
        : m_catalogue(catalogue), m_count(count), m_host(host)
    {
    }

    void file(const PathString* dir, const DirEntry& entry) override
    {
        FileRecord record;
        record.directory1 = dir;
        record.name = entry.name;
        record.date = dosDateTimeFromUnix(entry.mtime);
        record.size = entry.size;
        record.stamp1 = entry.stamp();
        m_catalogue.append(std::move(record));
        const std::size_t index = m_catalogue.size() - 1;
        if (index % 100 == 0) {
            m_host.showProgress(index);
            m_host.serviceEvents();
        }
    }

    void directoryDone() override { m_count = static_cast<std::int32_t>(m_catalogue.size()); }

private:
    FileList& m_catalogue;
    std::int32_t& m_count;
    CommandHost& m_host;
};

} // namespace

void walkTree(const PathString& dir, std::string_view mask, WalkVisitor& visitor, DirectoryPool& pool, WalkEnv& env)
{
    if (dir.empty())
        return;
    std::vector<DirEntry> listing;
    walkLevel(dir, mask, visitor, pool, env, listing);
}

void catalogueTree(FileList& catalogue, const PathString& dir, std::string_view mask, std::int32_t& fileCount,
                   WalkEnv& env)
{
    CatalogueVisitor visitor(catalogue, fileCount, env.host);
    walkTree(dir, mask, visitor, *catalogue.pool(), env);
}

} // namespace twinspotter
