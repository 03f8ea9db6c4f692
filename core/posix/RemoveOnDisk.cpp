// The removal of one recorded file on Linux: reached through checked descriptors, proven to be another file than its
// partner, then deleted or moved where the user chose.
#include "core/posix/RemoveOnDisk.h"

#include "core/posix/SameFileProof.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace twinspotter {

namespace {

// A folder made in the safety directory is as private as the folder it mirrors: a file from a folder only its owner
// may enter must not become readable by everyone there. Set on the folder itself, never through a link.
void giveModeOf(const PathString& mirroredFolder, int parent, const PathString& name, const SystemCalls& calls)
{
    struct stat original
    {
    };
    if (::stat(mirroredFolder.c_str(), &original) != 0)
        return;
    const UniqueFd made(calls.openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0));
    if (made)
        (void)::fchmod(made.get(), original.st_mode & 07777);
}

// Opens the safety directory as the user named it, then makes and enters each folder of \p mirrored beneath it
// without following a link: a link planted there is a failed move, never a way out of the safety directory.
UniqueFd openMirroredDirectory(const PathString& safetyDirectory, const PathString& mirrored, const SystemCalls& calls,
                               RemovalResult& failure)
{
    if (safetyDirectory.empty()) {
        failure = RemovalResult::kept(KeepReason::MoveFailed, ENOENT);
        return {};
    }
    UniqueFd current(calls.openat(AT_FDCWD, safetyDirectory.c_str(), kDirectoryFlags, 0));
    if (!current && errno == ENOENT) {
        // The safety directory itself is the user's choice, links and all: its missing folders are made by name.
        if (!makeFolderChain(safetyDirectory, 0777, calls)) {
            failure = RemovalResult::kept(KeepReason::MoveFailed, errno);
            return {};
        }
        current.reset(calls.openat(AT_FDCWD, safetyDirectory.c_str(), kDirectoryFlags, 0));
    }
    if (!current) {
        failure = RemovalResult::kept(KeepReason::MoveFailed, errno);
        return {};
    }
    std::size_t start = 0;
    while (start < mirrored.size()) {
        std::size_t end = mirrored.find(kSeparator, start);
        if (end == PathString::npos)
            end = mirrored.size();
        const PathString component = mirrored.substr(start, end - start);
        start = end + 1;
        if (component.empty() || component == ".")
            continue;
        if (component == "..") {
            failure = RemovalResult::kept(KeepReason::SafetyPathBlocked);
            return {};
        }
        const bool made = calls.mkdirat(current.get(), component.c_str(), 0700) == 0;
        if (!made && errno != EEXIST) {
            failure = RemovalResult::kept(KeepReason::MoveFailed, errno);
            return {};
        }
        if (made)
            giveModeOf(mirrored.substr(0, end), current.get(), component, calls);
        const int fd = calls.openat(current.get(), component.c_str(), kDirectoryFlags | O_NOFOLLOW, 0);
        if (fd < 0) {
            failure = errno == ENOTDIR || errno == ELOOP ? RemovalResult::kept(KeepReason::SafetyPathBlocked)
                                                         : RemovalResult::kept(KeepReason::MoveFailed, errno);
            return {};
        }
        current.reset(fd);
    }
    return current;
}

} // namespace

namespace {

// Each target is one function; the request's choice picks it once.
RemovalResult removeTo(const Delete&, const RemovalRequest&, int dir, const PathString& current, const struct stat&,
                       RemovalCache&, const SystemCalls& calls)
{
    if (calls.unlinkat(dir, current.c_str(), 0) == 0)
        return RemovalResult::done();
    return errno == ENOENT ? RemovalResult::gone() : RemovalResult::kept(KeepReason::DeleteFailed, errno);
}

RemovalResult removeTo(const MoveToTrash&, const RemovalRequest& request, int dir, const PathString& current,
                       const struct stat& st, RemovalCache& cache, const SystemCalls& calls)
{
    return moveToTrash(dir, current, request.file.name, request.folder, st, cache.trashes, calls);
}

RemovalResult removeTo(const MoveToSafetyDirectory& safety, const RemovalRequest& request, int dir,
                       const PathString& current, const struct stat& st, RemovalCache& cache, const SystemCalls& calls)
{
    // Folders of the safety directory are made by this program, so they are kept open like the others.
    const PathString targetKey = safety.directory + '\0' + request.folder;
    int target = cache.folders.find(targetKey);
    if (target < 0) {
        RemovalResult blocked;
        UniqueFd opened = openMirroredDirectory(safety.directory, request.folder, calls, blocked);
        if (!opened)
            return blocked;
        target = cache.folders.keep(targetKey, std::move(opened));
    }
    struct stat from
    {
    };
    struct stat to
    {
    };
    if (::fstat(dir, &from) == 0 && ::fstat(target, &to) == 0 && sameInode(from, to))
        return RemovalResult::kept(KeepReason::SafetyHoldsLocation);
    return moveWithoutReplacing(dir, current, st, target, request.file.name, true, calls);
}

} // namespace

