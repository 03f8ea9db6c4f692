// The application object, with the one place where an error that escaped a handler is reported.
#pragma once

#include <QApplication>

namespace twinspotter {

class TwinspotterApplication : public QApplication
{
public:
    TwinspotterApplication(int& argc, char** argv);

    /// Delivers the event; an exception that escapes the receiver is shown by reportCurrentError and the
    /// program goes on.
    bool notify(QObject* receiver, QEvent* event) override;
};

/// The general error report: shows the text of the exception being handled in a message box.
/// Call only inside a catch block.
void reportCurrentError();

} // namespace twinspotter
