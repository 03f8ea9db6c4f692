// Folds one more value into a hash, so that keys of several fields spread over a table.
#pragma once

#include <cstddef>

namespace twinspotter {

/// The mixing step of boost::hash_combine with the 64-bit golden-ratio constant.
inline std::size_t hashCombine(std::size_t seed, std::size_t value)
{
    return seed ^ (value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
}

} // namespace twinspotter
