// Reading a file for its content on Linux: reached through checked descriptors, hole-aware, checked against its stamp
// before and after.
#include "core/ContentCompare.h"
#include "core/posix/OnDisk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace twinspotter {

namespace {

ContentDigest outcome(ContentStatus status, int error = 0)
{
    return ContentDigest{status, error, 0, 0};
}

// Reads [offset, offset + size) whole; false with errno set (0 when the file ended early).
bool readAt(int fd, std::uint64_t offset, char* buffer, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::pread(fd, buffer, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = 0;
            return false;
        }
        buffer += n;
        offset += static_cast<std::uint64_t>(n);
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// The digest of an open regular file of \p size bytes: the chunks' hashes hashed in order. Whole chunks inside a
// hole are zeros by definition and are not read; \p readSome tells whether any chunk had to be.
ContentDigest digestOpenFile(int fd, std::uint64_t size, const ContentRequest& request, bool& readSome)
{
    ChunkDigester digester(request);
    char* const buffer = ChunkDigester::buffer();
    if (!digester.ready() || !buffer)
        return outcome(ContentStatus::Unreadable, ENOMEM);

    std::uint64_t offset = 0;
    while (offset < size) {
        const off_t data = ::lseek(fd, static_cast<off_t>(offset), SEEK_DATA);
        // ENXIO: nothing but a hole up to the end. Any other failure: take everything as data.
        const std::uint64_t dataStart = data >= 0 ? static_cast<std::uint64_t>(data) : errno == ENXIO ? size : offset;
        while (offset < size && offset + std::min(kContentChunk, size - offset) <= dataStart) {
            const std::uint64_t length = std::min(kContentChunk, size - offset);
            if (!digester.addZeros(length))
                return outcome(ContentStatus::Stopped);
            offset += length;
        }
        if (offset >= size)
            break;
        const off_t hole = ::lseek(fd, static_cast<off_t>(offset), SEEK_HOLE);
        const std::uint64_t dataEnd = hole > 0 ? static_cast<std::uint64_t>(hole) : size;
        if (!readSome)
            (void)::posix_fadvise(fd, static_cast<off_t>(offset), 0, POSIX_FADV_SEQUENTIAL);
        readSome = true;
        do {
            const std::size_t length = static_cast<std::size_t>(std::min(kContentChunk, size - offset));
            if (!readAt(fd, offset, buffer, length))
                return errno == 0 ? outcome(ContentStatus::Changed) : outcome(ContentStatus::Unreadable, errno);
            if (!digester.addData(buffer, length))
                return outcome(ContentStatus::Stopped);
            offset += length;
        } while (offset < size && offset < dataEnd);
    }
    // The size is what the file system says, and some cannot say it (/proc, FUSE with direct_io report 0): a file
    // that holds more than its size is not the file that was listed, whatever it held.
    ssize_t beyond = 0;
    do
        beyond = ::pread(fd, buffer, 1, static_cast<off_t>(size));
    while (beyond < 0 && errno == EINTR);
    if (beyond != 0)
        return beyond > 0 ? outcome(ContentStatus::Changed) : outcome(ContentStatus::Unreadable, errno);
    return digester.digest();
}

} // namespace

ContentDigest readContentOnDisk(const ContentRequest& request)
{
    DirectoryCache ownCache;
    ReachFailure failure = ReachFailure::None;
    int error = 0;
    const int dir = reachRecordedDirectory(request.file.directory, request.locations,
                                           request.cache ? *request.cache : ownCache, failure, error);
    if (failure == ReachFailure::Error)
        return outcome(ContentStatus::Unreadable, error);
    if (failure != ReachFailure::None)
        return outcome(ContentStatus::Changed);

    const char* name = request.file.name.c_str();
    const FileStamp& stamp = request.file.stamp;
    struct stat st
    {
    };
    // Looked at before it is opened: opening a device or a FIFO can have effects of its own.
    if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT || errno == ENOTDIR ? outcome(ContentStatus::Changed)
                                                   : outcome(ContentStatus::Unreadable, errno);
    if (!matchesStamp(st, stamp))
        return outcome(ContentStatus::Changed);
    if (!S_ISREG(st.st_mode))
        return outcome(ContentStatus::Unreadable);

    // Reading for a comparison is not a use of the file: its access time stays, where the owner (or root) reads.
    constexpr int kFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    UniqueFd fd(::openat(dir, name, kFlags | O_NOATIME));
    if (!fd && errno == EPERM)
        fd.reset(::openat(dir, name, kFlags));
    if (!fd)
        return errno == ENOENT || errno == ELOOP ? outcome(ContentStatus::Changed)
                                                 : outcome(ContentStatus::Unreadable, errno);
    if (::fstat(fd.get(), &st) != 0)
        return outcome(ContentStatus::Unreadable, errno);
    if (!matchesStamp(st, stamp) || !S_ISREG(st.st_mode))
        return outcome(ContentStatus::Changed);

    bool readSome = false;
    ContentDigest digest = digestOpenFile(fd.get(), static_cast<std::uint64_t>(st.st_size), request, readSome);
    // A file written to while it was read is not the file the search listed any more. (A file of holes only took
    // no time to read: a write now is a write after the reading.)
    if (digest.status == ContentStatus::Digested && readSome &&
        (::fstat(fd.get(), &st) != 0 || !matchesStamp(st, stamp)))
        return outcome(ContentStatus::Changed);
    return digest;
}

} // namespace twinspotter
