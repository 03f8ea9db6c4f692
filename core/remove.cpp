// Removing duplicate copies: one file, its sibling pairs, and the three removal commands of the main window.
#include "core/remove.h"

#include "core/FlagScope.h"
#include "core/MainFormState.h"
#include "core/OnDisk.h"

#include <algorithm>
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

namespace {

Side OtherSide(Side side)
{
    return side == Side::Location1 ? Side::Location2 : Side::Location1;
}

const FileStamp& SideStamp(const TFileF& pair, Side side)
{
    return side == Side::Location1 ? pair.Stamp1 : pair.Stamp2;
}

} // namespace

bool RemovalReport::failed() const
{
    return std::any_of(kept.begin(), kept.end(), [](const KeptFile& file) { return !file.byRule(); });
}

RemovalResult RemovePairFile(const TFileF& pair, Side side, const SafetyOption& safety,
                             std::span<const LocationRoot> locations, FileSystem& fs, DirectoryCache* cache)
{
    const Side other = OtherSide(side);
    RemovalRequest request{{SideDirectory(pair, side), pair.Name, SideStamp(pair, side)},
                           {SideDirectory(pair, other), pair.Name, SideStamp(pair, other)},
                           locations,
                           nullptr,
                           {},
                           cache};
    if (safety.ticked) {
        request.safetyDirectory = &safety.directory;
        const PathString absolute = AbsoluteFilePath(SideDirectory(pair, side) + pair.Name, fs);
        request.mirroredDirectory = absolute.substr(0, absolute.rfind(kSeparator) + 1);
    }
    return fs.removeFile(request);
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

RemovalResult MainFormState::removePairSide(std::size_t index, Side side, const SafetyOption& safety,
                                            DirectoryCache* cache)
{
    return RemovePairFile(FCompared[index], side, safety, m_locations, m_fs, cache);
}

void MainFormState::applyOutcome(std::size_t index, Side side, const RemovalResult& result, RemovalReport& report)
{
    TFileF& pair = FCompared[index];
    switch (result.outcome) {
    case RemoveOutcome::Removed:
        ++report.count;
        pair.Deleted = true;
        --counterOf(side);
        break;
    case RemoveOutcome::Gone:
        pair.Deleted = true;
        break;
    case RemoveOutcome::StillPresent:
        report.kept.push_back({SideDirectory(pair, side) + pair.Name, result.reason, result.error});
        break;
    }
}

void MainFormState::finishRemoval(const RemovalReport& report, CommandHost& host)
{
    host.inform(DeletedMessage(report.count, report.total));
    if (!report.kept.empty())
        host.reportKept(report.kept);
    host.rebuildResultsTable();
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
    DirectoryCache folders;
    for (std::size_t i = 0; i < FCompared.size(); ++i) {
        if (FCompared[i].Deleted)
            continue;
        applyOutcome(i, Side::Location2, removePairSide(i, Side::Location2, ReadSafetyOption(host), &folders), report);
        host.serviceEvents();
    }
    finishRemoval(report, host);
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

    DirectoryCache folders;
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
        const RemovalResult result = removePairSide(index, side, ReadSafetyOption(host), &folders);
        applyOutcome(index, side, result, report);
        if (result.outcome != RemoveOutcome::StillPresent)
            MarkSiblingsDeleted(FCompared, index, side);
    }
    finishRemoval(report, host);
    return report;
}

std::optional<RemoveOutcome> MainFormState::DetailedViewDeleteClick(std::size_t fileIndex, Side side, CommandHost& host)
{
    if (busy() || fileIndex >= FCompared.size())
        return std::nullopt;
    FlagScope removing(m_removing);
    if (!host.confirm(kDeleteSelectedQuestion))
        return std::nullopt;

    const RemovalResult result = removePairSide(fileIndex, side, ReadSafetyOption(host), nullptr);
    if (result.outcome == RemoveOutcome::StillPresent) {
        const TFileF& pair = FCompared[fileIndex];
        host.reportKept({{SideDirectory(pair, side) + pair.Name, result.reason, result.error}});
        return result.outcome;
    }
    --counterOf(side);
    MarkSiblingsDeleted(FCompared, fileIndex, side);
    FCompared[fileIndex].Deleted = true;
    return result.outcome;
}

} // namespace twinspotter
