// The descriptor-level steps of a removal: the file system may change between any two calls, so every step works on
// a descriptor that was checked, and nothing is ever reached through a link below the user's location.
#include "core/posix/OnDisk.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace twinspotter {

namespace {

constexpr std::size_t kCopyBlock = 1 << 20;

ReachFailure failureOf(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return ReachFailure::Missing;
    case ELOOP:
        return ReachFailure::Link;
    default:
        return ReachFailure::Error;
    }
}

int openWithoutLinks(int base, const PathString& path)
{
    open_how how{};
    how.flags = kDirectoryFlags;
    how.resolve = RESOLVE_NO_SYMLINKS;
    return static_cast<int>(::syscall(SYS_openat2, base, path.c_str(), &how, sizeof how));
}

// One folder at a time: for kernels without openat2 and for paths longer than the kernel takes in one piece.
int openComponentByComponent(int base, const PathString& path)
{
    UniqueFd current;
    if (!path.empty() && path.front() == kSeparator) {
        current.reset(::open("/", kDirectoryFlags));
        if (!current)
            return -1;
    } else {
        current.reset(::openat(base, ".", kDirectoryFlags));
        if (!current)
            return -1;
    }
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = path.find(kSeparator, start);
        if (end == PathString::npos)
            end = path.size();
        if (end > start) {
            const PathString component = path.substr(start, end - start);
            const int fd = ::openat(current.get(), component.c_str(), kDirectoryFlags | O_NOFOLLOW);
            if (fd < 0) {
                int error = errno;
                // A link opened without following reports itself as "not a directory".
                struct stat st
                {
                };
                if (error == ENOTDIR && ::fstatat(current.get(), component.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                    S_ISLNK(st.st_mode))
                    error = ELOOP;
                errno = error;
                return -1;
            }
            current.reset(fd);
        }
        start = end + 1;
    }
    return current.release();
}

