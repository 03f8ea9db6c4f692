// The application object and the general error report.
#include "ui/Application.h"

#include "core/Version.h"
#include "online/ShownText.h"
#include "online/Waiting.h"
#include "ui/Dialogs.h"
#include "ui/PathText.h"

#include <QDir>
#include <QIcon>

#include <exception>

namespace twinspotter {

TwinspotterApplication::TwinspotterApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Twinspotter"));
    setOrganizationName(QStringLiteral("QuillNet"));
    setApplicationVersion(QString::fromLatin1(kVersion));
    // Wayland compositors and task bars match the window to its launcher, and so to its icon, by this name.
    setDesktopFileName(QString::fromLatin1(kApplicationId));
    QIcon icon;
    const QDir icons(QStringLiteral(":/twinspotter/icons"));
    for (const QString& png : icons.entryList(QDir::Files))
        icon.addFile(icons.filePath(png));
    setWindowIcon(icon);
}

bool TwinspotterApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        reportCurrentError();
        return false;
    }
}

bool runReportingErrors(const std::function<void()>& work)
{
    try {
        work();
        return true;
    } catch (...) {
        reportCurrentError();
        return false;
    }
}

void reportCurrentError()
{
    QString text;
    try {
        throw;
    } catch (const WaitCancelled&) {
        return; // the user ended a wait: nothing failed
    } catch (const std::exception& e) {
        // An error may quote the server or a damaged file: nothing in it may turn the text round.
        text = displayText(shownText(e.what(), true));
    } catch (...) {
        text = QStringLiteral("Unknown error");
    }
    dialogs().error(QApplication::activeWindow(), text);
}

} // namespace twinspotter
