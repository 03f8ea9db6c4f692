// The broken-down local time of a moment, thread-safe on both systems.
#pragma once

#include <ctime>

namespace twinspotter {

inline std::tm localTimeOf(std::time_t t)
{
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    return local;
}

} // namespace twinspotter
