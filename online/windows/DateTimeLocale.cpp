// The long time format of the user's locale, as the control panel sets it.
#include "online/DateTimeSettings.h"

#include "core/windows/WinText.h"

#include <windows.h>

namespace twinspotter {

namespace {

std::string localeText(LCTYPE item)
{
    wchar_t text[LOCALE_NAME_MAX_LENGTH * 2] = {};
    const int got = ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, item, text, static_cast<int>(std::size(text)));
    return got > 1 ? fromWide(std::wstring_view(text, static_cast<std::size_t>(got - 1))) : std::string();
}

} // namespace

DateTimeSettings DateTimeSettings::fromLocale()
{
    const std::string format = localeText(LOCALE_STIMEFORMAT);
    if (format.empty())
        return fromTimeFormat("%H:%M:%S", "%I:%M:%S %p", "AM", "PM");
    return fromWindowsTimeFormat(format, localeText(LOCALE_S1159), localeText(LOCALE_S2359));
}

} // namespace twinspotter
