// The online services' host in the desktop program: Qt's "Open", quit request, message box and program directory.
#pragma once

#include "online/OnlineHost.h"

namespace twinspotter {

class QtOnlineHost : public OnlineHost
{
public:
    /// The executable's directory with a trailing "/".
    std::filesystem::path programDirectory() override;
    /// A URL with a scheme goes to the browser, anything else is taken as a local file.
    void open(const std::string& target) override;
    /// Queued, so that the caller's remaining steps still run before the event loops end; quitRequested() keeps it
    /// for a request made before the main loop runs.
    void requestQuit() override;
    /// A plain message box through the dialogs, over the active window.
    void showMessage(const std::string& text) override;
};

} // namespace twinspotter
