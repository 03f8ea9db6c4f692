// What a removal does with one file and what became of it: the target the user chose, the request, the outcome and
// why a file stayed.
#pragma once

#include "core/FileRecord.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>

namespace twinspotter {

/// What became of a file a removal was asked to remove.
enum class RemoveOutcome {
    Removed,     ///< moved into the safety directory or deleted by this call
    Gone,        ///< not removed by this call, but it is no longer where the search found it
    StillPresent ///< the file is still there
};

/// Why a file that a removal set out to remove is still there.
enum class KeepReason : std::uint8_t {
    None,
    PartnerGone,          ///< the copy that would stay is missing: this one may be the last
    PartnerChanged,       ///< the partner is no longer the file the search found
    PartnerUnreachable,   ///< the partner cannot be looked at (error)
    PartnerIsSameFile,    ///< the partner is now this very file
    PartnerMaybeSameFile, ///< the partner looks like this file seen through another mount
    FileChanged,          ///< the file is no longer the one the search found
    LocationReplaced,     ///< the location folder is no longer the one the search walked
    LinkOnPath,           ///< a folder on the way to the file is now a symbolic link
    Unreachable,          ///< the file cannot be looked at (error)
    DeleteFailed,         ///< the delete was refused (error)
    TargetTaken,          ///< a file of that name is already where it was to go
    SafetyPathBlocked,    ///< a link or a file stands where the safety directory needs a folder
    MoveFailed,           ///< the safety directory cannot take the file (error)
    CopyFailed,           ///< the copy onto the safety directory's file system failed (error)
    SourceNotRemoved,     ///< copied, but the original could not be removed, so the copy was taken back (error)
    AlreadyGone,          ///< not there any more when the removal came to it: removed by something else
    NoTrash,              ///< its own file system has no Trash it may go to (error)
    TrashFailed,          ///< the Trash refused it (error)
    DistinctnessUnproven, ///< it could not be set aside to prove it is another file than its partner (error)
    LeftUnderHeldName,    ///< set aside for that proof, it could not get its name back (error)
    NoSafeMove,           ///< its file system cannot move a file without the risk of replacing another
    SafetyHoldsLocation,  ///< the safety directory contains its location: it would be moved onto itself
};

/// Words for the user: why the file stayed.
std::string keepReasonText(KeepReason reason, int error);

struct RemovalResult
{
    RemoveOutcome outcome = RemoveOutcome::StillPresent;
    KeepReason reason = KeepReason::None;
    int error = 0; ///< the errno behind the reason, when there is one

    static RemovalResult done() { return {RemoveOutcome::Removed, KeepReason::None, 0}; }
    static RemovalResult gone() { return {RemoveOutcome::Gone, KeepReason::None, 0}; }
    static RemovalResult kept(KeepReason why, int error = 0) { return {RemoveOutcome::StillPresent, why, error}; }
};

/// Why a recorded directory could not be reached.
enum class ReachFailure {
    None,
    Missing,          ///< it, or a folder above it, no longer exists
    Link,             ///< a folder on the way is now a symbolic link or reparse point
    LocationReplaced, ///< the location no longer leads to the directory the search walked
    Error             ///< anything else; the error number says what
};

/// What a removal reports when the folder of its file (or, with \p partnerFolder, of the partner) could not be
/// reached for \p failure, \p error being the error number behind an Error; nothing when it was reached.
std::optional<RemovalResult> unreachedFolderResult(ReachFailure failure, bool partnerFolder, int error);

/// A file that a removal command set out to remove and did not: left where it is, or found gone already.
struct KeptFile
{
    PathString path;
    KeepReason reason = KeepReason::None;
    int error = 0;

    std::string text() const { return keepReasonText(reason, error); }
    /// Not a failure: left by the pairing rules (its partner is gone), or gone before the removal came to it.
    bool byRule() const { return reason == KeepReason::PartnerGone || reason == KeepReason::AlreadyGone; }
};

/// Where a removal puts a file: the user's one choice, built once per command by the window or the scanner and
/// dispatched once, in the removal of each file. A new place is one alternative here and one function beside it.
struct Delete
{
};
/// Under the safety directory as the user named it, the file's own folder rebuilt below it.
struct MoveToSafetyDirectory
{
    PathString directory;
};
/// Into the Trash of the file's own file system (the Recycle Bin on Windows).
struct MoveToTrash
{
};
using RemovalTarget = std::variant<Delete, MoveToSafetyDirectory, MoveToTrash>;

class RemovalCache;

/// One removal: the file to go, the copy that must stay, and where the file goes.
struct RemovalRequest
{
    RecordedFile file;
    RecordedFile partner;
    /// The locations the search walked; a file below one of them is reached from it without following any link.
    std::span<const LocationRoot> locations;
    const RemovalTarget& target;
    /// The file's folder as the walk really reached it, absolute, links resolved, ending with the separator: the
    /// path rebuilt under the safety directory, and the one the Trash records.
    PathString folder;
    /// What this command has already reached; null for a removal on its own.
    RemovalCache* cache = nullptr;
};

} // namespace twinspotter
