// Removing duplicate copies: one file, its sibling pairs, and the three removal commands of the main window.
#include "core/remove.h"

#include "core/FlagScope.h"
#include "core/MainFormState.h"

#include <filesystem>
#include <functional>
#include <unordered_map>

namespace twinspotter {

std::string DeletedMessage(std::int32_t count, std::int32_t total)
{
    return std::to_string(count) + " files was deleted from total of " + std::to_string(total);
}

PathString AbsoluteFilePath(const PathString& path, FileSystem& fs)
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

PathString SafetyTargetPath(const PathString& path, const PathString& safetyDir, FileSystem& fs)
{
    return safetyDir + AbsoluteFilePath(path, fs);
}

PathString DefaultSafetyDirectory(FileSystem& fs)
{
    return fs.currentDirectory() + "/Savedir";
}

PathString SafetyDirectoryOnTick(const PathString& currentText, FileSystem& fs)
{
    return currentText.empty() ? DefaultSafetyDirectory(fs) : currentText;
}

void edtSavedirChange(const PathString& text, FileSystem& fs)
{
    if (!text.empty() && !fs.isDirectory(text))
        (void)fs.createDirectory(text);
}

void CreateParentDirectories(const PathString& filePath, FileSystem& fs)
{
    const std::size_t last = filePath.rfind(kSeparator);
    if (last == PathString::npos)
        return;
    for (std::size_t pos = filePath.find(kSeparator, 1); pos != PathString::npos && pos <= last;
         pos = filePath.find(kSeparator, pos + 1)) {
        if (filePath[pos - 1] == kSeparator)
            continue;
        const PathString prefix = filePath.substr(0, pos);
        if (!fs.isDirectory(prefix))
            (void)fs.createDirectory(prefix);
    }
}

RemoveOutcome RemovePairFile(const PathString& path, const SafetyOption& safety, FileSystem& fs)
{
    if (safety.ticked) {
        const PathString target = SafetyTargetPath(path, safety.directory, fs);
        CreateParentDirectories(target, fs);
        if (fs.moveFile(path, target))
            return RemoveOutcome::Removed;
    }
    if (fs.deleteFile(path))
        return RemoveOutcome::Removed;
    return fs.exists(path) ? RemoveOutcome::StillPresent : RemoveOutcome::Gone;
}

const PathString& SideDirectory(const TFileF& pair, Side side)
{
    return side == Side::Location1 ? pair.dir1() : pair.dir2();
}

void MarkSiblingsDeleted(TFiles& pairs, std::size_t index, Side side)
{
    const TFileF& gone = pairs[index];
    const PathString& dir = SideDirectory(gone, side);
    const PathString name = gone.Name;
    const std::int64_t size = gone.Size;
    const std::int32_t date = gone.Date;
    for (TFileF& pair : pairs) {
        if (!pair.Deleted && pair.Size == size && pair.Date == date && pair.Name == name &&
            SideDirectory(pair, side) == dir)
            pair.Deleted = true;
    }
}

namespace {

Side OtherSide(Side side)
{
    return side == Side::Location1 ? Side::Location2 : Side::Location1;
}

SafetyOption ReadSafetyOption(const CommandHost& host)
{
    return SafetyOption{host.safetyTicked(), host.safetyDirectory()};
}

// A confirmed main-window removal leaves the bulk button disabled on every way out, so a further bulk run
// needs a fresh search or a single-row click first.
class BulkButtonOff
{
public:
    explicit BulkButtonOff(CommandHost& host) : m_host(host) {}
    ~BulkButtonOff() { m_host.disableBulkRemoval(); }
    BulkButtonOff(const BulkButtonOff&) = delete;
    BulkButtonOff& operator=(const BulkButtonOff&) = delete;

private:
    CommandHost& m_host;
};

struct RowKey
{
    std::string_view directory;
    std::string_view name;
    bool operator==(const RowKey&) const = default;
};

struct RowKeyHash
{
    std::size_t operator()(const RowKey& key) const
    {
        const std::size_t h = std::hash<std::string_view>{}(key.directory);
        return h ^ (std::hash<std::string_view>{}(key.name) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2));
    }
};

// The pairs that each selected row can name, in list order, gathered in one pass so that a large selection over a
// large list does not rescan the list once per row.
struct RowCandidates
{
    std::vector<std::size_t> pairs;
    std::size_t next = 0; ///< pairs before it are known to be Deleted
};

} // namespace

std::int32_t& MainFormState::counterOf(Side side)
{
    return side == Side::Location1 || SameDir ? countallfiles1 : countallfiles2;
}

bool MainFormState::partnerStillHolds(const TFileF& pair, Side side)
{
    // The partner may be the last copy left. It must still be there, and be another file than the one to go: a
    // partner replaced by a link to it, or a directory of it replaced by a link, leads back to the same file.
    const std::optional<FileId> partner = m_fs.fileIdentity(SideDirectory(pair, OtherSide(side)) + pair.Name);
    if (!partner)
        return false;
    const std::optional<FileId> chosen = m_fs.fileIdentity(SideDirectory(pair, side) + pair.Name);
    return !chosen || *chosen != *partner;
}

