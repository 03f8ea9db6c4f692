// The real message boxes and folder picker.
#include "ui/Dialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QThread>
#include <QTimer>
#include <QWindow>

namespace twinspotter {

namespace {

Dialogs* g_replacement = nullptr;

// How long a newly shown window may take to be mapped by the window manager before it is painted regardless.
constexpr qint64 kExposeWaitMs = 1000;

// Every box shows its text as plain text: a server's reply, a reason phrase or a file name that looks like markup
// must not become a link to a local file or load a local image.
int execPlain(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
              QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton = QMessageBox::NoButton)
{
    QMessageBox box(icon, title, text, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return box.exec();
}

} // namespace

bool Dialogs::confirm(QWidget* parent, const QString& question)
{
    return execPlain(parent, QMessageBox::Question, QStringLiteral("Confirm"), question,
                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void Dialogs::inform(QWidget* parent, const QString& message)
{
    execPlain(parent, QMessageBox::Question, QStringLiteral("Confirm"), message, QMessageBox::Ok);
}

void Dialogs::message(QWidget* parent, const QString& text, const QString& title)
{
    execPlain(parent, QMessageBox::NoIcon, title.isEmpty() ? QApplication::applicationName() : title, text,
              QMessageBox::Ok);
}

void Dialogs::error(QWidget* parent, const QString& text)
{
    execPlain(parent, QMessageBox::Critical, QApplication::applicationName(), text, QMessageBox::Ok);
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

void PaintNow(QWidget* widget)
{
    QWidget* window = widget->window();
    if (!window->isVisible())
        return;
    // Nothing painted before the window manager has mapped a new window reaches the screen.
    const auto exposed = [window] { return window->windowHandle() && window->windowHandle()->isExposed(); };
    QElapsedTimer waited;
    waited.start();
    while (!exposed() && waited.elapsed() < kExposeWaitMs) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QThread::msleep(5);
    }
    widget->repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace twinspotter
