// The application-wide hook that puts a file or folder dropped on the main window into the location box under it.
#pragma once

#include <QObject>

class QDropEvent;

namespace twinspotter {

class MainWindow;

/// Watches every event of the application and takes over the drops aimed at the main window or any of its
/// widgets, before the widget under the drop (a line edit would insert the text) sees them. Installs itself on the
/// application when made and removes itself when destroyed; \p window owns it.
class AppMessage : public QObject
{
    Q_OBJECT

public:
    explicit AppMessage(MainWindow* window);
    ~AppMessage() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool belongsToWindow(const QObject* watched) const;
    void dropped(QDropEvent& event);

    MainWindow* m_window;
};

} // namespace twinspotter