std::int64_t nanoseconds(const struct timespec& t)
{
    return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// The file a copy is written into. Where the file system allows it, the file has no name until it is whole; where it
// does not (vfat, exFAT, network file systems), it has a temporary name of its own beside the target, made with
// O_EXCL and without following links, so it can never be something planted there.
class CopyTarget
{
public:
    CopyTarget(int dir, const SystemCalls& calls) : m_dir(dir), m_calls(calls) {}
    ~CopyTarget() { discard(); }
    CopyTarget(const CopyTarget&) = delete;
    CopyTarget& operator=(const CopyTarget&) = delete;

    bool open()
    {
        // A file without a name gets one through /proc; without /proc (a chroot) it takes a temporary name instead.
        if (::access("/proc/self/fd", X_OK) == 0) {
            m_fd.reset(m_calls.openat(m_dir, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
            if (m_fd)
                return true;
            if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
                return false;
        }
        removeStaleCopies();
        static std::atomic<unsigned> counter{0};
        for (int attempt = 0; attempt < 100; ++attempt) {
            m_tempName = ".twinspotter-copy-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
            m_fd.reset(
                m_calls.openat(m_dir, m_tempName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
            if (m_fd)
                return true;
            if (errno != EEXIST)
                break;
        }
        m_tempName.clear();
        return false;
    }

    int fd() const { return m_fd.get(); }

    /// Gives the whole, synced copy its final name without replacing anything; EEXIST when the name is taken.
    bool name(const PathString& finalName)
    {
        if (m_tempName.empty()) {
            const std::string self = "/proc/self/fd/" + std::to_string(m_fd.get());
            if (m_calls.linkat(AT_FDCWD, self.c_str(), m_dir, finalName.c_str(), AT_SYMLINK_FOLLOW) != 0)
                return false;
            m_named = finalName;
            return closeFile();
        }
        if (!closeFile())
            return false;
        if (m_calls.renameat2(m_dir, m_tempName.c_str(), m_dir, finalName.c_str(), RENAME_NOREPLACE) == 0) {
            m_tempName.clear();
            m_named = finalName;
            return true;
        }
        if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
            return false;
        if (m_calls.linkat(m_dir, m_tempName.c_str(), m_dir, finalName.c_str(), 0) != 0)
            return false;
        m_named = finalName;
        return true;
    }

    /// Takes the copy back: its final name when it got one, and its temporary name in every case.
    void discard()
    {
        const int error = errno;
        m_fd.reset();
        if (!m_named.empty())
            (void)m_calls.unlinkat(m_dir, m_named.c_str(), 0);
        m_named.clear();
        forgetTemporary();
        errno = error;
    }

    /// Keeps the named copy; only a temporary name left beside it goes.
    void keep()
    {
        m_named.clear();
        forgetTemporary();
    }

private:
    bool closeFile() { return ::close(m_fd.release()) == 0; }

    // A copy cut short by a crash leaves its temporary behind; one of a process that no longer runs is nobody's.
    void removeStaleCopies()
    {
        const int listed = ::openat(m_dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (listed < 0)
            return;
        DIR* folder = ::fdopendir(listed);
        if (!folder) {
            ::close(listed);
            return;
        }
        constexpr std::string_view kPrefix = ".twinspotter-copy-";
        while (const dirent* entry = ::readdir(folder)) {
            const std::string_view name = entry->d_name;
            if (!name.starts_with(kPrefix))
                continue;
            const long pid = std::strtol(entry->d_name + kPrefix.size(), nullptr, 10);
            if (pid > 0 && pid != ::getpid() && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
                (void)m_calls.unlinkat(m_dir, entry->d_name, 0);
        }
        ::closedir(folder);
    }

    void forgetTemporary()
    {
        if (!m_tempName.empty())
            (void)m_calls.unlinkat(m_dir, m_tempName.c_str(), 0);
        m_tempName.clear();
    }

    int m_dir;
    const SystemCalls& m_calls;
    UniqueFd m_fd;
    std::string m_tempName;
    PathString m_named;
};

// Size, modification and change time as they were: nothing has written to the file or changed its metadata.
bool unchangedSince(const struct stat& now, const struct stat& then)
{
    return sameInode(now, then) && now.st_size == then.st_size &&
           nanoseconds(now.st_mtim) == nanoseconds(then.st_mtim) &&
           nanoseconds(now.st_ctim) == nanoseconds(then.st_ctim);
}

// The data of \p in onto \p out, holes left as holes, so a sparse file stays sparse and fits where it did.
bool copyData(int in, int out, std::int64_t size)
{
    const std::unique_ptr<char[]> buffer(new char[kCopyBlock]);
    off_t offset = 0;
    while (offset < size) {
        off_t data = ::lseek(in, offset, SEEK_DATA);
        if (data < 0 && errno == ENXIO)
            break;
        if (data < 0)
            data = offset; // no hole information: everything is data
        off_t hole = ::lseek(in, data, SEEK_HOLE);
        if (hole < 0)
            hole = size;
        for (offset = data; offset < hole;) {
            const ssize_t n = ::pread(in, buffer.get(), std::min<std::size_t>(kCopyBlock, hole - offset), offset);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return false;
            if (n == 0)
                break;
            const char* at = buffer.get();
            for (ssize_t left = n; left > 0;) {
                const ssize_t w = ::pwrite(out, at, static_cast<std::size_t>(left), offset);
                if (w < 0 && errno == EINTR)
                    continue;
                if (w <= 0)
                    return false;
                at += w;
                left -= w;
                offset += w;
            }
        }
        if (hole >= size)
            break;
        offset = hole;
    }
    return ::ftruncate(out, size) == 0;
}

// What mv keeps: owner, mode, extended attributes (access control lists among them) and times. An attribute that
// cannot be kept fails the copy, so the original stays whole.
bool copyMetadata(int in, int out, const struct stat& st)
{
    (void)::fchown(out, st.st_uid, st.st_gid);
    if (::fchmod(out, st.st_mode & 07777) != 0)
        return false;
    std::string names(256, '\0');
    ssize_t length = 0;
    while ((length = ::flistxattr(in, names.data(), names.size())) < 0 && errno == ERANGE)
        names.resize(names.size() * 4);
    if (length < 0)
        return errno == ENOTSUP;
    std::string value;
    for (std::size_t at = 0; at < static_cast<std::size_t>(length); at = names.find('\0', at) + 1) {
        const char* name = names.c_str() + at;
        ssize_t size = ::fgetxattr(in, name, nullptr, 0);
        if (size < 0)
            return false;
        value.resize(static_cast<std::size_t>(size));
        size = ::fgetxattr(in, name, value.data(), value.size());
        if (size < 0 || ::fsetxattr(out, name, value.data(), static_cast<std::size_t>(size), 0) != 0)
            return false;
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    return ::futimens(out, times) == 0;
}

RemovalResult copyThenRemove(int fromDir, const PathString& name, const struct stat& source, int toDir,
                             const PathString& toName, const SystemCalls& calls)
{
    // Non-blocking, so a FIFO fails the type test below instead of waiting for a writer.
    UniqueFd in(calls.openat(fromDir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0));
    if (!in)
        return errno == ENOENT ? RemovalResult::gone() : RemovalResult::kept(KeepReason::CopyFailed, errno);
    struct stat st
    {
    };
    if (::fstat(in.get(), &st) != 0)
        return RemovalResult::kept(KeepReason::CopyFailed, errno);
    if (!unchangedSince(st, source))
        return RemovalResult::kept(KeepReason::FileChanged);
    if (!S_ISREG(st.st_mode))
        return RemovalResult::kept(KeepReason::CopyFailed, EOPNOTSUPP);
    (void)::posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    CopyTarget out(toDir, calls);
    if (!out.open())
        return RemovalResult::kept(KeepReason::CopyFailed, errno);
    if (!copyData(in.get(), out.fd(), st.st_size) || !copyMetadata(in.get(), out.fd(), st) ||
        calls.fsync(out.fd()) != 0)
        return RemovalResult::kept(KeepReason::CopyFailed, errno);
    // Written to while it was copied: the copy may hold half an edit, and the original the whole of it.
    struct stat after
    {
    };
    if (::fstat(in.get(), &after) != 0 || !unchangedSince(after, st))
        return RemovalResult::kept(KeepReason::FileChanged);
    if (!out.name(toName))
        return errno == EEXIST ? RemovalResult::kept(KeepReason::TargetTaken)
                               : RemovalResult::kept(KeepReason::CopyFailed, errno);

    // The copy is whole under its name. The original must now go, or the copy is taken back: never two files.
    struct stat now
    {
    };
    if (::fstatat(fromDir, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT) {
        out.keep();
        return RemovalResult::done();
    }
    if (!unchangedSince(now, st))
        return RemovalResult::kept(KeepReason::FileChanged);
    if (calls.unlinkat(fromDir, name.c_str(), 0) != 0 && errno != ENOENT)
        return RemovalResult::kept(KeepReason::SourceNotRemoved, errno);
    out.keep();
    return RemovalResult::done();
}

} // namespace

bool makeFolderChain(const PathString& path, mode_t mode, const SystemCalls& calls)
{
    for (std::size_t slash = path.find(kSeparator, 1); slash != PathString::npos;
         slash = path.find(kSeparator, slash + 1))
        (void)calls.mkdirat(AT_FDCWD, path.substr(0, slash).c_str(), mode);
    return calls.mkdirat(AT_FDCWD, path.c_str(), mode) == 0 || errno == EEXIST;
}

int DirectoryCache::find(const PathString& directory)
{
    for (Entry& entry : m_entries) {
        if (entry.fd && entry.directory == directory) {
            entry.used = ++m_clock;
            return entry.fd.get();
        }
    }
    return -1;
}

int DirectoryCache::keep(const PathString& directory, UniqueFd fd)
{
    Entry* oldest = &m_entries[0];
    for (Entry& entry : m_entries)
        if (entry.used < oldest->used)
            oldest = &entry;
    oldest->directory = directory;
    oldest->fd = std::move(fd);
    oldest->used = ++m_clock;
    return oldest->fd.get();
}

int DirectoryCache::findLocation(const LocationRoot& location) const
{
    for (const auto& [known, fd] : m_locations)
        if (known == &location)
            return fd.get();
    return -1;
}

int DirectoryCache::keepLocation(const LocationRoot& location, UniqueFd fd)
{
    m_locations.emplace_back(&location, std::move(fd));
    return m_locations.back().second.get();
}

int reachRecordedDirectory(const PathString& directory, std::span<const LocationRoot> locations, DirectoryCache& cache,
                           ReachFailure& failure, int& error)
{
    failure = ReachFailure::None;
    error = 0;
    if (const int known = cache.find(directory); known >= 0)
        return known;
    const LocationRoot* root = nullptr;
    for (const LocationRoot& location : locations) {
        if (!location.directory.empty() && directory.starts_with(location.directory) &&
            (!root || location.directory.size() > root->directory.size()))
            root = &location;
    }

    int base = AT_FDCWD;
    PathString below = directory;
    if (root) {
        base = cache.findLocation(*root);
        if (base < 0) {
            // The location itself is opened as the walk opened it: a link the user named in it is the user's choice.
            UniqueFd opened(::open(root->directory.c_str(), kDirectoryFlags));
            struct stat st
            {
            };
            if (!opened || ::fstat(opened.get(), &st) != 0) {
                error = errno;
                failure = failureOf(error);
                return -1;
            }
            if (fileIdOf(st) != root->id) {
                failure = ReachFailure::LocationReplaced;
                return -1;
            }
            base = cache.keepLocation(*root, std::move(opened));
        }
        below = directory.substr(root->directory.size());
        if (below.empty())
            return base;
    }
    int fd = openWithoutLinks(base, below);
    if (fd < 0 && (errno == ENOSYS || errno == ENAMETOOLONG || errno == EPERM))
        fd = openComponentByComponent(base, below);
    if (fd < 0) {
        error = errno;
        failure = failureOf(error);
        return -1;
    }
    return cache.keep(directory, UniqueFd(fd));
}

bool matchesStamp(const struct stat& st, const FileStamp& stamp)
{
    return stamp.recorded() && S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_dev) == stamp.id.device &&
           static_cast<std::uint64_t>(st.st_ino) == stamp.id.inode && st.st_size == stamp.size &&
           nanoseconds(st.st_mtim) == stamp.mtimeNs && nanoseconds(st.st_ctim) == stamp.ctimeNs;
}

bool maybeSameFile(const struct stat& a, const struct stat& b)
{
    // Whole seconds: a network or FUSE mirror may round the times it passes on.
    return a.st_dev != b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_ctim.tv_sec == b.st_ctim.tv_sec;
}

RemovalResult moveWithoutReplacing(int fromDir, const PathString& name, const struct stat& source, int toDir,
                                   const PathString& toName, bool copyAllowed, const SystemCalls& calls)
{
    if (calls.renameat2(fromDir, name.c_str(), toDir, toName.c_str(), RENAME_NOREPLACE) == 0)
        return RemovalResult::done();
    int error = errno;
    if (error == EINVAL || error == ENOSYS || error == EOPNOTSUPP) {
        if (calls.linkat(fromDir, name.c_str(), toDir, toName.c_str(), 0) == 0) {
            if (calls.unlinkat(fromDir, name.c_str(), 0) == 0)
                return RemovalResult::done();
            const int unlinkError = errno;
            (void)calls.unlinkat(toDir, toName.c_str(), 0);
            return RemovalResult::kept(KeepReason::SourceNotRemoved, unlinkError);
        }
        error = errno;
        // Neither a rename that refuses to replace nor a link (libfuse2 file systems): a plain rename could
        // replace a file, so the file stays.
        if (error == EPERM || error == EOPNOTSUPP || error == ENOSYS)
            return RemovalResult::kept(KeepReason::NoSafeMove);
    }
    if (error == EEXIST)
        return RemovalResult::kept(KeepReason::TargetTaken);
    struct stat now
    {
    };
    if (error == ENOENT && ::fstatat(fromDir, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT)
        return RemovalResult::gone();
    if (error != EXDEV || !copyAllowed)
        return RemovalResult::kept(KeepReason::MoveFailed, error);
    return copyThenRemove(fromDir, name, source, toDir, toName, calls);
}

} // namespace twinspotter
