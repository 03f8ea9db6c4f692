#include "core/FileRecord.h"

namespace twinspotter {

const PathString& emptyDirectory()
{
    static const PathString empty;
    return empty;
}

std::int32_t packDosDateTime(int year, int month, int day, int hour, int minute, int second)
{
    if (year < 1980)
        return packDosDateTime(1980, 1, 1, 0, 0, 0);
    if (year > 2107)
        return packDosDateTime(2107, 12, 31, 23, 59, 58);
    const std::uint32_t date = (std::uint32_t(year - 1980) << 9) | (std::uint32_t(month) << 5) | std::uint32_t(day);
    const std::uint32_t time = (std::uint32_t(hour) << 11) | (std::uint32_t(minute) << 5) | std::uint32_t(second / 2);
    return static_cast<std::int32_t>((date << 16) | time);
}

DosDateTime unpackDosDateTime(std::int32_t packed)
{
    const auto v = static_cast<std::uint32_t>(packed);
    const std::uint32_t date = v >> 16;
    const std::uint32_t time = v & 0xFFFF;
    return DosDateTime{int(date >> 9) + 1980, int((date >> 5) & 0x0F), int(date & 0x1F),
                       int(time >> 11),       int((time >> 5) & 0x3F), int(time & 0x1F) * 2};
}

} // namespace twinspotter
