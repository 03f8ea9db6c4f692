// Removing duplicate copies: one file, its sibling pairs, and the session's three removal commands.
#include "core/remove.h"

#include "core/HashCombine.h"
#include "core/Platform.h"
#include "core/ScopeExit.h"

#include <algorithm>
#include <functional>
#include <optional>

namespace twinspotter {

std::string deletedMessage(std::int32_t count, std::int32_t total)
{
    return std::to_string(count) + " files was deleted from total of " + std::to_string(total);
}

PathString absoluteFilePath(const PathString& path, FileSystem& fs)
{
    PathString absolute = path;
    if (!isAbsolutePath(absolute)) {
        PathString cwd = fs.currentDirectory();
        if (cwd.empty() || cwd.back() != kSeparator)
            cwd += kSeparator;
        absolute = cwd + path;
    }
    // Resolving ".." by text keeps the mirrored path below the safety directory ("/../x" is "/x").
    return lexicallyNormal(absolute);
}

PathString safetyTargetPath(const PathString& path, const PathString& safetyDir, FileSystem& fs)
{
    return safetyDir + mirroredPart(absoluteFilePath(path, fs));
}

PathString defaultSafetyDirectory(FileSystem& fs)
{
    return fs.currentDirectory() + kSeparator + "Savedir";
}

PathString safetyDirectoryOnTick(const PathString& currentText, FileSystem& fs)
{
    return currentText.empty() ? defaultSafetyDirectory(fs) : currentText;
}

void ensureSafetyDirectory(const PathString& text, FileSystem& fs)
{
    if (!text.empty() && !fs.isDirectory(text))
        (void)fs.createDirectory(text);
}

namespace {

Side otherSide(Side side)
{
    return side == Side::Location1 ? Side::Location2 : Side::Location1;
}

const FileStamp& sideStamp(const FileRecord& pair, Side side)
{
    return side == Side::Location1 ? pair.stamp1 : pair.stamp2;
}

// Where the walk really was: the location as resolved when it was searched, then the folders below it, which the walk
// reached without following links. The text alone would put "lnk/../inner" where "inner" is, not where "lnk" led.
PathString resolvedDirectory(const PathString& directory, std::span<const LocationRoot> locations, FileSystem& fs)
{
    const LocationRoot* root = nullptr;
    for (const LocationRoot& location : locations)
        if (!location.resolved.empty() && directory.starts_with(location.directory) &&
            (!root || location.directory.size() > root->directory.size()))
            root = &location;
    if (root)
        return root->resolved + directory.substr(root->directory.size());
    PathString absolute = absoluteFilePath(directory, fs);
    if (absolute.empty() || absolute.back() != kSeparator)
        absolute.push_back(kSeparator);
    return absolute;
}

} // namespace

bool RemovalReport::failed() const
{
    return std::any_of(kept.begin(), kept.end(), [](const KeptFile& file) { return !file.byRule(); });
}

RemovalResult removePairFile(const FileRecord& pair, Side side, const RemovalTarget& target,
                             std::span<const LocationRoot> locations, FileSystem& fs, RemovalCache* cache)
{
    const Side other = otherSide(side);
    RemovalRequest request{{sideDirectory(pair, side), pair.name, sideStamp(pair, side)},
                           {sideDirectory(pair, other), pair.name, sideStamp(pair, other)},
                           locations,
                           target,
                           {},
                           cache};
    if (!std::holds_alternative<Delete>(target))
        request.folder = resolvedDirectory(sideDirectory(pair, side), locations, fs);
    return fs.removeFile(request);
}

const PathString& sideDirectory(const FileRecord& pair, Side side)
{
    return side == Side::Location1 ? pair.dir1() : pair.dir2();
}

void markSiblingsDeleted(FileList& pairs, std::size_t index, Side side)
{
    const FileRecord& gone = pairs[index];
    const PathString& dir = sideDirectory(gone, side);
    const PathString name = gone.name;
    const std::int64_t size = gone.size;
    const std::int32_t date = gone.date;
    for (FileRecord& pair : pairs) {
        if (!pair.deleted && pair.size == size && pair.date == date && pair.name == name &&
            sideDirectory(pair, side) == dir)
            pair.deleted = true;
    }
}

namespace {

std::size_t siblingHash(const FileRecord& pair, Side side)
{
    std::size_t h = std::hash<std::string_view>{}(sideDirectory(pair, side));
    h = hashCombine(h, std::hash<std::string_view>{}(pair.name));
    h = hashCombine(h, std::hash<std::int64_t>{}(pair.size));
    return hashCombine(h, std::hash<std::int32_t>{}(pair.date));
}

bool sameSideFile(const FileRecord& a, const FileRecord& b, Side side)
{
    return a.size == b.size && a.date == b.date && a.name == b.name && sideDirectory(a, side) == sideDirectory(b, side);
}

} // namespace

SiblingIndex::SiblingIndex(const FileList& pairs, Side side) : m_side(side)
{
    m_index.init(pairs.size());
    for (std::uint32_t i = 0; i < pairs.size(); ++i)
        m_index.add(i, siblingHash(pairs[i], side),
                    [&](std::uint32_t other) { return sameSideFile(pairs[other], pairs[i], side); });
}

void SiblingIndex::markDeleted(FileList& pairs, std::size_t index) const
{
    const FileRecord& gone = pairs[index];
    const ChainIndex::Slot* slot = m_index.find(
        siblingHash(gone, m_side), [&](std::uint32_t other) { return sameSideFile(pairs[other], gone, m_side); });
    for (std::uint32_t i = slot->head; i != kNone; i = m_index.next[i])
        pairs[i].deleted = true;
}

} // namespace twinspotter
