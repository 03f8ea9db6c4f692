// Download and start of the updater, with the backup of an earlier one and the report of a missing one.
#include "online/Updater.h"

#include "online/HttpClient.h"
#include "online/NewFile.h"
#include "online/OnlineHost.h"
#include "online/OnlineSettings.h"
#include "online/SystemFiles.h"
#include "online/Waiting.h"
#include "online/WebMessage.h"
#include "online/WebText.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>
#include <thread>

namespace twinspotter {

namespace {

// Gives the file system and a virus scanner time to let go of the file between the steps.
constexpr auto kStepPause = std::chrono::milliseconds(50);

std::string withoutTrailingSeparator(const std::filesystem::path& directory)
{
    std::string text = directory.string();
    while (text.size() > 1 && (text.back() == '/' || text.back() == std::filesystem::path::preferred_separator))
        text.pop_back();
    return text;
}

std::string whereToGetIt()
{
    return "The new version can be had from " + siteRootAddress() + "/.";
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
        removeFile(paths.backup);
    std::this_thread::sleep_for(kStepPause);
    const bool earlier = whatIsAt(paths.updater) == NameHolds::RegularFile;
    if (const int error = earlier ? renameReplacing(paths.updater, paths.backup) : 0) {
        removeFile(temporary);
        throw std::system_error(error, std::generic_category(),
                                "Could not move " + paths.updater.string() + " aside to " + paths.backup.string());
    }
    if (const int error = renameReplacing(temporary, paths.updater)) {
        removeFile(temporary);
        if (earlier)
            renameReplacing(paths.backup, paths.updater);
        throw std::system_error(error, std::generic_category(), "Could not save " + paths.updater.string());
    }
    std::this_thread::sleep_for(kStepPause);
    removeFile(paths.backup);
}

} // namespace

UpdaterPaths updaterPathsFor(const std::string& url, const std::filesystem::path& programDirectory)
{
    UpdaterPaths paths;
    std::string directory = programDirectory.string();
    if (directory.empty() ||
        (directory.back() != '/' && directory.back() != std::filesystem::path::preferred_separator))
        directory += static_cast<char>(std::filesystem::path::preferred_separator);
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
                                    withoutTrailingSeparator(paths.directory) +
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
