// What the online services need from whoever runs them: clock, program directory, "Open", quit, message box.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>

namespace twinspotter {

/// Local wall-clock time of day, milliseconds dropped.
struct TimeOfDay
{
    int hour = 0;   ///< 0 to 23
    int minute = 0; ///< 0 to 59
    int second = 0; ///< 0 to 59 (60 in a leap second is passed through)
};

/// The window supplies Qt's services through this; tests record what would have happened.
/// Every member has a default that suits a program without a window.
class OnlineHost
{
public:
    virtual ~OnlineHost() = default;

    /// The current moment; the default reads the system clock.
    virtual std::chrono::system_clock::time_point now();
    /// The local time of day used by the "<timestamp>" value; the default converts now() with localtime_r.
    virtual TimeOfDay localTimeOfDay();
    /// Directory of the running executable, with a trailing "/"; the default reads /proc/self/exe.
    virtual std::filesystem::path programDirectory();
    /// Hands a file or address to the desktop's "Open" action without waiting for it; the default runs xdg-open.
    virtual void open(const std::string& target);
    /// Starts program in a session of its own, with no arguments and this process's working directory, and does
    /// not wait for it. Returns 0 once it runs, else the errno that kept it from starting.
    virtual int startProgram(const std::filesystem::path& program);
    /// The limit in force where the program's is \p normal (an action's budget, the download's stall time); tests
    /// shorten it, the program keeps it.
    virtual std::chrono::milliseconds timeLimit(std::chrono::milliseconds normal) { return normal; }
    /// Asks the application to end once control is back in its event loop; the default only records the request.
    virtual void requestQuit();
    /// Shows a plain message with an OK button; the default writes it to standard output.
    virtual void showMessage(const std::string& text);

    /// True once requestQuit() of this default implementation has been called.
    bool quitRequested() const { return m_quitRequested; }

private:
    bool m_quitRequested = false;
};

/// Makes host the one the online services use; nullptr puts the built-in default back. The caller keeps ownership
/// and must keep the host alive while it is set.
void setOnlineHost(OnlineHost* host);

/// The host set by setOnlineHost, or the built-in default.
OnlineHost& currentOnlineHost();

} // namespace twinspotter
