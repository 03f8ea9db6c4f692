// What the search and removal commands need from whoever runs them: the window, the scanner or a test.
#pragma once

#include "core/FileRecord.h"
#include "core/FileSystem.h"
#include "core/Progress.h"
#include "core/remove.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace twinspotter {

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
    /// How far the search has got: at the start of each phase, then as the phase counts (for the content
    /// comparison, after every pair it decides and while it waits for a file).
    virtual void showProgress(const Progress& /*progress*/) {}

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
