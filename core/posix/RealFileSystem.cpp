// The file-system seam on Linux: POSIX calls, no path re-encoding, symbolic links never followed.
#include "core/posix/RealFileSystem.h"

#include "core/ContentCompare.h"
#include "core/posix/OnDisk.h"
#include "core/posix/RemoveOnDisk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <memory>

namespace twinspotter {

namespace {

// The record getdents64 fills in; glibc offers no type of its own for it.
struct LinuxDirent64
{
    std::uint64_t d_ino;
    std::int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

} // namespace

namespace {

// Directories left open for their subdirectories, across all threads: far below the usual limit of 1,024 open files,
// since the content comparison and the window open files of their own.
constexpr int kMostKeptOpen = 256;
std::atomic<int> g_keptOpen{0};

class KeptDirectory : public OpenedDirectory
{
public:
    explicit KeptDirectory(UniqueFd fd) : m_fd(std::move(fd)) {}
    ~KeptDirectory() override { g_keptOpen.fetch_sub(1, std::memory_order_relaxed); }
    int fd() const { return m_fd.get(); }

private:
    UniqueFd m_fd;
};

// Reads the open directory \p fd into \p out. The entries already in out are written over rather than cleared:
// their names keep their buffers, so a walk that hands the same vectors round allocates almost nothing per file.
// getdents64 straight into a buffer: opendir would add an fstat, two fcntl calls and an allocation per directory,
// a fifth of the system calls of a walk over small folders. True when a subdirectory was among the entries.
bool ReadEntries(int fd, std::vector<DirEntry>& out)
{
    std::size_t used = 0;
    bool subdirectories = false;
    const auto next = [&]() -> DirEntry& {
        if (used == out.size())
            out.emplace_back();
        return out[used++];
    };
    alignas(8) char buffer[32 * 1024];
    for (;;) {
        const long got = syscall(SYS_getdents64, fd, buffer, sizeof buffer);
        // An error part-way ends the listing with what it read, as readdir does.
        if (got <= 0)
            break;
        for (long at = 0; at < got;) {
            const auto* e = reinterpret_cast<const LinuxDirent64*>(buffer + at);
            at += e->d_reclen;
            const char* name = e->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            // Only regular files are copies of anything: a FIFO, a socket or a device node is not catalogued, and
            // neither is a link.
            if (e->d_type != DT_REG && e->d_type != DT_DIR && e->d_type != DT_UNKNOWN)
                continue;
            if (e->d_type == DT_DIR) {
                DirEntry& entry = next();
                entry.name.assign(name);
                entry.isDirectory = true;
                entry.size = entry.mtime = 0;
                entry.mtimeNsec = 0;
                entry.ctimeNs = 0;
                entry.id = {};
                subdirectories = true;
                continue;
            }
            struct stat st
            {
            };
            // An entry that vanished since the listing is simply not there.
            if (fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)))
                continue;
            DirEntry& entry = next();
            entry.name.assign(name);
            entry.isDirectory = S_ISDIR(st.st_mode);
            subdirectories = subdirectories || entry.isDirectory;
            entry.size = st.st_size;
            entry.mtime = st.st_mtim.tv_sec;
            entry.mtimeNsec = static_cast<std::int32_t>(st.st_mtim.tv_nsec);
            entry.ctimeNs = std::int64_t(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec;
            entry.id = fileIdOf(st);
        }
    }
    out.resize(used);
    return subdirectories;
}

} // namespace

bool RealFileSystem::listDirectory(const PathString& dir, std::vector<DirEntry>& out)
{
    return listSubdirectory(nullptr, {}, dir, out, nullptr);
}

bool RealFileSystem::listSubdirectory(const OpenedDirectory* parent, std::string_view name, const PathString& dir,
                                      std::vector<DirEntry>& out, std::shared_ptr<OpenedDirectory>* keep)
{
    const auto* from = dynamic_cast<const KeptDirectory*>(parent);
    // From the parent by name, which can neither follow a link swapped in since the parent was listed nor walk the
    // whole path again; the location itself by its path, links and all, as the user named it.
    UniqueFd fd(from ? openat(from->fd(), PathString(name).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                     : open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd) {
        out.clear();
        return false;
    }
    const bool subdirectories = ReadEntries(fd.get(), out);
    if (keep && subdirectories && g_keptOpen.fetch_add(1, std::memory_order_relaxed) < kMostKeptOpen)
        *keep = std::make_shared<KeptDirectory>(std::move(fd));
    else if (keep && subdirectories)
        g_keptOpen.fetch_sub(1, std::memory_order_relaxed);
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
    return fileIdOf(st);
}

PathString RealFileSystem::resolvedPath(const PathString& path)
{
    // realpath reads links one by one, so it needs no /proc.
    std::unique_ptr<char, decltype(&free)> resolved(realpath(path.c_str(), nullptr), &free);
    return resolved ? PathString(resolved.get()) : PathString();
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
