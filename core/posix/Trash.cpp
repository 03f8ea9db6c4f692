// Finding the Trash of a file's mount, making its folders, and the info-first move into it.
#include "core/posix/Trash.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>

namespace twinspotter {

namespace {

constexpr std::string_view kInfoSuffix = ".trashinfo";

RemovalResult noTrash(int error)
{
    return RemovalResult::kept(KeepReason::NoTrash, error);
}

// The mount a path lies on: the kernel's mount id, or its device where the kernel has no mount ids (two mounts of
// one device then look alike, and a move between them fails as across file systems).
bool mountOf(int dirFd, const char* path, int flags, std::uint64_t& mount)
{
    struct statx sx
    {
    };
    if (::statx(dirFd, path, flags, STATX_MNT_ID, &sx) != 0)
        return false;
    mount = (sx.stx_mask & STATX_MNT_ID)
                ? sx.stx_mnt_id
                : (std::uint64_t(1) << 63) | (std::uint64_t(sx.stx_dev_major) << 32) | sx.stx_dev_minor;
    return true;
}

// $XDG_DATA_HOME when it is set to an absolute path, otherwise $HOME/.local/share.
PathString xdgDataHome()
{
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == kSeparator)
        return xdg;
    const char* home = std::getenv("HOME");
    PathString base = home && home[0] ? home : "";
    if (base.empty())
        if (const passwd* user = ::getpwuid(::geteuid()))
            base = user->pw_dir;
    return base + "/.local/share";
}

// The mount the home Trash lies on, or would once its missing folders are made: the Trash folder may be a mount of
// its own.
bool mountOfHome(const PathString& dataHome, std::uint64_t& mount)
{
    PathString path = dataHome + "/Trash";
    while (!mountOf(AT_FDCWD, path.c_str(), 0, mount)) {
        if (errno != ENOENT || path.size() <= 1)
            return false;
        path.erase(std::max<std::size_t>(1, path.rfind(kSeparator)));
    }
    return true;
}

PathString parentOf(const PathString& path)
{
    const std::size_t slash = path.rfind(kSeparator);
    return slash == 0 ? PathString(1, kSeparator) : path.substr(0, slash);
}

// Makes (unless there) and opens files/ and info/ of the Trash directory \p trash, never through a link.
bool openTrashFolders(int trash, TrashDirectory& out, const SystemCalls& calls)
{
    for (const auto& [name, fd] : {std::pair{"files", &out.files}, std::pair{"info", &out.info}}) {
        if (calls.mkdirat(trash, name, 0700) != 0 && errno != EEXIST)
            return false;
        fd->reset(calls.openat(trash, name, kDirectoryFlags | O_NOFOLLOW, 0));
        if (!*fd)
            return false;
    }
    return true;
}

// A Trash directory below the top directory that only this user may own: a directory, no link, and ours.
UniqueFd openOwnDirectory(int parent, const char* name, const SystemCalls& calls)
{
    if (calls.mkdirat(parent, name, 0700) != 0 && errno != EEXIST)
        return {};
    UniqueFd fd(calls.openat(parent, name, kDirectoryFlags | O_NOFOLLOW, 0));
    struct stat st
    {
    };
    if (fd && (::fstat(fd.get(), &st) != 0 || st.st_uid != ::geteuid())) {
        errno = EPERM;
        return {};
    }
    return fd;
}

bool openHomeTrash(const PathString& dataHome, TrashDirectory& out, const SystemCalls& calls)
{
    // The home Trash and the folders above it are the user's own, links and all; missing ones are made private.
    const PathString trash = dataHome + "/Trash";
    if (!makeFolderChain(trash, 0700, calls))
        return false;
    const UniqueFd fd(calls.openat(AT_FDCWD, trash.c_str(), kDirectoryFlags, 0));
    return fd && openTrashFolders(fd.get(), out, calls);
}

bool openTopTrash(const PathString& top, TrashDirectory& out, const SystemCalls& calls)
{
    const UniqueFd topFd(calls.openat(AT_FDCWD, top.c_str(), kDirectoryFlags, 0));
    if (!topFd)
        return false;
    const std::string uid = std::to_string(::geteuid());
    // $topdir/.Trash only when an administrator made it sticky and it is no link; then $topdir/.Trash/$uid.
    struct stat st
    {
    };
    if (calls.fstatat(topFd.get(), ".Trash", &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode) &&
        (st.st_mode & S_ISVTX)) {
        const UniqueFd shared(calls.openat(topFd.get(), ".Trash", kDirectoryFlags | O_NOFOLLOW, 0));
        if (shared) {
            const UniqueFd own = openOwnDirectory(shared.get(), uid.c_str(), calls);
            if (own && openTrashFolders(own.get(), out, calls))
                return true;
        }
    }
    const UniqueFd own = openOwnDirectory(topFd.get(), (".Trash-" + uid).c_str(), calls);
    return own && openTrashFolders(own.get(), out, calls);
}

// The Trash for files on \p mount, opened once per command; \p directory is the file's folder as the kernel names it.
TrashDirectory* findTrash(std::uint64_t mount, const PathString& directory, TrashDirectories& trashes,
                          const SystemCalls& calls)
{
    for (TrashDirectory& trash : trashes)
        if (trash.mount == mount)
            return &trash;
    TrashDirectory trash;
    trash.mount = mount;
    const PathString dataHome = xdgDataHome();
    std::uint64_t homeMount = 0;
    if (mountOfHome(dataHome, homeMount) && homeMount == mount) {
        if (!openHomeTrash(dataHome, trash, calls))
            return nullptr;
    } else {
        // The top directory: the highest folder above the file that is still on its mount.
        trash.top = directory;
        std::uint64_t above = 0;
        while (trash.top.size() > 1 && mountOf(AT_FDCWD, parentOf(trash.top).c_str(), AT_SYMLINK_NOFOLLOW, above) &&
               above == mount)
            trash.top = parentOf(trash.top);
        if (!openTopTrash(trash.top, trash, calls))
            return nullptr;
    }
    trashes.push_back(std::move(trash));
    return &trashes.back();
}

std::string infoText(const std::string& pathValue)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char date[32] = "";
    if (::localtime_r(&now, &local))
        std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    return "[Trash Info]\nPath=" + pathValue + "\nDeletionDate=" + date + "\n";
}

