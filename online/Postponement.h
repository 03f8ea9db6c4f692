// The update check at start-up and the seven-day postponement recorded in "postponed.txt", without the window.
#pragma once

#include <chrono>
#include <compare>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include "online/Waiting.h"

namespace twinspotter {

inline constexpr const char* kPostponementFileName = "postponed.txt";
inline constexpr const char* kUpdateQuestion = "There are a new version available\n\r           Update it ?";
inline constexpr int kPostponementDays = 7;
/// A local (wall-clock) date and time of day, to the second; what the postponement file holds.
struct LocalDateTime
{
    std::chrono::year_month_day date{};
    std::chrono::seconds timeOfDay{0}; ///< 0 to 86399

    friend bool operator==(const LocalDateTime& a, const LocalDateTime& b) = default;
    friend std::strong_ordering operator<=>(const LocalDateTime& a, const LocalDateTime& b)
    {
        const auto byDate = std::chrono::sys_days(a.date) <=> std::chrono::sys_days(b.date);
        return byDate != 0 ? byDate : a.timeOfDay <=> b.timeOfDay;
    }
};

/// The local date and time of a moment, under the process's time zone (TZ).
LocalDateTime localDateTimeOf(std::chrono::system_clock::time_point moment);

/// The same local time of day, days later on the calendar: daylight-saving changes in between do not move it.
LocalDateTime addDays(const LocalDateTime& value, int days);

/// Raised when a text is not a date and time in the form below.
class DateTimeConversionError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// The date and time settings of the postponement file: date "mm-dd-yyyy" with "-", and the user's long time format
/// with ":" between hours, minutes and seconds and the AM/PM designator where the format has one.
class DateTimeSettings
{
public:
    /// The long time format of the environment's LC_TIME (nl_langinfo T_FMT, AM_STR, PM_STR).
    static DateTimeSettings fromLocale();
    /// The same from given strftime texts: timeFormat as T_FMT, ampmFormat as T_FMT_AMPM (what "%r" stands for).
    static DateTimeSettings fromTimeFormat(const std::string& timeFormat, const std::string& ampmFormat,
                                           const std::string& am, const std::string& pm);

    /// The time pattern in use, in strftime notation with ":" as separator, e.g. "%H:%M:%S" or "%I:%M:%S %p".
    const std::string& longTimeFormat() const { return m_pattern; }

    /// The date by "mm-dd-yyyy"; then, unless the time is 00:00:00, one blank and the time by the long format.
    std::string format(const LocalDateTime& value) const;

    /// Month-day-year with "-" between the numbers, optionally followed by a blank and hours:minutes[:seconds]
    /// with an AM or PM designator before or after it. The designators of these settings and the plain "AM"/"PM"
    /// are accepted whatever the current format is, so a file written under a 12-hour format still reads after a
    /// switch to 24 hours and the other way round. Throws DateTimeConversionError for anything else.
    LocalDateTime parse(const std::string& text) const;

private:
    std::string m_pattern; ///< only %H %-H %I %-I %M %S %p and ":" / " " remain in it
    std::string m_am;
    std::string m_pm;
};

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
