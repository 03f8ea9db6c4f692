// The long time format of the environment's LC_TIME.
#include "online/DateTimeSettings.h"

#include <langinfo.h>
#include <locale.h>

namespace twinspotter {

DateTimeSettings DateTimeSettings::fromLocale()
{
    // The environment's LC_TIME, whatever the process's global locale is at the moment.
    locale_t locale = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
    if (locale == static_cast<locale_t>(0))
        locale = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
    if (locale == static_cast<locale_t>(0))
        return fromTimeFormat("%H:%M:%S", "%I:%M:%S %p", "AM", "PM");
    DateTimeSettings settings = fromTimeFormat(nl_langinfo_l(T_FMT, locale), nl_langinfo_l(T_FMT_AMPM, locale),
                                               nl_langinfo_l(AM_STR, locale), nl_langinfo_l(PM_STR, locale));
    freelocale(locale);
    return settings;
}

} // namespace twinspotter
