// The update question at start-up, asked through the program's dialogs.
#include "ui/UpdatePrompt.h"

#include "ui/Dialogs.h"
#include "ui/OnlineWait.h"

#include <QString>

namespace twinspotter {

namespace {

class BoxQuestion : public UpdateQuestion
{
public:
    BoxQuestion(QWidget* parent, const WaitingNotice& waiting, WindowWait& wait)
        : m_parent(parent), m_waiting(waiting), m_wait(wait)
    {
    }

    bool askToUpdate() override { return dialogs().confirm(m_parent, QString::fromUtf8(kUpdateQuestion)); }
    void showWaiting(std::string_view text) override
    {
        if (m_waiting)
            m_waiting(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    }
    bool keepWaiting() override { return m_wait.keepWaiting(); }
    void showProgress(std::uint64_t received, std::uint64_t total) override
    {
        if (m_waiting)
            m_waiting(QStringLiteral("Downloading the update ... ") + progressFigure(received, total));
    }

private:
    QWidget* m_parent;
    const WaitingNotice& m_waiting;
    WindowWait& m_wait;
};

} // namespace

void runUpdatePrompt(QWidget* parent, const DateTimeSettings& settings, const WaitingNotice& waiting, WindowWait* wait)
{
    WindowWait ownWait(parent);
    BoxQuestion question(parent, waiting, wait ? *wait : ownWait);
    runUpdateCheck(question, settings);
}

void runUpdatePrompt(QWidget* parent, const WaitingNotice& waiting, WindowWait* wait)
{
    runUpdatePrompt(parent, DateTimeSettings::fromLocale(), waiting, wait);
}

} // namespace twinspotter
