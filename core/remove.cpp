// Removing duplicate copies: one file, its sibling pairs, and the session's three removal commands.
#include "core/remove.h"

#include "core/HashCombine.h"
#include "core/OnDisk.h"
#include "core/ScopeExit.h"
#include "core/SearchSession.h"

#include <algorithm>
#include <filesystem>
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
    if (absolute.empty() || absolute.front() != kSeparator) {
        PathString cwd = fs.currentDirectory();
        if (cwd.empty() || cwd.back() != kSeparator)
            cwd += kSeparator;
        absolute = cwd + path;
    }
    // Resolving ".." by text keeps the mirrored path below the safety directory ("/../x" is "/x").
    return std::filesystem::path(absolute).lexically_normal().native();
}

PathString safetyTargetPath(const PathString& path, const PathString& safetyDir, FileSystem& fs)
{
    return safetyDir + absoluteFilePath(path, fs);
}

PathString defaultSafetyDirectory(FileSystem& fs)
{
    return fs.currentDirectory() + "/Savedir";
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

RemovalResult removePairFile(const FileRecord& pair, Side side, const RemovalOptions& options,
                             std::span<const LocationRoot> locations, FileSystem& fs, DirectoryCache* cache)
{
    const Side other = otherSide(side);
    RemovalRequest request{{sideDirectory(pair, side), pair.name, sideStamp(pair, side)},
                           {sideDirectory(pair, other), pair.name, sideStamp(pair, other)},
                           locations,
                           nullptr,
                           {},
                           cache};
    request.toTrash = options.trash;
    if (!options.trash && options.safety)
        request.safetyDirectory = &options.safetyDirectory;
    if (options.trash || options.safety)
        request.mirroredDirectory = resolvedDirectory(sideDirectory(pair, side), locations, fs);
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

namespace {

std::size_t rowHash(std::string_view directory, std::string_view name)
{
    return hashCombine(std::hash<std::string_view>{}(directory), std::hash<std::string_view>{}(name));
}

// The selected rows grouped by what they show, with the pairs each group can name in list order, made in one pass
// over the rows and two over the list: a row then finds its pair without looking at the list again.
class RowCandidates
{
public:
    RowCandidates(const std::vector<SelectedRow>& rows, const FileList& pairs, Side side) : m_groupOfRow(rows.size())
    {
        ChainIndex index;
        index.init(rows.size());
        for (std::uint32_t r = 0; r < rows.size(); ++r) {
            const SelectedRow& row = rows[r];
            ChainIndex::Slot* slot = index.find(rowHash(row.directory, row.name), [&](std::uint32_t other) {
                return rows[other].name == row.name && rows[other].directory == row.directory;
            });
            if (slot->head != kNone) {
                m_groupOfRow[r] = m_groupOfRow[slot->head];
                continue;
            }
            slot->head = slot->tail = r;
            slot->tag = ChainIndex::tagOf(rowHash(row.directory, row.name));
            m_groupOfRow[r] = m_groups++;
        }
        std::vector<std::uint32_t> groupOfPair(pairs.size(), kNone);
        m_start.assign(m_groups + 1, 0);
        for (std::uint32_t i = 0; i < pairs.size(); ++i) {
            const std::string_view directory = sideDirectory(pairs[i], side);
            const std::string_view name = pairs[i].name;
            const ChainIndex::Slot* slot = index.find(rowHash(directory, name), [&](std::uint32_t other) {
                return rows[other].name == name && rows[other].directory == directory;
            });
            if (slot->head == kNone)
                continue;
            groupOfPair[i] = m_groupOfRow[slot->head];
            ++m_start[groupOfPair[i] + 1];
        }
        for (std::uint32_t g = 0; g < m_groups; ++g)
            m_start[g + 1] += m_start[g];
        m_next.assign(m_start.begin(), m_start.end() - 1);
        m_pairs.resize(m_start.back());
        std::vector<std::uint32_t> fill(m_next);
        for (std::uint32_t i = 0; i < pairs.size(); ++i)
            if (groupOfPair[i] != kNone)
                m_pairs[fill[groupOfPair[i]]++] = i;
    }

    /// The first pair not marked deleted that row \p row names, or none.
    std::optional<std::size_t> pairOf(std::size_t row, const FileList& pairs)
    {
        const std::uint32_t group = m_groupOfRow[row];
        std::uint32_t& next = m_next[group];
        // Deleted marks are only ever set, so pairs passed over for one row stay passed over for the next.
        while (next < m_start[group + 1] && pairs[m_pairs[next]].deleted)
            ++next;
        if (next == m_start[group + 1])
            return std::nullopt;
        return m_pairs[next];
    }

private:
    std::vector<std::uint32_t> m_groupOfRow;
    std::uint32_t m_groups = 0;
    std::vector<std::uint32_t> m_start; ///< group -> its first place in m_pairs; one more for the end
    std::vector<std::uint32_t> m_next;  ///< group -> the first of its pairs not known to be deleted
    std::vector<std::uint32_t> m_pairs; ///< pair indexes, grouped, in list order within a group
};

} // namespace

void SearchSession::lowerCounterOf(Side side)
{
    // The search's own mode, not the location-2 field's: typing into it since must not move the count elsewhere.
    std::int32_t& counter = side == Side::Location1 || m_searchedMode == SearchMode::SingleDirectory
                                ? m_filesInLocation1
                                : m_filesInLocation2;
    if (counter > 0)
        --counter;
}

RemovalResult SearchSession::removePairSide(std::size_t index, Side side, const RemovalOptions& options,
                                            DirectoryCache* cache)
{
    return removePairFile(m_pairs[index], side, options, m_locations, m_fs, cache);
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
    if (busy())
        return report;
    m_removing = true;
    const ScopeExit removed([this] { m_removing = false; });
    if (!host.confirm(kDeleteAllQuestion))
        return report;
    report.ran = true;
    report.total = static_cast<std::int32_t>(m_pairs.size());
    DirectoryCache folders;
    std::optional<SiblingIndex> siblings; // made when the first file goes
    for (std::size_t i = 0; i < m_pairs.size(); ++i) {
        if (m_pairs[i].deleted)
            continue;
        const RemovalResult result = removePairSide(i, Side::Location2, host.removalOptions(), &folders);
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
    if (busy())
        return report;
    m_removing = true;
    const ScopeExit removed([this] { m_removing = false; });
    if (!host.confirm(kDeleteSelectedQuestion))
        return report;
    report.ran = true;
    report.total = static_cast<std::int32_t>(rows.size());

    DirectoryCache folders;
    std::optional<SiblingIndex> siblings; // made when the first file goes
    RowCandidates candidates(rows, m_pairs, side);
    for (std::size_t row = 0; row < rows.size(); ++row) {
        // A selection can hold a million rows; the window stays alive as it does during a search.
        host.serviceEvents();
        const std::optional<std::size_t> found = candidates.pairOf(row, m_pairs);
        if (!found)
            continue;
        const std::size_t index = *found;
        const RemovalResult result = removePairSide(index, side, host.removalOptions(), &folders);
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
    if (busy() || pairIndex >= m_pairs.size())
        return std::nullopt;
    m_removing = true;
    const ScopeExit removed([this] { m_removing = false; });
    if (!host.confirm(kDeleteSelectedQuestion))
        return std::nullopt;

    const RemovalResult result = removePairSide(pairIndex, side, host.removalOptions(), nullptr);
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
