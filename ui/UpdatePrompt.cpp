// The update question at start-up, asked through the program's dialogs.
#include "ui/UpdatePrompt.h"

#include "ui/Dialogs.h"

#include <QString>

namespace twinspotter {

namespace {

class BoxQuestion : public UpdateQuestion
{
public:
    BoxQuestion(QWidget* parent, const WaitingNotice& waiting) : m_parent(parent), m_waiting(waiting) {}

    bool askToUpdate() override { return dialogs().confirm(m_parent, QString::fromUtf8(kUpdateQuestion)); }
    void showWaiting(std::string_view text) override
    {
        if (m_waiting)
            m_waiting(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    }

private:
    QWidget* m_parent;
    const WaitingNotice& m_waiting;
};

} // namespace

void runUpdatePrompt(QWidget* parent, const DateTimeSettings& settings, const WaitingNotice& waiting)
{
    BoxQuestion question(parent, waiting);
    runUpdateCheck(question, settings);
}

void runUpdatePrompt(QWidget* parent, const WaitingNotice& waiting)
{
    runUpdatePrompt(parent, DateTimeSettings::fromLocale(), waiting);
}

} // namespace twinspotter
