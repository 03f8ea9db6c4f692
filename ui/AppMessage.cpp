// Drops on the main window: the first dropped item goes into the location box under the cursor, shortcuts resolved.
#include "ui/AppMessage.h"

#include "core/ShortcutTarget.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/MainWindow.h"
#include "ui/PathText.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include <string>

namespace twinspotter {

namespace {

// Only items with a path on disk count as dropped files; a virtual item (trash:, smb:, text) is refused.
QString firstLocalPath(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return QString();
    const QList<QUrl> urls = data->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile())
        return QString();
    // In the system's own form: "C:\photos" on Windows, as the user types it and the core lists it.
    return QDir::toNativeSeparators(urls.first().toLocalFile());
}

// Copy, never Move: a source that is told "moved" may delete the file it offered.
void acceptAsCopy(QDropEvent& event)
{
    event.setDropAction(Qt::CopyAction);
    event.accept();
}

} // namespace

AppMessage::AppMessage(MainWindow* window) : QObject(window), m_window(window)
{
    QCoreApplication::instance()->installEventFilter(this);
}

AppMessage::~AppMessage()
{
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

bool AppMessage::belongsToWindow(const QObject* watched) const
{
    if (watched == m_window)
        return true;
    if (!watched->isWidgetType())
        return false;
    return static_cast<const QWidget*>(watched)->window() == m_window;
}

bool AppMessage::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return false;
    if (!belongsToWindow(watched))
        return false;

    auto& drop = static_cast<QDropEvent&>(*event);
    // While a search or a removal runs the location boxes are locked: a new Location 2 would switch the mode and
    // so change which counter the running command lowers.
    if (firstLocalPath(drop.mimeData()).isEmpty() || !m_window->locationsEditable()) {
        // Nothing of ours, and no widget of the window may take it either (a line edit would insert dragged text).
        drop.ignore();
        return true;
    }
    if (type == QEvent::Drop)
        dropped(drop);
    acceptAsCopy(drop);
    return true;
}

void AppMessage::dropped(QDropEvent& event)
{
    // The whole path, however long: a path cut short can name another folder.
    const QString path = firstLocalPath(event.mimeData());
    // Where the cursor is now, not where the drop event says: the drop may wait behind a running search.
    const QPoint cursor = QCursor::pos();

    QLineEdit* box = m_window->locationBoxAt(cursor);
    if (!box) {
        // Shown once the drop has been handed back: under X11 the file manager waits for the drop to end, and
        // would wait for as long as a box opened inside the drop handler stays up.
        QTimer::singleShot(0, this, reportingErrors([] {
                               dialogs().message(nullptr, QStringLiteral("Drag in the edit box location"),
                                                 QStringLiteral("Info"));
                           }));
        return;
    }
    const std::string target = shortcutTarget(toPath(path));
    box->setText(target == kNotAShortcut ? path : displayText(target));
}

} // namespace twinspotter
