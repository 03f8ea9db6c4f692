// The few things the search and removal commands need from whoever runs them: the window, the scanner or a test.
#pragma once

#include "core/FileSystem.h"
#include "core/FileRecord.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace twinspotter {

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

class CommandHost
{
public:
    virtual ~CommandHost() = default;

    /// Lets the window repaint and take clicks (Cancel above all) in the middle of a long command.
    virtual void serviceEvents() {}
    /// Shows a short running number in the progress counter.
    virtual void showProgress(std::string_view /*text*/) {}
    /// Shows the name of the current phase (the progress label).
    virtual void showPhase(std::string_view /*text*/) {}
    /// The two criterion ticks, read afresh for every location-2 file.
    virtual bool sameDate() const { return true; }
    virtual bool sameSize() const { return true; }
    /// The "Same content" tick, read once when matching has ended.
    virtual bool sameContent() const { return false; }
    /// The content comparison's progress, after every pair it decides and while it waits for a file. By default
    /// the bytes go to the progress label ("Comparing contents ... 1.2/4.5 GB") and the files done to the counter.
    virtual void showContentProgress(const ContentProgress& progress)
    {
        showPhase("Comparing contents ... " + byteProgressText(progress.bytesDone, progress.bytesTotal));
        showProgress(std::to_string(progress.filesDone));
    }
    /// A Yes/No question with the title "Confirm"; only true proceeds.
    virtual bool confirm(std::string_view /*question*/) { return false; }
    /// A message in the confirmation style with a single OK button.
    virtual void inform(std::string_view /*message*/) {}
    /// The files a removal command set out to remove and left, each with its reason; called only when there are
    /// some, after the command's count message.
    virtual void reportKept(const std::vector<KeptFile>& /*kept*/) {}

    /// The search command's own controls: started disables the search and bulk-removal buttons and enables Cancel;
    /// ended (also after a failure) enables the search button again and disables Cancel.
    virtual void searchStarted() {}
    virtual void searchEnded() {}
    /// Refills the results table from the pair list.
    virtual void rebuildResultsTable() {}
    /// Writes the found-count label.
    virtual void showPairCount(std::string_view /*text*/) {}

    /// The safety option (chksafety and the text of edtSavedir), read afresh for every file a removal handles.
    virtual bool safetyTicked() const { return false; }
    virtual PathString safetyDirectory() const { return {}; }
    /// The Trash option, read like the safety option; it excludes it.
    virtual bool trashTicked() const { return false; }
    /// Disables the bulk-removal button. Every confirmed bulk or selected-rows removal ends with it, one that
    /// stopped on an error too.
    virtual void disableBulkRemoval() {}
};

/// What a build without a window uses: every operation does nothing.
class SilentHost : public CommandHost
{
};

} // namespace twinspotter
