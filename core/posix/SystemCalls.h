// The system calls of a removal as one table: the program uses the kernel's own, and a test replaces one of them to
// provoke what it cannot otherwise (a delete refused to root, a rename that meets another file system, a file system
// without anonymous files, a name taken at the last moment, a file that cannot be looked at, a disk that fails to write
// back).
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <functional>

namespace twinspotter {

struct SystemCalls
{
    std::function<int(int dirFd, const char* path, int flags, mode_t mode)> openat;
    std::function<int(int fromDirFd, const char* from, int toDirFd, const char* to, unsigned flags)> renameat2;
    std::function<int(int fromDirFd, const char* from, int toDirFd, const char* to, int flags)> linkat;
    std::function<int(int dirFd, const char* path, int flags)> unlinkat;
    std::function<int(int dirFd, const char* path, mode_t mode)> mkdirat;
    std::function<int(int dirFd, const char* path, struct stat* st, int flags)> fstatat;
    std::function<int(int fd)> fsync;

    /// The kernel's calls, unchanged.
    static const SystemCalls& kernel();
};

} // namespace twinspotter
