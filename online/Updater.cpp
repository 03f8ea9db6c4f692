// Download and start of the updater, with the backup of an earlier one and the report of a missing one.
#include "online/Updater.h"

#include "online/HttpClient.h"
#include "online/OnlineHost.h"
#include "online/WebMessage.h"
#include "online/WebText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>
#include <thread>

namespace twinspotter {

namespace {

// Gives the file system and a virus scanner time to let go of the file between the steps.
constexpr auto kStepPause = std::chrono::milliseconds(50);

bool fileExists(const std::filesystem::path& path)
{
    struct stat status = {};
    return ::lstat(path.c_str(), &status) == 0;
}

void writeWholeFile(const std::filesystem::path& path, const std::string& bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0755);
    if (fd < 0)
        throw std::system_error(errno, std::generic_category(), "Could not create " + path.string());
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            throw std::system_error(error, std::generic_category(), "Could not write " + path.string());
        }
        written += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0)
        throw std::system_error(errno, std::generic_category(), "Could not write " + path.string());
}

} // namespace

UpdaterPaths UpdaterPathsFor(const std::string& url, const std::filesystem::path& programDirectory)
{
    UpdaterPaths paths;
    std::string directory = programDirectory.string();
    if (directory.empty() || directory.back() != '/')
        directory += '/';
    paths.directory = directory;

    const auto segmentStart = url.find_last_of("/\\:");
    std::string name = segmentStart == std::string::npos ? url : url.substr(segmentStart + 1);
    // Cut the segment, not the joined path: a "?" in the program directory must not shorten it.
    name = name.substr(0, name.find('?'));
    paths.updater = directory + name;

    const auto dot = name.rfind('.');
    paths.backup = directory + (dot == std::string::npos ? name : name.substr(0, dot)) + ".BAK";
    return paths;
}

void DownloadUpdater(const std::string& url)
{
    OnlineHost& host = CurrentOnlineHost();
    const UpdaterPaths paths = UpdaterPathsFor(url, host.programDirectory());

    if (fileExists(paths.backup))
        ::unlink(paths.backup.c_str());
    std::this_thread::sleep_for(kStepPause);
    // Never replaces: when B could not be deleted, the earlier updater stays where it is and gets overwritten.
    if (!fileExists(paths.backup))
        ::rename(paths.updater.c_str(), paths.backup.c_str());
    std::this_thread::sleep_for(kStepPause);

    try {
        const std::string body = HttpGet(InsertTimestamp(url), std::nullopt, true, kMaxUpdaterBytes);
        writeWholeFile(paths.updater, body);
        std::this_thread::sleep_for(kStepPause);
        ::unlink(paths.backup.c_str());
        host.open(paths.updater.string());
        host.requestQuit();
    } catch (const HttpStatusError& error) {
        if (error.status() == 404)
            SendWebMessage("UpdateError", url, "Updater missing", false);
    }
}

} // namespace twinspotter