bool writeInfo(int fd, const std::string& text)
{
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

std::string trashInfoPathValue(const PathString& path)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string value;
    value.reserve(path.size());
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') || c == '-' ||
            c == '.' || c == '_' || c == '~' || c == kSeparator) {
            value += c;
        } else {
            value += '%';
            value += kHex[byte >> 4];
            value += kHex[byte & 0x0F];
        }
    }
    return value;
}

PathString trashEntryName(const PathString& name, unsigned number)
{
    // Room for the info file's suffix and a number of ten digits; a cut never splits a UTF-8 sequence.
    PathString base = name;
    const std::size_t room = NAME_MAX - kInfoSuffix.size() - 11;
    if (base.size() > room) {
        std::size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80)
            --cut;
        // A name of nothing but continuation bytes is no UTF-8 to keep whole: cut it where the room ends.
        base.resize(cut > 0 ? cut : room);
    }
    if (number == 1)
        return base;
    const std::size_t dot = base.find('.');
    const std::string suffix = "." + std::to_string(number);
    return dot == PathString::npos ? base + suffix : base.substr(0, dot) + suffix + base.substr(dot);
}

RemovalResult moveToTrash(int dir, const PathString& current, const PathString& name, const PathString& folder,
                          const struct stat& st, TrashDirectories& trashes, const SystemCalls& calls)
{
    std::uint64_t mount = 0;
    if (!mountOf(dir, current.c_str(), AT_SYMLINK_NOFOLLOW, mount))
        return RemovalResult::kept(KeepReason::TrashFailed, errno);
    PathString directory = folder;
    if (directory.size() > 1 && directory.back() == kSeparator)
        directory.pop_back();
    if (directory.empty() || directory.front() != kSeparator)
        return RemovalResult::kept(KeepReason::TrashFailed, ENOENT);
    TrashDirectory* trash = findTrash(mount, directory, trashes, calls);
    if (!trash)
        return noTrash(errno);

    const PathString original = (directory.size() > 1 ? directory : PathString()) + kSeparator + name;
    // Relative to the top directory in a Trash of its own, absolute in the home Trash.
    const std::string info = infoText(trashInfoPathValue(
        trash->top.empty() ? original : original.substr(trash->top.size() > 1 ? trash->top.size() + 1 : 1)));
    unsigned& number = trash->nextNumber.try_emplace(name, 1).first->second;
    for (unsigned attempts = 0; attempts < 100'000; ++attempts, ++number) {
        const PathString entry = trashEntryName(name, number);
        const PathString infoName = entry + std::string(kInfoSuffix);
        const UniqueFd infoFd(calls.openat(trash->info.get(), infoName.c_str(),
                                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!infoFd) {
            if (errno == EEXIST)
                continue;
            return RemovalResult::kept(KeepReason::TrashFailed, errno);
        }
        if (!writeInfo(infoFd.get(), info)) {
            const int error = errno;
            (void)calls.unlinkat(trash->info.get(), infoName.c_str(), 0);
            return RemovalResult::kept(KeepReason::TrashFailed, error);
        }
        const RemovalResult moved = moveWithoutReplacing(dir, current, st, trash->files.get(), entry, false, calls);
        if (moved.outcome == RemoveOutcome::Removed) {
            ++number;
            return moved;
        }
        (void)calls.unlinkat(trash->info.get(), infoName.c_str(), 0);
        if (moved.reason == KeepReason::TargetTaken)
            continue;
        if (moved.outcome == RemoveOutcome::Gone)
            return moved;
        return moved.error == EXDEV ? noTrash(EXDEV) : RemovalResult::kept(KeepReason::TrashFailed, moved.error);
    }
    return RemovalResult::kept(KeepReason::TrashFailed, EEXIST);
}

} // namespace twinspotter
