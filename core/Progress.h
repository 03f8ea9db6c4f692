// How far a search has got, in one value for every phase, and the words the window and the scanner show for it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace twinspotter {

/// The steps of a search, in the order it takes them. Progress.cpp names each one.
enum class Phase {
    Cataloguing,       ///< walking location 1 into the catalogue
    Matching,          ///< pairing the files of location 2 (or of the catalogue itself) with the catalogue
    ComparingContents, ///< reading the files of the pairs found, when the same content is asked for
};

/// One report of a search's progress. A phase opens with a report that \ref begins it and counts nothing yet.
struct Progress
{
    Phase phase = Phase::Cataloguing;
    bool begins = false;
    /// The phase's running figure: the index of the file catalogued or of the pair found last; the files read so
    /// far when contents are compared.
    std::uint64_t count = 0;
    /// What the count goes up to, where it is known beforehand (the files to read); 0 otherwise.
    std::uint64_t total = 0;
    /// Bytes done and to do, for a phase that reads files; both 0 otherwise.
    std::uint64_t bytes = 0;
    std::uint64_t bytesTotal = 0;
    /// The pairs the content comparison has confirmed so far.
    std::uint64_t pairsKept = 0;

    static Progress beginning(Phase phase) { return {phase, true}; }
    static Progress counted(Phase phase, std::uint64_t count) { return {phase, false, count}; }
};

/// The window's progress label for \p progress: the phase's name, and the bytes for a phase that reads.
std::string progressTitle(const Progress& progress);

/// The scanner's progress line for \p progress, without the line's control characters; \p catalogued is the number
/// of files the cataloguing counted, which the matching line repeats.
std::string progressLine(const Progress& progress, std::uint64_t catalogued);

/// "1.2/4.5 GB", "123/456 MB", "12/512 bytes": both amounts in the total's decimal unit, with one decimal place
/// below a hundred of it.
std::string byteProgressText(std::uint64_t done, std::uint64_t total);

} // namespace twinspotter
