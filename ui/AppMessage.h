// The application-wide hook that puts a file or folder dropped on the main window into the location box under it.
#pragma once

#include <QObject>

class QDropEvent;
class QLineEdit;
class QPoint;

namespace twinspotter {

class TMainForm;

/// Watches every event of the application and takes over the drops aimed at the main window or any of its
/// widgets, before the widget under the drop (a line edit would insert the text) sees them. Installs itself on the
/// application when made and removes itself when destroyed; \p form owns it.
class AppMessage : public QObject
{
    Q_OBJECT

public:
    explicit AppMessage(TMainForm* form);
    ~AppMessage() override;

    /// True when \p globalPos lies strictly inside \p box: a point on its border line is outside.
    static bool strictlyInside(const QLineEdit& box, const QPoint& globalPos);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool belongsToForm(const QObject* watched) const;
    void dropped(QDropEvent& event);

    TMainForm* m_form;
};

} // namespace twinspotter
