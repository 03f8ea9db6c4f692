// What the search and removal commands need from whoever runs them: the window, the scanner or a test.
#pragma once

#include "core/FileRecord.h"
#include "core/FileSystem.h"
#include "core/remove.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace twinspotter {

/// The steps of a search, in the order it takes them. Each shows in its own words: the window's progress label, the
/// scanner's progress line.
enum class Phase {
    Cataloguing,       ///< walking location 1 into the catalogue
    Matching,          ///< pairing the files of location 2 (or of the catalogue itself) with the catalogue
    ComparingContents, ///< reading the files of the pairs found, when the same content is asked for
};

/// How far the content comparison has got: distinct files and their bytes, done and to do, and the pairs it has
/// confirmed so far.
struct ContentProgress
{
    std::uint64_t filesDone = 0;
    std::uint64_t filesTotal = 0;
    std::uint64_t bytesDone = 0;
    std::uint64_t bytesTotal = 0;
    std::uint64_t pairsKept = 0;
};

/// "1.2/4.5 GB", "123/456 MB", "12/512 bytes": both amounts in the total's decimal unit, with one decimal place
/// below a hundred of it.
std::string byteProgressText(std::uint64_t done, std::uint64_t total);

/// What a pair must share besides the name.
struct SearchCriteria
{
    bool sameDate = true;
    bool sameSize = true;
    bool sameContent = false;
};

/// Every member has a default that does nothing, answers No, or gives the default criteria.
class CommandHost
{
public:
    virtual ~CommandHost() = default;

    /// Lets the window repaint and take clicks (Cancel above all) in the middle of a long command.
    virtual void serviceEvents() {}
    /// A search has begun \p phase.
    virtual void showPhase(Phase /*phase*/) {}
    /// The running count of the phase: the index of the file catalogued or of the pair found last.
    virtual void showProgress(std::uint64_t /*count*/) {}
    /// The content comparison's progress, after every pair it decides and while it waits for a file.
    virtual void showContentProgress(const ContentProgress& /*progress*/) {}

    /// The criteria ticked: date and size are read afresh for every location-2 file, the content once matching has
    /// ended.
    virtual SearchCriteria criteria() const { return {}; }
    /// Where removed files go as the user has chosen (the safety and Trash options), read afresh for every file a
    /// removal handles.
    virtual RemovalTarget removalTarget() const { return Delete{}; }

    /// A Yes/No question with the title "Confirm"; only true proceeds.
    virtual bool confirm(std::string_view /*question*/) { return false; }
    /// A message in the confirmation style with a single OK button.
    virtual void inform(std::string_view /*message*/) {}
    /// The files a removal command set out to remove and left, each with its reason; called only when there are
    /// some, after the command's count message.
    virtual void reportKept(const std::vector<KeptFile>& /*kept*/) {}
};

/// What a build without a window uses: every operation does nothing.
class SilentHost : public CommandHost
{
};

} // namespace twinspotter
