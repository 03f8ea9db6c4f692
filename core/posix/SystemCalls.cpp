// The kernel's own calls behind the table that tests can change one entry of.
#include "core/posix/SystemCalls.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace twinspotter {

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
        [](int fd) { return ::fsync(fd); },
    };
    return calls;
}

} // namespace twinspotter
