// How the online services wait: in short slices, servicing the window between them, within one budget per action.
#pragma once

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace twinspotter {

/// The user ended a wait for the server (Cancel, Exit, closing the window). Nothing failed, so nothing is shown.
class WaitCancelled : public std::runtime_error
{
public:
    WaitCancelled() : std::runtime_error("Cancelled") {}
};

/// The budgets of the user's actions: the time the probe and the requests of one action may spend waiting for the
/// network, all together. Time the user spends reading a box in between does not count.
inline constexpr std::chrono::milliseconds kOpenAboutBudget = std::chrono::seconds(30);
inline constexpr std::chrono::milliseconds kOpenContactBudget = std::chrono::seconds(20);
inline constexpr std::chrono::milliseconds kSendBudget = std::chrono::seconds(30);
inline constexpr std::chrono::milliseconds kStartUpCheckBudget = std::chrono::seconds(20);
/// The "Update" report after a download, and anything asked outside an action.
inline constexpr std::chrono::milliseconds kReportBudget = std::chrono::seconds(20);
/// The updater's download has no total: it fails once it has received less than kDownloadMinimumRate bytes a second
/// over kDownloadStallTime (nothing at all within that time included).
inline constexpr std::chrono::milliseconds kDownloadStallTime = std::chrono::seconds(30);
inline constexpr std::uint64_t kDownloadMinimumRate = 1024;
/// How long one slice of a wait may block before the window is serviced again.
inline constexpr std::chrono::milliseconds kWaitSlice = std::chrono::milliseconds(20);

/// The window's side of a wait, serviced between the slices.
class WaitObserver
{
public:
    virtual ~WaitObserver() = default;
    /// Lets the window repaint and answer the user; false once the user has asked to stop waiting.
    virtual bool keepWaiting() = 0;
    /// How much of a download has arrived; total is 0 while the server has not said.
    virtual void showProgress(std::uint64_t received, std::uint64_t total)
    {
        (void)received;
        (void)total;
    }
};

/// One action of the user that waits for the server. Every probe and request made while it lives (and no inner
/// action does) shares its budget and its observer. The budget passes through the host's timeLimit(), so tests can
/// shorten it.
class OnlineAction
{
public:
    explicit OnlineAction(std::chrono::milliseconds budget, WaitObserver* observer = nullptr);
    ~OnlineAction();
    OnlineAction(const OnlineAction&) = delete;
    OnlineAction& operator=(const OnlineAction&) = delete;

    /// The innermost action alive, or nullptr.
    static OnlineAction* current();

    std::chrono::milliseconds budget() const { return m_budget; }
    WaitObserver* observer() const { return m_observer; }

    /// Counts \p waited against the budget.
    void spend(std::chrono::steady_clock::duration waited) { m_spent += waited; }
    /// True once the waits have used the whole budget.
    bool exhausted() const { return m_spent >= m_budget; }
    /// What is left of the budget, never below zero.
    std::chrono::milliseconds left() const;

    /// Services the observer between two slices; throws WaitCancelled when the user asked to stop.
    void service();

private:
    std::chrono::milliseconds m_budget;
    WaitObserver* m_observer;
    std::chrono::steady_clock::duration m_spent{0};
    OnlineAction* m_outer;
};

/// "30 s", "500 ms": a budget as messages name it.
std::string durationText(std::chrono::milliseconds duration);

} // namespace twinspotter
