// The one place that names the phases of a search, for the window and for the scanner.
#include "core/Progress.h"

#include <cstdio>
#include <iterator>

namespace twinspotter {

namespace {

struct PhaseNames
{
    std::string_view title;   ///< the window's progress label
    std::string_view counted; ///< what the scanner's line counts
    bool reads = false;       ///< counts files read out of a known total, with their bytes
};

PhaseNames namesOf(Phase phase)
{
    switch (phase) {
    case Phase::Cataloguing:
        return {"Readin files form location 1", "files catalogued"};
    case Phase::Matching:
        return {"Looking for duplicates ...", "pairs found"};
    case Phase::ComparingContents:
        return {"Comparing contents ...", "comparing contents", true};
    }
    return {};
}

} // namespace

std::string progressTitle(const Progress& progress)
{
    const PhaseNames names = namesOf(progress.phase);
    std::string title(names.title);
    if (names.reads && !progress.begins)
        title += ' ' + byteProgressText(progress.bytes, progress.bytesTotal);
    return title;
}

std::string progressLine(const Progress& progress, std::uint64_t catalogued)
{
    const PhaseNames names = namesOf(progress.phase);
    // Outside reading the count is an index: the figure shown is how many there are.
    const std::uint64_t shown = progress.begins ? 0 : progress.count + (names.reads ? 0 : 1);
    std::string line;
    if (progress.phase == Phase::Matching)
        line = std::string(namesOf(Phase::Cataloguing).counted) + ": " + std::to_string(catalogued) + ", ";
    line += std::string(names.counted) + ": " + std::to_string(shown);
    if (names.reads)
        line += " of " + std::to_string(progress.total) + " files, " +
                byteProgressText(progress.bytes, progress.bytesTotal);
    return line;
}

std::string byteProgressText(std::uint64_t done, std::uint64_t total)
{
    static constexpr const char* kUnits[] = {"kB", "MB", "GB", "TB", "PB"};
    if (total < 1000)
        return std::to_string(done) + "/" + std::to_string(total) + " bytes";
    double scale = 1000;
    std::size_t unit = 0;
    while (unit + 1 < std::size(kUnits) && total >= scale * 1000) {
        scale *= 1000;
        ++unit;
    }
    // Three digits at most on either side, so the text fits the window's progress label.
    const int decimals = total < scale * 100 ? 1 : 0;
    char text[64];
    std::snprintf(text, sizeof text, "%.*f/%.*f %s", decimals, double(done) / scale, decimals, double(total) / scale,
                  kUnits[unit]);
    return text;
}

} // namespace twinspotter
