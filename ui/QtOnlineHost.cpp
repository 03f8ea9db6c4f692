// The online services' host in the desktop program.
#include "ui/QtOnlineHost.h"

#include "online/ShownText.h"
#include "ui/Dialogs.h"
#include "ui/PathText.h"

#include <QApplication>
#include <QDesktopServices>
#include <QUrl>

namespace twinspotter {

std::filesystem::path QtOnlineHost::programDirectory()
{
    return std::filesystem::path(toPath(QCoreApplication::applicationDirPath())) / "";
}

void QtOnlineHost::open(const std::string& target)
{
    const QString text = QString::fromUtf8(target);
    const QUrl url(text, QUrl::StrictMode);
    const bool hasScheme = url.isValid() && url.scheme().size() > 1; // "C:" is a drive, not a scheme
    QDesktopServices::openUrl(hasScheme ? url : QUrl::fromLocalFile(text));
}

void QtOnlineHost::requestQuit()
{
    // Remembered as well: during start-up no main loop runs yet, and a nested loop (an error box) drops the request.
    OnlineHost::requestQuit();
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}

void QtOnlineHost::showMessage(const std::string& text)
{
    // The server's reply: shown as it stands, but never turned round by its control characters.
    dialogs().message(QApplication::activeWindow(), QString::fromUtf8(shownText(text, true)));
}

} // namespace twinspotter
