// Download and start of the updater, with the backup of an earlier one and the report of a missing one.
#include "online/Updater.h"

#include "online/HttpClient.h"
#include "online/NewFile.h"
#include "online/OnlineHost.h"
#include "online/OnlineSettings.h"
#include "online/Waiting.h"
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

// What stands at a name: nothing, a regular file, or something else (a link, a FIFO, a folder, a device).
enum class NameHolds { Nothing, RegularFile, Other };

NameHolds whatIsAt(const std::filesystem::path& path)
{
    struct stat status = {};
    if (::lstat(path.c_str(), &status) != 0)
        return errno == ENOENT ? NameHolds::Nothing : NameHolds::Other;
    return S_ISREG(status.st_mode) ? NameHolds::RegularFile : NameHolds::Other;
}

// The updater's names are only ever renamed or removed, never opened: anything but a regular file there is the
// user's to look at.
void refuseAnythingButAFile(const std::filesystem::path& path)
{
    if (whatIsAt(path) == NameHolds::Other)
        throw UpdateNotStartedError("The update was not installed: " + path.string() +
                                    " is not a regular file (a link, a folder or a special file stands there). "
                                    "Remove it, then try again. " +
                                    whereToGetIt());
}

// Writes bytes to a new temporary name beside target and returns that name; removes it again on any failure.
// A file of the program's own, new and exclusive: never a name that a link or a FIFO holds.
std::filesystem::path writeTemporaryBeside(const std::filesystem::path& target, const std::string& bytes)
{
    const NewFile written = writeNewFileBeside(target, bytes, 0755, ".part");
    if (written.error != 0)
        throw std::system_error(written.error, std::generic_category(),
                                (written.created ? "Could not write " : "Could not create ") + written.name.string());
    return written.name;
}

// The earlier updater becomes the backup and the new one takes its name; a failure puts the earlier one back.
void moveIntoPlace(const std::filesystem::path& temporary, const UpdaterPaths& paths)
{
    if (whatIsAt(paths.backup) == NameHolds::RegularFile)
        ::unlink(paths.backup.c_str());
    std::this_thread::sleep_for(kStepPause);
    const bool earlier = whatIsAt(paths.updater) == NameHolds::RegularFile;
    if (earlier && ::rename(paths.updater.c_str(), paths.backup.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        throw std::system_error(error, std::generic_category(),
                                "Could not move " + paths.updater.string() + " aside to " + paths.backup.string());
    }
    if (::rename(temporary.c_str(), paths.updater.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        if (earlier)
            ::rename(paths.backup.c_str(), paths.updater.c_str());
        throw std::system_error(error, std::generic_category(), "Could not save " + paths.updater.string());
    }
    std::this_thread::sleep_for(kStepPause);
    ::unlink(paths.backup.c_str());
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

    refuseAnythingButAFile(paths.updater);
    refuseAnythingButAFile(paths.backup);

    try {
        const std::string body =
            httpGet(insertTimestamp(url), std::nullopt, true, kMaxUpdaterBytes, TimeRule::Download);
        // Checked before anything is touched: a bad download leaves the earlier updater where it was.
        if (body.empty())
            throw UpdateNotStartedError("The update was not installed: the server sent an empty file. " +
                                        whereToGetIt());
        if (!isProgramForThisMachine(body))
            throw UpdateNotStartedError("The update was not installed: what the server sent is not a program for "
                                        "this system. " +
                                        whereToGetIt());
        moveIntoPlace(writeTemporaryBeside(paths.updater, body), paths);
        // Started directly: the desktop's "Open" would show a program in a viewer. Without a running updater
        // the program must not quit, and the user learns where the download lies.
        if (const int error = host.startProgram(paths.updater))
            throw UpdateNotStartedError("The update was saved as " + paths.updater.string() +
                                        ", but it could not be started: " + std::strerror(error) + ". " +
                                        whereToGetIt());
        host.requestQuit();
    } catch (const HttpStatusError& error) {
        if (error.status() == 404)
            sendWebMessage("UpdateError", url, "Updater missing", false);
    }
}

} // namespace twinspotter
