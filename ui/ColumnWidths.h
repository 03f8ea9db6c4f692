// The results table's column widths as fractions of the window's outer width.
#pragma once

#include <array>
#include <cmath>

namespace twinspotter {

/// Widths of the four result columns for an outer window width; halves round to the even neighbour, the
/// floating-point environment's default.
inline std::array<int, 4> ColumnWidthsForWindowWidth(int outerWidth)
{
    const double tenth = outerWidth / 10.0;
    return {static_cast<int>(std::nearbyint(tenth * 0.3)), static_cast<int>(std::nearbyint(tenth * 1.1)),
            static_cast<int>(std::nearbyint(tenth * 4)), static_cast<int>(std::nearbyint(tenth * 4))};
}

} // namespace twinspotter
