// The results table's column widths as fractions of the window's outer width.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>

namespace twinspotter {

/// Widths of the four result columns for an outer window width; halves round to the even neighbour, the
/// floating-point environment's default. When the number column's share is less than \p numberWidth, it gets that
/// much and the other three share what is left of the rule's total in the rule's proportions.
inline std::array<int, 4> columnWidthsForWindowWidth(int outerWidth, int numberWidth = 0)
{
    const double tenth = outerWidth / 10.0;
    const std::array<int, 4> rule{
        static_cast<int>(std::nearbyint(tenth * 0.3)), static_cast<int>(std::nearbyint(tenth * 1.1)),
        static_cast<int>(std::nearbyint(tenth * 4)), static_cast<int>(std::nearbyint(tenth * 4))};
    if (rule[0] >= numberWidth)
        return rule;
    const int rest = std::max(0, rule[0] + rule[1] + rule[2] + rule[3] - numberWidth);
    const int name = static_cast<int>(std::nearbyint(rest * 1.1 / 9.1));
    const int location1 = static_cast<int>(std::nearbyint(rest * 4 / 9.1));
    return {numberWidth, name, location1, rest - name - location1};
}

} // namespace twinspotter
