// Removing duplicate copies: the safety-directory path rule, the removal of one file, and sibling marking.
#pragma once

#include "core/ChainIndex.h"
#include "core/FileRecord.h"
#include "core/FileSystem.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace twinspotter {

/// Which file of a pair: directory1 + name or directory2 + name.
enum class Side { Location1 = 1, Location2 = 2 };

/// One selected results-table row as the table showed it when a selected-rows command started.
struct SelectedRow
{
    PathString directory; ///< the side's location column
    PathString name;      ///< the file-name column
};

/// What one of the session's removal commands did.
struct RemovalReport
{
    bool ran = false;           ///< false when refused (another command running) or not confirmed
    std::int32_t count = 0;     ///< files moved or deleted
    std::int32_t total = 0;     ///< the second number of the closing message
    std::vector<KeptFile> kept; ///< files it set out to remove and left, in the order met

    /// True when a file stayed for a reason other than the pairing rules.
    bool failed() const;
};

inline constexpr std::string_view kDeleteAllQuestion = "Are you sure you want to delete all files?";
inline constexpr std::string_view kDeleteSelectedQuestion = "Are you sure you want to delete these files?";

/// "%d files was deleted from total of %d".
std::string deletedMessage(std::int32_t count, std::int32_t total);

/// \p path made absolute against the working directory, with "." and ".." resolved by text, so the result can be
/// mirrored under another directory without climbing out of it.
PathString absoluteFilePath(const PathString& path, FileSystem& fs);

/// Where \p path goes inside the safety directory: \p safetyDir's text followed directly by the file's absolute
/// path (which begins with the separator; on Windows less its drive, "D:"), no separator added or removed. Pure:
/// nothing on disk changes.
PathString safetyTargetPath(const PathString& path, const PathString& safetyDir, FileSystem& fs);

/// The safety directory a first tick fills in: the working directory followed by "/Savedir" (so "//Savedir" when
/// the working directory is the root; "\Savedir" and "C:\\Savedir" on Windows).
PathString defaultSafetyDirectory(FileSystem& fs);

/// The text the safety directory field takes when the option is ticked: the field's own text, or the default when
/// the field is empty, so unticking and ticking again keeps a browsed directory.
PathString safetyDirectoryOnTick(const PathString& currentText, FileSystem& fs);

/// Creates the safety directory \p text names when none exists there (one directory: its parent must exist), as the
/// window does whenever the text changes. A failure is silent; moves create the chain again per file.
void ensureSafetyDirectory(const PathString& text, FileSystem& fs);

/// Removes the file on \p side of \p pair to \p target: into the Trash of its own file system, to its
/// safetyTargetPath (creating the folders on the way), or deleted;
/// never replaces a file in the safety directory, and never deletes a file the move could not take. Goes ahead only
/// while the file and its partner are still the files the search recorded and two different files, reached without a
/// link below the \p locations the search walked. \p cache, when given, keeps the folders reached for the next files of
/// the same command.
RemovalResult removePairFile(const FileRecord& pair, Side side, const RemovalTarget& target,
                             std::span<const LocationRoot> locations, FileSystem& fs, RemovalCache* cache = nullptr);

/// Marks deleted every pair that names the same file on \p side as pair \p index (same directory text, name, size
/// and date), pair \p index included. Siblings are not counted anywhere. One pass over the list.
void markSiblingsDeleted(FileList& pairs, std::size_t index, Side side);

/// The pairs grouped by the file they name on one side, made once for a command that marks siblings many times:
/// each marking then costs the pairs that share the file, not a pass over the whole list.
class SiblingIndex
{
public:
    SiblingIndex(const FileList& pairs, Side side);
    /// Does what markSiblingsDeleted does. The list must not have grown since the index was made.
    void markDeleted(FileList& pairs, std::size_t index) const;

private:
    Side m_side;
    ChainIndex m_index;
};

/// The side's directory field of \p pair.
const PathString& sideDirectory(const FileRecord& pair, Side side);

} // namespace twinspotter
