// The application object, with the one place where an error that escaped a handler is reported.
#pragma once

#include <QApplication>

#include <functional>
#include <utility>

namespace twinspotter {

class TwinspotterApplication : public QApplication
{
public:
    TwinspotterApplication(int& argc, char** argv);

    /// Delivers the event; an exception that escapes the receiver's event handlers is shown by reportCurrentError
    /// and the program goes on. The handlers of controls catch their own, through runReportingErrors.
    bool notify(QObject* receiver, QEvent* event) override;
};

/// The general error report: shows the text of the exception being handled in a message box.
/// Call only inside a catch block.
void reportCurrentError();

/// Runs \p work and shows an exception that leaves it in the general error report. Qt's signal and slot code is not
/// exception safe, so every handler of a control runs through here. Returns false after an error.
bool runReportingErrors(const std::function<void()>& work);

/// \p work as a slot that runs it through runReportingErrors: connect(button, &QPushButton::clicked, this,
/// reportingErrors([this] { ... })).
template <typename Work> auto reportingErrors(Work work)
{
    return [work = std::move(work)] { runReportingErrors(work); };
}

/// The handler \p method of \p receiver as such a slot.
template <typename Receiver> auto reportingErrors(Receiver* receiver, void (Receiver::*method)())
{
    return reportingErrors([receiver, method] { (receiver->*method)(); });
}

} // namespace twinspotter
