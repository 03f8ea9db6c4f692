// The file-system seam on Linux: POSIX calls, no path re-encoding, symbolic links never followed.
#include "core/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

namespace twinspotter {

namespace {

struct DirCloser
{
    void operator()(DIR* d) const { closedir(d); }
};

class FdGuard
{
public:
    explicit FdGuard(int fd) : m_fd(fd) {}
    ~FdGuard()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

bool WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Opens the file the copy is written into. Where the file system allows it the file has no name until it is
// complete, so a copy cut short (a crash, a kill) never leaves a partial file behind in the safety directory.
int OpenCopyTarget(const PathString& to, mode_t mode, bool& anonymous)
{
    const std::size_t slash = to.rfind(kSeparator);
    const PathString dir = slash == PathString::npos ? PathString(".") : to.substr(0, slash + 1);
    const int fd = open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    anonymous = fd >= 0;
    if (anonymous)
        return fd;
    return open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
}

// Gives a finished anonymous copy its name; fails, leaving nothing, when the name is taken meanwhile.
bool NameCopy(int fd, const PathString& to)
{
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return linkat(AT_FDCWD, self.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

// Copies a regular file into a target that must not exist yet; on any failure no partial target is left.
bool CopyExclusive(const PathString& from, const PathString& to)
{
    // Non-blocking, so a FIFO fails the type test below instead of waiting for a writer.
    FdGuard in(open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (in.get() < 0)
        return false;
    struct stat st{};
    if (fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (access(to.c_str(), F_OK) == 0)
        return false;
    bool anonymous = false;
    FdGuard out(OpenCopyTarget(to, st.st_mode & 07777, anonymous));
    if (out.get() < 0)
        return false;

    bool ok = true;
    std::unique_ptr<char[]> buffer(new char[1 << 20]);
    for (;;) {
        const ssize_t n = read(in.get(), buffer.get(), 1 << 20);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0)
            break;
        if (!WriteAll(out.get(), buffer.get(), static_cast<std::size_t>(n))) {
            ok = false;
            break;
        }
    }
    if (ok) {
        (void)fchown(out.get(), st.st_uid, st.st_gid);
        (void)fchmod(out.get(), st.st_mode & 07777);
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        (void)futimens(out.get(), times);
        ok = fsync(out.get()) == 0;
    }
    if (ok && anonymous)
        ok = NameCopy(out.get(), to);
    if (close(out.release()) != 0)
        ok = false;
    if (!ok && !anonymous)
        unlink(to.c_str());
    return ok;
}

class RealFileSystem : public FileSystem
{
public:
    bool listDirectory(const PathString& dir, std::vector<DirEntry>& out) override
    {
        out.clear();
        const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return false;
        std::unique_ptr<DIR, DirCloser> d(fdopendir(fd));
        if (!d) {
            close(fd);
            return false;
        }
        while (const dirent* e = readdir(d.get())) {
            const char* name = e->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            if (e->d_type == DT_LNK)
                continue;
            if (e->d_type == DT_DIR) {
                DirEntry& entry = out.emplace_back();
                entry.name = name;
                entry.isDirectory = true;
                continue;
            }
            struct stat st{};
            // An entry that vanished since the listing is simply not there.
            if (fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || S_ISLNK(st.st_mode))
                continue;
            DirEntry& entry = out.emplace_back();
            entry.name = name;
            entry.isDirectory = S_ISDIR(st.st_mode);
            entry.size = st.st_size;
            entry.mtime = st.st_mtim.tv_sec;
            entry.id = FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
        }
        return true;
    }

    bool exists(const PathString& path) override
    {
        struct stat st{};
        return lstat(path.c_str(), &st) == 0;
    }

    std::optional<FileId> fileIdentity(const PathString& path) override
    {
        struct stat st{};
        if (stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
            return std::nullopt;
        return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    }

    bool isDirectory(const PathString& path) override
    {
        struct stat st{};
        return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }

    bool deleteFile(const PathString& path) override { return unlink(path.c_str()) == 0; }

    bool moveFile(const PathString& from, const PathString& to) override
    {
        // A plain rename would replace an existing target; these three ways never do.
        if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
            return true;
        int err = errno;
        if (err == EINVAL || err == ENOSYS || err == ENOTSUP) {
            if (link(from.c_str(), to.c_str()) == 0) {
                if (unlink(from.c_str()) == 0)
                    return true;
                unlink(to.c_str());
                return false;
            }
            err = errno;
        }
        // A file system without hard links gets the exclusive copy too; it never replaces either.
        if (err != EXDEV && err != EPERM && err != EOPNOTSUPP && err != EMLINK)
            return false;
        if (!CopyExclusive(from, to))
            return false;
        if (unlink(from.c_str()) != 0) {
            // The source stayed, so the move did not happen: take the copy back rather than leave two.
            unlink(to.c_str());
            return false;
        }
        return true;
    }

    bool createDirectory(const PathString& path) override { return mkdir(path.c_str(), 0777) == 0; }

    PathString currentDirectory() override
    {
        std::unique_ptr<char, decltype(&free)> cwd(getcwd(nullptr, 0), &free);
        return cwd ? PathString(cwd.get()) : PathString();
    }
};

} // namespace

FileSystem& realFileSystem()
{
    static RealFileSystem fs;
    return fs;
}

} // namespace twinspotter
