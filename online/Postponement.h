// The update check at start-up and the seven-day postponement recorded in "postponed.txt", without the window.
#pragma once

#include <chrono>
#include <compare>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include "online/DateTimeSettings.h"
#include "online/Waiting.h"

namespace twinspotter {

inline constexpr const char* kPostponementFileName = "postponed.txt";
inline constexpr const char* kUpdateQuestion = "There are a new version available\n\r           Update it ?";
inline constexpr int kPostponementDays = 7;
/// The local date and time of a moment, under the process's time zone (TZ).
LocalDateTime localDateTimeOf(std::chrono::system_clock::time_point moment);

/// The same local time of day, days later on the calendar: daylight-saving changes in between do not move it.
LocalDateTime addDays(const LocalDateTime& value, int days);

/// The first line of the postponement file at \p path, without its line end. Only a regular file is read (never
/// through a link, never more than its first 256 bytes). Throws an error that names the file when it cannot be read
/// or is no regular file, and DateTimeConversionError when its beginning is too long to be a date and time.
std::string readPostponementLine(const std::filesystem::path& path);

/// Replaces the postponement file at \p path by \p text: written under a new name beside it, synced and renamed over
/// it, so a link in its place is replaced, never followed, and a crash never leaves half a line. Refuses a system
/// folder. Throws an error that names the file.
void writePostponementFile(const std::filesystem::path& path, const std::string& text);

/// What the update check needs from the window; as the observer of its waits it services the window and learns the
/// download's progress.
class UpdateQuestion : public WaitObserver
{
public:
    bool keepWaiting() override { return true; }
    /// Asks kUpdateQuestion; true only for Yes.
    virtual bool askToUpdate() = 0;
    /// Says what the check waits for before a request starts, and with an empty text that the wait is over.
    virtual void showWaiting(std::string_view text) = 0;
};

/// The update check of every start: when the postponement file in the working directory is missing or its moment
/// has come, and the probe finds the internet, fetches the version text into latestVersion; when it differs from
/// productVersion, asks \p window. Yes downloads the updater and sends the "Update" report (the file stays as it
/// is); any other answer writes now + 7 days to the file. The clock is the online host's now().
/// The probe and the version fetch share kStartUpCheckBudget; the download follows its own rule, and the report after
/// it gets kReportBudget. A version text with a line break is refused as malformed.
/// Catches nothing: a file that cannot be read, written or converted throws an error that names it, and a failed
/// fetch or download propagates, for the caller's general error report; so does WaitCancelled.
void runUpdateCheck(UpdateQuestion& window, const DateTimeSettings& settings);

} // namespace twinspotter
