#include "online/DateTimeSettings.h"

#include "online/ShownText.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

namespace twinspotter {

namespace {

using namespace std::chrono;

constexpr const char* kDefaultPattern = "%H:%M:%S";
constexpr const char* kDefaultAmpmFormat = "%I:%M:%S %p";
enum class Field { Hour24, Hour24Unpadded, Hour12, Hour12Unpadded, Minute, Second, Designator };

// Reads a strftime time format into its fields in order; literal text between them is dropped, because the
// file's form always puts ":" between the numbers. Returns nothing for a format without an hour.
std::vector<Field> timeFields(const std::string& format, const std::string& ampmFormat, int depth = 0)
{
    std::vector<Field> fields;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 >= format.size())
            continue;
        ++i;
        bool unpadded = false;
        while (i < format.size() && std::strchr("-_0^#", format[i])) {
            unpadded = unpadded || format[i] == '-' || format[i] == '_';
            ++i;
        }
        if (i < format.size() && (format[i] == 'E' || format[i] == 'O'))
            ++i;
        if (i >= format.size())
            break;
        switch (format[i]) {
        case 'H':
            fields.push_back(unpadded ? Field::Hour24Unpadded : Field::Hour24);
            break;
        case 'k':
            fields.push_back(Field::Hour24Unpadded);
            break;
        case 'I':
            fields.push_back(unpadded ? Field::Hour12Unpadded : Field::Hour12);
            break;
        case 'l':
            fields.push_back(Field::Hour12Unpadded);
            break;
        case 'M':
            fields.push_back(Field::Minute);
            break;
        case 'S':
            fields.push_back(Field::Second);
            break;
        case 'p':
        case 'P':
            fields.push_back(Field::Designator);
            break;
        case 'T':
            fields.insert(fields.end(), {Field::Hour24, Field::Minute, Field::Second});
            break;
        case 'R':
            fields.insert(fields.end(), {Field::Hour24, Field::Minute});
            break;
        case 'r':
            if (depth == 0) {
                const auto inner = timeFields(ampmFormat.empty() ? kDefaultAmpmFormat : ampmFormat, "", 1);
                fields.insert(fields.end(), inner.begin(), inner.end());
            }
            break;
        default:
            break;
        }
    }
    return fields;
}

std::string patternOf(Field field)
{
    switch (field) {
    case Field::Hour24:
        return "%H";
    case Field::Hour24Unpadded:
        return "%-H";
    case Field::Hour12:
        return "%I";
    case Field::Hour12Unpadded:
        return "%-I";
    case Field::Minute:
        return "%M";
    case Field::Second:
        return "%S";
    case Field::Designator:
        return "%p";
    }
    return {};
}

