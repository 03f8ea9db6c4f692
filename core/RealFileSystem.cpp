// The file-system seam on Linux: POSIX calls, no path re-encoding, symbolic links never followed.
#include "core/RealFileSystem.h"

#include "core/ContentCompare.h"
#include "core/OnDisk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

namespace twinspotter {

namespace {

struct DirCloser
{
    void operator()(DIR* d) const { closedir(d); }
};

} // namespace

const SystemCalls& SystemCalls::kernel()
{
    static const SystemCalls calls{
        [](int dirFd, const char* path, int flags, mode_t mode) { return ::openat(dirFd, path, flags, mode); },
        [](int fromDirFd, const char* from, int toDirFd, const char* to, unsigned flags) {
            return ::renameat2(fromDirFd, from, toDirFd, to, flags);
        },
        [](int fromDirFd, const char* from, int toDirFd, const char* to, int flags) {
            return ::linkat(fromDirFd, from, toDirFd, to, flags);
        },
        [](int dirFd, const char* path, int flags) { return ::unlinkat(dirFd, path, flags); },
        [](int dirFd, const char* path, mode_t mode) { return ::mkdirat(dirFd, path, mode); },
        [](int dirFd, const char* path, struct stat* st, int flags) { return ::fstatat(dirFd, path, st, flags); },
    };
    return calls;
}

bool RealFileSystem::listDirectory(const PathString& dir, std::vector<DirEntry>& out)
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
        struct stat st
        {
        };
        // An entry that vanished since the listing is simply not there.
        if (fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || S_ISLNK(st.st_mode))
            continue;
        DirEntry& entry = out.emplace_back();
        entry.name = name;
        entry.isDirectory = S_ISDIR(st.st_mode);
        entry.size = st.st_size;
        entry.mtime = st.st_mtim.tv_sec;
        entry.mtimeNsec = static_cast<std::int32_t>(st.st_mtim.tv_nsec);
        entry.id = FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    }
    return true;
}

bool RealFileSystem::exists(const PathString& path)
{
    struct stat st
    {
    };
    return lstat(path.c_str(), &st) == 0;
}

std::optional<FileId> RealFileSystem::directoryIdentity(const PathString& path)
{
    struct stat st
    {
    };
    if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return std::nullopt;
    return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

bool RealFileSystem::isDirectory(const PathString& path)
{
    struct stat st
    {
    };
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RealFileSystem::createDirectory(const PathString& path)
{
    return mkdir(path.c_str(), 0777) == 0;
}

PathString RealFileSystem::currentDirectory()
{
    std::unique_ptr<char, decltype(&free)> cwd(getcwd(nullptr, 0), &free);
    return cwd ? PathString(cwd.get()) : PathString();
}

RemovalResult RealFileSystem::removeFile(const RemovalRequest& request)
{
    return removeOnDisk(request, m_calls);
}

ContentDigest RealFileSystem::readContent(const ContentRequest& request)
{
    return readContentOnDisk(request);
}

FileSystem& realFileSystem()
{
    static RealFileSystem fs;
    return fs;
}

} // namespace twinspotter
