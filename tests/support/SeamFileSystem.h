// The real file system with hooks, for what a test running as root cannot provoke: a listing, delete or move that
// fails, a file that vanishes or a folder that is swapped at a chosen moment. Removals run the real code; only the
// system call named by a hook is refused. On Windows a refused delete or move is a real one: the file is held open
// without FILE_SHARE_DELETE while the removal runs, so Windows itself refuses it.
#pragma once

#ifdef _WIN32
#include "core/windows/WindowsFileSystem.h"
#else
#include "core/posix/RealFileSystem.h"

#include <fcntl.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace twinspotter::test {

#ifndef _WIN32
/// The path a directory descriptor and a name stand for, as the kernel sees it now.
inline PathString PathAt(int dirFd, const char* name)
{
    if (dirFd == AT_FDCWD || name[0] == '/')
        return name;
    char buffer[4096];
    const ssize_t n = readlink(("/proc/self/fd/" + std::to_string(dirFd)).c_str(), buffer, sizeof buffer);
    PathString dir = n > 0 ? PathString(buffer, static_cast<std::size_t>(n)) : PathString();
    if (dir != "/")
        dir += '/';
    return dir + name;
}
#endif

class SeamFileSystem : public FileSystem
{
public:
    std::set<PathString> failList;   ///< directories (with trailing separator) that cannot be listed
    std::set<PathString> failDelete; ///< files whose delete is refused
    std::set<PathString> failMove;   ///< sources whose move is refused
    bool failAllMoves = false;
#ifndef _WIN32
    std::set<PathString> failStat; ///< files that cannot be looked at during a removal
    bool failCreateDirectory = false;
#endif
    /// Runs after a directory has been listed, before the walk sees the entries.
    std::function<void(const PathString& dir)> afterList;
    /// What each listing waits beyond the disk's own time, as on a slow disk or a network mount.
    std::chrono::microseconds listingDelay{0};
    /// The most listings that were under way at once.
    std::atomic<int> mostListingsAtOnce{0};
    /// Runs before a removal of a file looks at the disk.
    std::function<void(const PathString& path)> beforeRemove;
    /// Runs before a file is read for its content, on the reading thread.
    std::function<void(const PathString& path)> beforeRead;
    /// Runs on the reading thread once the first block of a file (read or a hole's) has been digested.
    std::function<void(const PathString& path)> duringRead;
    /// How often each file was read for its content.
    std::map<PathString, int> reads;
    std::vector<PathString> listed;
#ifdef _WIN32
    SeamFileSystem() = default;
#else
    std::vector<PathString> deleted;
    std::vector<std::pair<PathString, PathString>> moved;

    SeamFileSystem() : m_real(seamedCalls()) {}
#endif
    SeamFileSystem(const SeamFileSystem&) = delete;
    SeamFileSystem& operator=(const SeamFileSystem&) = delete;

    bool listDirectory(const PathString& dir, std::vector<DirEntry>& out) override
    {
        return listSubdirectory(nullptr, {}, dir, out, nullptr);
    }
    /// Safe from several threads at once, as the walk's listing threads call it; the hook runs under a lock.
    bool listSubdirectory(const OpenedDirectory* parent, std::string_view name, const PathString& dir,
                          std::vector<DirEntry>& out, std::shared_ptr<OpenedDirectory>* keep) override
    {
        {
            const std::lock_guard lock(m_listMutex);
            listed.push_back(dir);
            if (failList.count(dir)) {
                out.clear();
                return false;
            }
        }
        const int atOnce = ++m_listingsNow;
        for (int most = mostListingsAtOnce; atOnce > most && !mostListingsAtOnce.compare_exchange_weak(most, atOnce);)
            ;
        if (listingDelay.count() > 0)
            std::this_thread::sleep_for(listingDelay);
        const bool ok = m_real.listSubdirectory(parent, name, dir, out, keep);
        --m_listingsNow;
        if (afterList) {
            const std::lock_guard lock(m_listMutex);
            afterList(dir);
        }
        return ok;
    }
    bool exists(const PathString& path) override
    {
        return m_real.exists(path);
    }
    std::optional<FileId> directoryIdentity(const PathString& path) override
    {
        return m_real.directoryIdentity(path);
    }
    PathString resolvedPath(const PathString& path) override
    {
        return m_real.resolvedPath(path);
    }
    bool isDirectory(const PathString& path) override
    {
        return m_real.isDirectory(path);
    }
#ifdef _WIN32
    bool createDirectory(const PathString& path) override
    {
        return m_real.createDirectory(path);
    }
#else
    bool createDirectory(const PathString& path) override
    {
        return !failCreateDirectory && m_real.createDirectory(path);
    }
#endif
    PathString currentDirectory() override
    {
        return m_real.currentDirectory();
    }
    RemovalResult removeFile(const RemovalRequest& request) override
    {
        const PathString path = request.file.directory + request.file.name;
        if (beforeRemove)
            beforeRemove(path);
#ifdef _WIN32
        // Delete and rename both need the file opened for DELETE, which this handle's sharing mode refuses.
        const bool moving = !std::holds_alternative<Delete>(request.target);
        UniqueHandle holder;
        if (moving ? failAllMoves || failMove.count(path) : failDelete.count(path) != 0)
            holder = UniqueHandle(::CreateFileW(toWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
#endif
        return m_real.removeFile(request);
    }
    ContentDigest readContent(const ContentRequest& request) override
    {
        const PathString path = request.file.directory + request.file.name;
        {
            const std::lock_guard lock(m_readsMutex);
            ++reads[path];
        }
        if (beforeRead)
            beforeRead(path);
        if (!duringRead)
            return m_real.readContent(request);
        ContentRequest seamed = request;
        seamed.onBlock = [&, first = true](std::uint64_t bytes) mutable {
            if (std::exchange(first, false))
                duringRead(path);
            return !request.onBlock || request.onBlock(bytes);
        };
        return m_real.readContent(seamed);
    }

private:
#ifdef _WIN32
    WindowsFileSystem m_real;
#else
    SystemCalls seamedCalls()
    {
        SystemCalls calls = SystemCalls::kernel();
        calls.unlinkat = [this](int dir, const char* name, int flags) {
            const PathString path = PathAt(dir, name);
            if (failDelete.count(path)) {
                errno = EPERM;
                return -1;
            }
            const int result = ::unlinkat(dir, name, flags);
            if (result == 0)
                deleted.push_back(path);
            return result;
        };
        calls.renameat2 = [this](int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
            const PathString source = PathAt(fromDir, from);
            if (failAllMoves || failMove.count(source)) {
                errno = EACCES;
                return -1;
            }
            const int result = ::renameat2(fromDir, from, toDir, to, flags);
            if (result == 0)
                moved.emplace_back(source, PathAt(toDir, to));
            return result;
        };
        calls.fstatat = [this](int dir, const char* name, struct stat* st, int flags) {
            if (failStat.count(PathAt(dir, name))) {
                errno = EACCES;
                return -1;
            }
            return ::fstatat(dir, name, st, flags);
        };
        calls.mkdirat = [this](int dir, const char* name, mode_t mode) {
            if (failCreateDirectory) {
                errno = EACCES;
                return -1;
            }
            return ::mkdirat(dir, name, mode);
        };
        return calls;
    }

    RealFileSystem m_real;
#endif
    std::mutex m_readsMutex;
    std::mutex m_listMutex;
    std::atomic<int> m_listingsNow{0};
};

} // namespace twinspotter::test