std::string twoDigits(int value)
{
    return std::string{char('0' + value / 10 % 10), char('0' + value % 10)};
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

char asciiUpper(char c)
{
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

bool startsWithIgnoringAsciiCase(const std::string& text, std::size_t at, const std::string& prefix)
{
    if (prefix.empty() || text.size() - at < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (asciiUpper(text[at + i]) != asciiUpper(prefix[i]))
            return false;
    return true;
}

// text for an error message, escaped and cut after maxCharacters, so that a damaged file can neither garble, turn
// round nor flood the error box.
std::string printableQuote(const std::string& text, std::size_t maxCharacters = 40)
{
    return shownText(text, false, maxCharacters);
}

// A small cursor over the text being read; every failure becomes the one conversion error.
class Reader
{
public:
    explicit Reader(const std::string& text) : m_text(text) {}

    [[noreturn]] void fail() const
    {
        throw DateTimeConversionError("'" + printableQuote(m_text) + "' is not a valid date and time");
    }
    bool atEnd() const { return m_at == m_text.size(); }
    std::size_t skipBlanks()
    {
        const std::size_t start = m_at;
        while (!atEnd() && isBlank(m_text[m_at]))
            ++m_at;
        return m_at - start;
    }
    bool take(char c)
    {
        if (atEnd() || m_text[m_at] != c)
            return false;
        ++m_at;
        return true;
    }
    int number(std::size_t maxDigits)
    {
        std::size_t digits = 0;
        int value = 0;
        while (!atEnd() && m_text[m_at] >= '0' && m_text[m_at] <= '9' && digits < maxDigits) {
            value = value * 10 + (m_text[m_at] - '0');
            ++m_at;
            ++digits;
        }
        if (digits == 0 || (!atEnd() && m_text[m_at] >= '0' && m_text[m_at] <= '9'))
            fail();
        return value;
    }
    /// +1 for a PM designator, -1 for AM, 0 when none stands here.
    int designator(const std::vector<std::pair<std::string, int>>& designators)
    {
        for (const auto& [text, meaning] : designators)
            if (startsWithIgnoringAsciiCase(m_text, m_at, text)) {
                m_at += text.size();
                return meaning;
            }
        return 0;
    }

private:
    const std::string& m_text;
    std::size_t m_at = 0;
};

} // namespace

// Windows' letters: h/hh and H/HH the hour of 12 or 24 (one letter unpadded), m/mm, s/ss, t/tt the designator;
// text in single quotes is literal ('' a quote) and dropped like any other literal text.
DateTimeSettings DateTimeSettings::fromWindowsTimeFormat(const std::string& timeFormat, const std::string& am,
                                                         const std::string& pm)
{
    std::string pattern;
    for (std::size_t i = 0; i < timeFormat.size();) {
        const char letter = timeFormat[i];
        if (letter == '\'') {
            const std::size_t end = timeFormat.find('\'', i + 1);
            i = end == std::string::npos ? timeFormat.size() : end + 1;
            continue;
        }
        std::size_t run = 1;
        while (i + run < timeFormat.size() && timeFormat[i + run] == letter)
            ++run;
        i += run;
        switch (letter) {
        case 'H':
            pattern += run == 1 ? "%-H" : "%H";
            break;
        case 'h':
            pattern += run == 1 ? "%-I" : "%I";
            break;
        case 'm':
            pattern += "%M";
            break;
        case 's':
            pattern += "%S";
            break;
        case 't':
            pattern += "%p";
            break;
        default:
            pattern += ' ';
            break;
        }
    }
    return fromTimeFormat(pattern, "", am, pm);
}

DateTimeSettings DateTimeSettings::fromTimeFormat(const std::string& timeFormat, const std::string& ampmFormat,
                                                  const std::string& am, const std::string& pm)
{
    DateTimeSettings settings;
    settings.m_am = am;
    settings.m_pm = pm;
    std::vector<Field> fields = timeFields(timeFormat, ampmFormat);

    std::vector<Field> numbers;
    bool designatorFirst = false;
    bool hasDesignator = false;
    for (Field field : fields) {
        if (field == Field::Designator) {
            designatorFirst = designatorFirst || (!hasDesignator && numbers.empty());
            hasDesignator = true;
        } else if (std::find(numbers.begin(), numbers.end(), field) == numbers.end()) {
            numbers.push_back(field);
        }
    }
    const auto isHour = [](Field f) { return f <= Field::Hour12Unpadded; };
    const bool hasHour = std::any_of(numbers.begin(), numbers.end(), isHour);
    const bool hasMinute = std::find(numbers.begin(), numbers.end(), Field::Minute) != numbers.end();
    if (!hasHour || !hasMinute) {
        settings.m_pattern = kDefaultPattern;
        return settings;
    }
    // A 12-hour clock without designators would be ambiguous: such a locale gets 24 hours.
    const bool twelveHours = hasDesignator && !am.empty() && !pm.empty();
    for (Field& field : numbers) {
        if (field == Field::Hour12 && !twelveHours)
            field = Field::Hour24;
        else if (field == Field::Hour12Unpadded && !twelveHours)
            field = Field::Hour24Unpadded;
    }

    std::string pattern;
    for (Field field : numbers)
        pattern += (pattern.empty() ? "" : ":") + patternOf(field);
    if (twelveHours)
        pattern = designatorFirst ? "%p " + pattern : pattern + " %p";
    settings.m_pattern = pattern;
    return settings;
}

std::string DateTimeSettings::format(const LocalDateTime& value) const
{
    std::string text =
        twoDigits(int(unsigned(value.date.month()))) + "-" + twoDigits(int(unsigned(value.date.day()))) + "-";
    const int yearNumber = int(value.date.year());
    const std::string yearText = std::to_string(yearNumber);
    text += std::string(yearText.size() < 4 ? 4 - yearText.size() : 0, '0') + yearText;
    const auto total = value.timeOfDay.count();
    if (total == 0)
        return text;

    const int hour = int(total / 3600);
    const int minute = int(total / 60 % 60);
    const int second = int(total % 60);
    const int hour12 = hour % 12 == 0 ? 12 : hour % 12;
    text += ' ';
    for (std::size_t i = 0; i < m_pattern.size(); ++i) {
        if (m_pattern[i] != '%') {
            text += m_pattern[i];
            continue;
        }
        const bool unpadded = m_pattern[i + 1] == '-';
        if (unpadded)
            ++i;
        const char conversion = m_pattern[++i];
        switch (conversion) {
        case 'H':
            text += unpadded ? std::to_string(hour) : twoDigits(hour);
            break;
        case 'I':
            text += unpadded ? std::to_string(hour12) : twoDigits(hour12);
            break;
        case 'M':
            text += twoDigits(minute);
            break;
        case 'S':
            text += twoDigits(second);
            break;
        case 'p':
            text += hour < 12 ? m_am : m_pm;
            break;
        default:
            break;
        }
    }
    return text;
}

LocalDateTime DateTimeSettings::parse(const std::string& text) const
{
    Reader in(text);
    in.skipBlanks();
    const int monthNumber = in.number(2);
    if (!in.take('-'))
        in.fail();
    const int dayNumber = in.number(2);
    if (!in.take('-'))
        in.fail();
    int yearNumber = in.number(4);
    if (yearNumber < 100)
        yearNumber += 2000;
    const year_month_day date{year{yearNumber}, month{unsigned(monthNumber)}, day{unsigned(dayNumber)}};
    if (!date.ok())
        in.fail();

    const bool blank = in.skipBlanks() > 0;
    if (in.atEnd())
        return LocalDateTime{date, seconds{0}};
    if (!blank)
        in.fail();

    // Longest first, so that a designator is never cut short by another that begins like it.
    std::vector<std::pair<std::string, int>> designators;
    for (const auto& [designator, meaning] :
         {std::pair{m_am, -1}, std::pair{m_pm, +1}, std::pair{std::string("AM"), -1}, std::pair{std::string("PM"), 1}})
        if (!designator.empty())
            designators.emplace_back(designator, meaning);
    std::sort(designators.begin(), designators.end(),
              [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });

    int half = in.designator(designators);
    if (half != 0)
        in.skipBlanks();
    const int hour = in.number(2);
    if (!in.take(':'))
        in.fail();
    const int minute = in.number(2);
    int second = 0;
    if (in.take(':'))
        second = in.number(2);
    in.skipBlanks();
    if (half == 0)
        half = in.designator(designators);
    in.skipBlanks();
    if (!in.atEnd() || minute > 59 || second > 59)
        in.fail();

    int hour24 = hour;
    if (half != 0) {
        if (hour > 12)
            in.fail();
        hour24 = hour % 12 + (half > 0 ? 12 : 0);
    } else if (hour > 23) {
        in.fail();
    }
    return LocalDateTime{date, seconds{hour24 * 3600 + minute * 60 + second}};
}

} // namespace twinspotter
