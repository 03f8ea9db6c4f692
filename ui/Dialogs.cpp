// The real message boxes and folder picker.
#include "ui/Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>

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
