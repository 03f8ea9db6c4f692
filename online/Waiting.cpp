// The action in force and its budget.
#include "online/Waiting.h"

#include "online/OnlineHost.h"

namespace twinspotter {

namespace {

// Only the user-interface thread runs online actions.
OnlineAction* innermost = nullptr;

} // namespace

OnlineAction::OnlineAction(std::chrono::milliseconds budget, WaitObserver* observer)
    : m_budget(currentOnlineHost().timeLimit(budget)), m_observer(observer), m_outer(innermost)
{
    innermost = this;
}

OnlineAction::~OnlineAction()
{
    innermost = m_outer;
}

OnlineAction* OnlineAction::current()
{
    return innermost;
}

std::chrono::milliseconds OnlineAction::left() const
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_budget - m_spent);
    return left.count() > 0 ? left : std::chrono::milliseconds(0);
}

void OnlineAction::service()
{
    if (m_observer && !m_observer->keepWaiting())
        throw WaitCancelled();
}

std::string durationText(std::chrono::milliseconds duration)
{
    if (duration.count() % 1000 == 0)
        return std::to_string(duration.count() / 1000) + " s";
    return std::to_string(duration.count()) + " ms";
}

} // namespace twinspotter
