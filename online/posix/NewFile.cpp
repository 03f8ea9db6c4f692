#include "online/NewFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace twinspotter {

NewFile writeNewFileBeside(const std::filesystem::path& target, std::string_view bytes, mode_t mode,
                           std::string_view suffix)
{
    NewFile result;
    std::filesystem::path& temporary = result.name;
    int& error = result.error;
    int fd = -1;
    // A name left by a process that died is someone else's: the next number is tried, never that file replaced.
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = target.parent_path() / ("." + target.filename().string() + "." + std::to_string(::getpid()) + "." +
                                            std::to_string(attempt) + std::string(suffix));
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        error = fd < 0 ? errno : 0;
        if (error != 0 && error != EEXIST)
            break;
    }
    if (fd < 0)
        return result;
    result.created = true;
    std::size_t done = 0;
    while (done < bytes.size() && error == 0) {
        const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            error = put < 0 ? errno : EIO;
        else
            done += static_cast<std::size_t>(put);
    }
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0)
        ::unlink(temporary.c_str());
    return result;
}

} // namespace twinspotter
