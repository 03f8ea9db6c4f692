// The date and time of the postponement file and the detailed view: the form "mm-dd-yyyy" with the user's long time
// format, written and read back.
#pragma once

#include <chrono>
#include <compare>
#include <stdexcept>
#include <string>

namespace twinspotter {

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
    /// The user's long time format: on Linux the environment's LC_TIME (nl_langinfo T_FMT, AM_STR, PM_STR), on
    /// Windows the user's locale (LOCALE_STIMEFORMAT, LOCALE_S1159, LOCALE_S2359).
    static DateTimeSettings fromLocale();
    /// The same from given strftime texts: timeFormat as T_FMT, ampmFormat as T_FMT_AMPM (what "%r" stands for).
    static DateTimeSettings fromTimeFormat(const std::string& timeFormat, const std::string& ampmFormat,
                                           const std::string& am, const std::string& pm);
    /// The same from a Windows time format such as "HH:mm:ss" or "h:mm:ss tt" (LOCALE_STIMEFORMAT).
    static DateTimeSettings fromWindowsTimeFormat(const std::string& timeFormat, const std::string& am,
                                                  const std::string& pm);

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

} // namespace twinspotter
