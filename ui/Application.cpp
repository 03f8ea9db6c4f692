// The application object and the general error report.
#include "ui/Application.h"

#include "core/Version.h"
#include "ui/Dialogs.h"

#include <exception>

namespace twinspotter {

TwinspotterApplication::TwinspotterApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Twinspotter"));
    setOrganizationName(QStringLiteral("QuillNet"));
    setApplicationVersion(QString::fromLatin1(kVersion));
}

bool TwinspotterApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ReportCurrentError();
        return false;
    }
}

void ReportCurrentError()
{
    QString text;
    try {
        throw;
    } catch (const std::exception& e) {
        text = QString::fromLocal8Bit(e.what());
    } catch (...) {
        text = QStringLiteral("Unknown error");
    }
    dialogs().error(QApplication::activeWindow(), text);
}

} // namespace twinspotter
