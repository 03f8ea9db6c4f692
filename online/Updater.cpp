// Download and start of the updater, with the backup of an earlier one and the report of a missing one.
#include "online/Updater.h"

#include "online/HttpClient.h"
#include "online/OnlineHost.h"
#include "online/OnlineSettings.h"
#include "online/WebMessage.h"
#include "online/WebText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>
#include <thread>

namespace twinspotter {

namespace {

// Gives the file system and a virus scanner time to let go of the file between the steps.
constexpr auto kStepPause = std::chrono::milliseconds(50);

// Hierarchies that belong to the package manager or the administrator, as the file-system hierarchy standard names
// them; the user's home, /tmp and a build folder are not among them.
constexpr std::string_view kSystemHierarchies[] = {"/usr",    "/bin", "/sbin", "/lib",  "/lib32", "/lib64",
                                                   "/libx32", "/opt", "/etc",  "/boot", "/snap",  "/var/lib"};

// The first bytes of an ELF header that say whether this machine runs it: class, byte order, type and machine.
constexpr std::size_t kElfHeaderBytes = 20;

std::string ownElfHeader()
{
    std::string header(kElfHeaderBytes, '\0');
    const int fd = ::open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    const ssize_t got = ::read(fd, header.data(), header.size());
    ::close(fd);
    return got == static_cast<ssize_t>(header.size()) ? header : std::string();
}

std::string withoutTrailingSlash(const std::filesystem::path& directory)
{
    std::string text = directory.string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

// The program writes its update only into a folder of the user's own that the user may write to. A folder that
// cannot be examined is left to the write itself, which then names its reason.
bool mayWriteInto(const std::filesystem::path& directory)
{
    if (isSystemDirectory(directory))
        return false;
    struct stat status = {};
    if (::stat(directory.c_str(), &status) != 0)
        return true;
    return status.st_uid == ::geteuid() && ::faccessat(AT_FDCWD, directory.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

std::string whereToGetIt()
{
    return "The new version can be had from " + siteRootAddress() + "/.";
}

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
    // An earlier file kept its mode through O_TRUNC; the updater must be runnable by its owner whatever that was.
    struct stat status = {};
    if (::fstat(fd, &status) == 0 && !(status.st_mode & S_IXUSR))
        ::fchmod(fd, (status.st_mode & 07777) | S_IXUSR);
    if (::close(fd) != 0)
        throw std::system_error(errno, std::generic_category(), "Could not write " + path.string());
}

} // namespace

bool isSystemDirectory(const std::filesystem::path& directory)
{
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(directory, error);
    const std::string text = withoutTrailingSlash(error ? directory : resolved);
    for (const std::string_view hierarchy : kSystemHierarchies)
        if (text.starts_with(hierarchy) && (text.size() == hierarchy.size() || text[hierarchy.size()] == '/'))
            return true;
    return false;
}

bool isProgramForThisMachine(std::string_view bytes)
{
    if (bytes.starts_with("#!"))
        return true;
    static const std::string own = ownElfHeader();
    if (own.empty() || bytes.size() < kElfHeaderBytes || !bytes.starts_with("\177ELF"))
        return false;
    const auto at = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const bool sameClassAndOrder = bytes.substr(4, 2) == std::string_view(own).substr(4, 2);
    const bool sameMachine = bytes.substr(18, 2) == std::string_view(own).substr(18, 2);
    const unsigned type = at(5) == 2 ? at(16) << 8 | at(17) : at(17) << 8 | at(16);
    constexpr unsigned kExecutable = 2, kSharedObject = 3; // a position-independent program is the latter
    return sameClassAndOrder && sameMachine && (type == kExecutable || type == kSharedObject);
}

UpdaterPaths updaterPathsFor(const std::string& url, const std::filesystem::path& programDirectory)
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

void downloadUpdater(const std::string& url)
{
    OnlineHost& host = currentOnlineHost();
    const UpdaterPaths paths = updaterPathsFor(url, host.programDirectory());
    if (!mayWriteInto(paths.directory))
        throw UpdateNotStartedError("The update cannot be installed from inside " +
                                    withoutTrailingSlash(paths.directory) +
                                    ": Twinspotter may not write to that folder. " + whereToGetIt());

    if (fileExists(paths.backup))
        ::unlink(paths.backup.c_str());
    std::this_thread::sleep_for(kStepPause);
    // Never replaces: when B could not be deleted, the earlier updater stays where it is and gets overwritten.
    if (!fileExists(paths.backup))
        ::rename(paths.updater.c_str(), paths.backup.c_str());
    std::this_thread::sleep_for(kStepPause);

    try {
        const std::string body = httpGet(insertTimestamp(url), std::nullopt, true, kMaxUpdaterBytes);
        writeWholeFile(paths.updater, body);
        std::this_thread::sleep_for(kStepPause);
        ::unlink(paths.backup.c_str());
        // Started directly: the desktop's "Open" would show a program in a viewer. Without a running updater
        // the program must not quit, and the user learns where the download lies.
        const std::string saved = "The update was saved as " + paths.updater.string();
        if (!isProgramForThisMachine(body))
            throw UpdateNotStartedError(saved + ", but it is not a program for this system and cannot be started " +
                                        "here. " + whereToGetIt());
        if (const int error = host.startProgram(paths.updater))
            throw UpdateNotStartedError(saved + ", but it could not be started: " + std::strerror(error) + ". " +
                                        whereToGetIt());
        host.requestQuit();
    } catch (const HttpStatusError& error) {
        if (error.status() == 404)
            sendWebMessage("UpdateError", url, "Updater missing", false);
    }
}

} // namespace twinspotter
