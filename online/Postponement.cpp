// The update check at start-up: postponement file, locale time format and the version check.
#include "online/Postponement.h"

#include "core/ScopeExit.h"
#include "online/LocalTime.h"
#include "online/NewFile.h"
#include "online/Online.h"
#include "online/ShownText.h"
#include "online/SystemFiles.h"
#include "online/Waiting.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>
#include <vector>

namespace twinspotter {

namespace {

using namespace std::chrono;

// The most of the postponement file that is read: its one line is about 30 bytes long.
constexpr std::size_t kPostponementReadBytes = 256;

std::filesystem::path postponementPath()
{
    std::error_code error;
    const auto absolute = std::filesystem::absolute(kPostponementFileName, error);
    return error ? std::filesystem::path(kPostponementFileName) : absolute;
}

std::string systemError(const std::string& what, const std::filesystem::path& path, int error)
{
    return what + " " + path.string() + ": " + std::strerror(error);
}

std::runtime_error notARegularFile(const std::filesystem::path& path)
{
    return std::runtime_error("The postponement file " + path.string() +
                              " is not a regular file. Remove it to let the update check run again.");
}

} // namespace

// Only a regular file is read, and only its beginning: a FIFO would block the start for good, a link to /dev/zero
// would never end, and the one line that matters is about 30 bytes long. Plain system calls, so that every
// refusal names its reason.
std::string readPostponementLine(const std::filesystem::path& path)
{
    const FileStart start = readFileStart(path, kPostponementReadBytes);
    switch (start.outcome) {
    case FileStart::Outcome::NotARegularFile:
        throw notARegularFile(path);
    case FileStart::Outcome::OpenFailed:
        throw std::runtime_error(systemError("Cannot open the postponement file", path, start.error));
    case FileStart::Outcome::ReadFailed:
        throw std::runtime_error(systemError("Cannot read the postponement file", path, start.error));
    case FileStart::Outcome::Read:
        break;
    }
    const std::string& content = start.bytes;
    const std::size_t got = content.size();
    const auto end = content.find('\n');
    if (end == std::string::npos && got == kPostponementReadBytes)
        throw DateTimeConversionError("The postponement file " + path.string() + " cannot be converted: '" +
                                      shownText(content, false, 40) + "' begins a line too long for a date and time");
    std::string line = content.substr(0, end);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

// Written under a new name beside the file and renamed over it: a full disk or a crash never leaves half a line,
// and a link in its place is replaced, never followed.
void writePostponementFile(const std::filesystem::path& path, const std::string& text)
{
    if (isSystemDirectory(path.parent_path()))
        throw std::runtime_error("Cannot write the postponement file " + path.string() +
                                 ": Twinspotter writes nothing into a system folder. Start it from a folder of your "
                                 "own to keep the postponement.");
    const NewFile written = writeNewFileBeside(path, text, 0666, "");
    if (written.error != 0)
        throw std::runtime_error(systemError("Cannot write the postponement file", path, written.error));
    if (const int error = renameReplacing(written.name, path)) {
        removeFile(written.name);
        throw std::runtime_error(systemError("Cannot write the postponement file", path, error));
    }
}

LocalDateTime localDateTimeOf(system_clock::time_point moment)
{
    const std::time_t t = system_clock::to_time_t(time_point_cast<seconds>(moment));
    const std::tm local = localTimeOf(t);
    LocalDateTime value;
    value.date =
        year_month_day{year{local.tm_year + 1900}, month{unsigned(local.tm_mon + 1)}, day{unsigned(local.tm_mday)}};
    // A leap second (tm_sec 60) is kept within the day.
    value.timeOfDay = seconds{std::min(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec, 86399)};
    return value;
}

LocalDateTime addDays(const LocalDateTime& value, int days)
{
    return LocalDateTime{year_month_day{sys_days(value.date) + std::chrono::days{days}}, value.timeOfDay};
}

void runUpdateCheck(UpdateQuestion& window, const DateTimeSettings& settings)
{
    OnlineHost& host = currentOnlineHost();
    const std::string currentText = settings.format(localDateTimeOf(host.now()));

    bool due = true;
    const std::filesystem::path path = postponementPath();
    std::error_code missing;
    if (std::filesystem::exists(std::filesystem::symlink_status(path, missing))) {
        const std::string line = readPostponementLine(path);
        LocalDateTime stored;
        try {
            stored = settings.parse(line);
        } catch (const DateTimeConversionError& error) {
            throw DateTimeConversionError("The postponement file " + path.string() +
                                          " cannot be converted: " + error.what());
        }
        // Both sides at the resolution of the written form, so a moment read back compares as it was written.
        due = settings.parse(currentText) >= stored;
    }
    if (!due)
        return;
    // The window hears what the check waits for, and that the wait is over when it ends, also by an error.
    window.showWaiting("Checking for a newer version ...");
    {
        const ScopeExit checked([&window] { window.showWaiting({}); });
        const OnlineAction check(kStartUpCheckBudget, &window);
        if (!internetAvailable())
            return;
        fetchLatestVersion();
    }
    if (productVersion == latestVersion)
        return;

    if (window.askToUpdate()) {
        window.showWaiting("Downloading the update ...");
        const ScopeExit downloaded([&window] { window.showWaiting({}); });
        const OnlineAction download(kReportBudget, &window);
        downloadUpdater(updaterUrl);
        sendWebMessage("Update", "Auto Update", "just updating to new version", false);
        return;
    }
    const LocalDateTime next = addDays(localDateTimeOf(host.now()), kPostponementDays);
    writePostponementFile(path, settings.format(next) + "\r\n");
}

} // namespace twinspotter
