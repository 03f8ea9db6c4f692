// The real message boxes and folder picker.
#include "ui/Dialogs.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>

#include <algorithm>

namespace twinspotter {

namespace {

Dialogs* g_replacement = nullptr;

} // namespace

bool Dialogs::confirm(QWidget* parent, const QString& question)
{
    return QMessageBox::question(parent, QStringLiteral("Confirm"), question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void Dialogs::inform(QWidget* parent, const QString& message)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), message, QMessageBox::Ok, parent);
    box.exec();
}

void Dialogs::message(QWidget* parent, const QString& text, const QString& title)
{
    QMessageBox box(QMessageBox::NoIcon, title.isEmpty() ? QApplication::applicationName() : title, text,
                    QMessageBox::Ok, parent);
    box.exec();
}

void Dialogs::keptFiles(QWidget* parent, const QString& summary, const QString& details)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Not removed"), summary, QMessageBox::Ok, parent);
    // Paths and reasons come from the disk: never markup.
    box.setTextFormat(Qt::PlainText);
    box.setDetailedText(details);
    box.exec();
}

void Dialogs::error(QWidget* parent, const QString& text)
{
    QMessageBox::critical(parent, QApplication::applicationName(), text);
}

QString Dialogs::chooseDirectory(QWidget* parent, const QString& title)
{
    return QFileDialog::getExistingDirectory(parent, title, QString(),
                                             QFileDialog::ShowDirsOnly | QFileDialog::ReadOnly);
}

Dialogs& dialogs()
{
    static Dialogs real;
    return g_replacement ? *g_replacement : real;
}

void setDialogs(Dialogs* replacement)
{
    g_replacement = replacement;
}

void ShowKeptFiles(QWidget* parent, const std::vector<KeptFile>& kept)
{
    if (kept.empty())
        return;
    // One line per reason, in the order the reasons were first met, with how many files each kept.
    std::vector<std::pair<QString, int>> reasons;
    QString details;
    for (const KeptFile& file : kept) {
        const QString reason = QString::fromLocal8Bit(file.text());
        auto found = std::find_if(reasons.begin(), reasons.end(), [&](const auto& r) { return r.first == reason; });
        if (found == reasons.end())
            reasons.emplace_back(reason, 1);
        else
            ++found->second;
        details += QFile::decodeName(QByteArray::fromStdString(file.path)) + QStringLiteral("\n    ") + reason +
                   QLatin1Char('\n');
    }
    QString summary = kept.size() == 1 ? QStringLiteral("1 file was not removed:")
                                       : QStringLiteral("%1 files were not removed:").arg(kept.size());
    for (const auto& [reason, count] : reasons)
        summary += QStringLiteral("\n%1 \u2013 %2").arg(count).arg(reason);
    dialogs().keptFiles(parent, summary, details);
}

void ActivateWhenShown(QWidget* dialog, bool& queued, std::function<void()> activate)
{
    if (queued)
        return;
    queued = true;
    QTimer::singleShot(0, dialog, [dialog, &queued, activate = std::move(activate)] {
        queued = false;
        if (dialog->isVisible())
            activate();
    });
}

} // namespace twinspotter
