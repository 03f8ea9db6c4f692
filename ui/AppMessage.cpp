// Drops on the main window: the first dropped item goes into the location box under the cursor, shortcuts resolved.
#include "ui/AppMessage.h"

#include "core/ShortcutTarget.h"
#include "ui/Dialogs.h"
#include "ui/TMainForm.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDropEvent>
#include <QFile>
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
    return urls.first().toLocalFile();
}

// Copy, never Move: a source that is told "moved" may delete the file it offered.
void acceptAsCopy(QDropEvent& event)
{
    event.setDropAction(Qt::CopyAction);
    event.accept();
}

} // namespace

AppMessage::AppMessage(TMainForm* form) : QObject(form), m_form(form)
{
    QCoreApplication::instance()->installEventFilter(this);
}

AppMessage::~AppMessage()
{
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

bool AppMessage::strictlyInside(const QLineEdit& box, const QPoint& globalPos)
{
    // The box's own coordinates: left and top are 0, right and bottom are its width and height.
    const QPoint p = box.mapFromGlobal(globalPos);
    return 0 < p.x() && p.x() < box.width() && 0 < p.y() && p.y() < box.height();
}

bool AppMessage::belongsToForm(const QObject* watched) const
{
    if (watched == m_form)
        return true;
    if (!watched->isWidgetType())
        return false;
    return static_cast<const QWidget*>(watched)->window() == m_form;
}

bool AppMessage::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return false;
    if (!belongsToForm(watched))
        return false;

    auto& drop = static_cast<QDropEvent&>(*event);
    // While a search or a removal runs the location boxes are locked: a new Location 2 would switch the mode and
    // so change which counter the running command lowers.
    if (firstLocalPath(drop.mimeData()).isEmpty() || !m_form->edtStartDir1->isEnabled()) {
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

    QLineEdit* box = nullptr;
    if (strictlyInside(*m_form->edtStartDir1, cursor))
        box = m_form->edtStartDir1;
    else if (strictlyInside(*m_form->edtStartDir2, cursor))
        box = m_form->edtStartDir2;

    if (!box) {
        // Shown once the drop has been handed back: under X11 the file manager waits for the drop to end, and
        // would wait for as long as a box opened inside the drop handler stays up.
        QTimer::singleShot(0, this, [] {
            dialogs().message(nullptr, QStringLiteral("Drag in the edit box location"), QStringLiteral("Info"));
        });
        return;
    }
    const std::string target = shortcutTarget(QFile::encodeName(path).toStdString());
    box->setText(target == kNotAShortcut ? path : QFile::decodeName(QByteArray::fromStdString(target)));
}

} // namespace twinspotter