RemoveOutcome MainFormState::removePairSide(std::size_t index, Side side, const SafetyOption& safety)
{
    const TFileF& pair = FCompared[index];
    const PathString path = SideDirectory(pair, side) + pair.Name;
    if (!partnerStillHolds(pair, side))
        return m_fs.exists(path) ? RemoveOutcome::StillPresent : RemoveOutcome::Gone;
    return RemovePairFile(path, safety, m_fs);
}

RemovalReport MainFormState::btnDeleteClick(CommandHost& host)
{
    RemovalReport report;
    if (busy())
        return report;
    FlagScope removing(m_removing);
    if (!host.confirm(kDeleteAllQuestion))
        return report;
    BulkButtonOff buttonOff(host);
    report.ran = true;
    report.total = static_cast<std::int32_t>(FCompared.size());
    for (std::size_t i = 0; i < FCompared.size(); ++i) {
        if (FCompared[i].Deleted)
            continue;
        switch (removePairSide(i, Side::Location2, ReadSafetyOption(host))) {
        case RemoveOutcome::Removed:
            ++report.count;
            FCompared[i].Deleted = true;
            --counterOf(Side::Location2);
            break;
        case RemoveOutcome::Gone: FCompared[i].Deleted = true; break;
        case RemoveOutcome::StillPresent: break;
        }
        host.serviceEvents();
    }
    host.inform(DeletedMessage(report.count, report.total));
    host.rebuildResultsTable();
    return report;
}

RemovalReport MainFormState::btnDelDir1Click(const std::vector<SelectedRow>& rows, CommandHost& host)
{
    return removeSelectedRows(rows, Side::Location1, host);
}

RemovalReport MainFormState::btnDelDir2Click(const std::vector<SelectedRow>& rows, CommandHost& host)
{
    return removeSelectedRows(rows, Side::Location2, host);
}

RemovalReport MainFormState::removeSelectedRows(const std::vector<SelectedRow>& rows, Side side, CommandHost& host)
{
    RemovalReport report;
    if (busy())
        return report;
    FlagScope removing(m_removing);
    if (!host.confirm(kDeleteSelectedQuestion))
        return report;
    BulkButtonOff buttonOff(host);
    report.ran = true;
    report.total = static_cast<std::int32_t>(rows.size());

    std::unordered_map<RowKey, RowCandidates, RowKeyHash> candidates;
    for (const SelectedRow& row : rows)
        candidates.try_emplace(RowKey{row.directory, row.name});
    for (std::size_t i = 0; i < FCompared.size(); ++i) {
        const auto found = candidates.find(RowKey{SideDirectory(FCompared[i], side), FCompared[i].Name});
        if (found != candidates.end())
            found->second.pairs.push_back(i);
    }

    for (const SelectedRow& row : rows) {
        RowCandidates& rowPairs = candidates.at(RowKey{row.directory, row.name});
        // Deleted flags are only ever set, so pairs passed over for one row stay passed over for the next.
        while (rowPairs.next < rowPairs.pairs.size() && FCompared[rowPairs.pairs[rowPairs.next]].Deleted)
            ++rowPairs.next;
        if (rowPairs.next == rowPairs.pairs.size())
            continue;
        const std::size_t index = rowPairs.pairs[rowPairs.next];
        switch (removePairSide(index, side, ReadSafetyOption(host))) {
        case RemoveOutcome::Removed:
            ++report.count;
            FCompared[index].Deleted = true;
            --counterOf(side);
            break;
        case RemoveOutcome::Gone: FCompared[index].Deleted = true; break;
        case RemoveOutcome::StillPresent: break;
        }
        if (!m_fs.exists(SideDirectory(FCompared[index], side) + FCompared[index].Name))
            MarkSiblingsDeleted(FCompared, index, side);
    }
    host.inform(DeletedMessage(report.count, report.total));
    host.rebuildResultsTable();
    return report;
}

std::optional<RemoveOutcome> MainFormState::DetailedViewDeleteClick(std::size_t fileIndex, Side side, CommandHost& host)
{
    if (busy() || fileIndex >= FCompared.size())
        return std::nullopt;
    FlagScope removing(m_removing);
    if (!host.confirm(kDeleteSelectedQuestion))
        return std::nullopt;

    const TFileF& pair = FCompared[fileIndex];
    const PathString chosen = SideDirectory(pair, side) + pair.Name;
    bool removed = false;
    // A file already missing counts as gone, like one this click removed.
    if (m_fs.exists(chosen)) {
        if (!partnerStillHolds(pair, side))
            return RemoveOutcome::StillPresent;
        const SafetyOption safety = ReadSafetyOption(host);
        const PathString target = SafetyTargetPath(chosen, safety.directory, m_fs);
        if (!safety.ticked || m_fs.exists(target)) {
            removed = m_fs.deleteFile(chosen);
        } else {
            CreateParentDirectories(target, m_fs);
            // Unlike the main window's commands, a failed move here is not followed by a delete in place.
            removed = m_fs.moveFile(chosen, target);
        }
        if (!removed && m_fs.exists(chosen))
            return RemoveOutcome::StillPresent;
    }
    --counterOf(side);
    MarkSiblingsDeleted(FCompared, fileIndex, side);
    FCompared[fileIndex].Deleted = true;
    return removed ? RemoveOutcome::Removed : RemoveOutcome::Gone;
}

} // namespace twinspotter