RemovalResult removeOnDisk(const RemovalRequest& request, const SystemCalls& calls)
{
    RemovalCache ownCache;
    RemovalCache& cache = request.cache ? *request.cache : ownCache;
    ReachFailure failure = ReachFailure::None;
    int error = 0;
    const int dir = reachRecordedDirectory(request.file.directory, request.locations, cache.folders, failure, error);
    if (const std::optional<RemovalResult> unreached = unreachedFolderResult(failure, false, error))
        return *unreached;
    const PathString& name = request.file.name;
    struct stat st
    {
    };
    if (calls.fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT || errno == ENOTDIR ? RemovalResult::gone()
                                                   : RemovalResult::kept(KeepReason::Unreachable, errno);
    if (!matchesStamp(st, request.file.stamp))
        return RemovalResult::kept(KeepReason::FileChanged);

    // The partner may be the last copy left: it must still be there, be what the search found, and be another file.
    const int partnerDir =
        reachRecordedDirectory(request.partner.directory, request.locations, cache.folders, failure, error);
    if (const std::optional<RemovalResult> unreached = unreachedFolderResult(failure, true, error))
        return *unreached;
    struct stat partner
    {
    };
    if (calls.fstatat(partnerDir, request.partner.name.c_str(), &partner, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT || errno == ENOTDIR ? RemovalResult::kept(KeepReason::PartnerGone)
                                                   : RemovalResult::kept(KeepReason::PartnerUnreachable, errno);
    if (!matchesStamp(partner, request.partner.stamp))
        return RemovalResult::kept(KeepReason::PartnerChanged);
    if (sameInode(partner, st))
        return RemovalResult::kept(KeepReason::PartnerIsSameFile);
    if (maybeSameFile(partner, st))
        return RemovalResult::kept(KeepReason::PartnerMaybeSameFile);

    // On one device two inode numbers are two files. Across devices they prove nothing: an overlay, a FUSE or a
    // network mirror may show this very file under numbers and times of its own.
    HeldFile held;
    if (partner.st_dev != st.st_dev) {
        if (overlayMayShare(dir, st, partnerDir, partner))
            return RemovalResult::kept(KeepReason::PartnerMaybeSameFile);
        const RemovalResult proof = proveDistinct(dir, name, st, partnerDir, request.partner, held, calls);
        // A read-only file system refuses the removal itself: say that, as on one device.
        if (proof.reason == KeepReason::DistinctnessUnproven && proof.error == EROFS)
            return RemovalResult::kept(std::holds_alternative<MoveToTrash>(request.target) ? KeepReason::NoTrash
                                       : std::holds_alternative<MoveToSafetyDirectory>(request.target)
                                           ? KeepReason::MoveFailed
                                           : KeepReason::DeleteFailed,
                                       EROFS);
        if (proof.outcome != RemoveOutcome::Removed)
            return proof;
    }
    const PathString& current = held.name.empty() ? name : held.name;
    const struct stat& now = held.name.empty() ? st : held.st;
    RemovalResult result = std::visit(
        [&](const auto& target) { return removeTo(target, request, dir, current, now, cache, calls); }, request.target);
    if (result.outcome == RemoveOutcome::StillPresent)
        releaseHeldFile(dir, name, held, result, calls);
    return result;
}

} // namespace twinspotter
