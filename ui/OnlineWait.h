// The window's side of a wait for the server: it stays alive, and the user can end the wait.
#pragma once

#include "online/Waiting.h"

#include <QPointer>
#include <QWidget>

#include <functional>

namespace twinspotter {

/// Services the events between the slices of a wait, so that \p window repaints and answers clicks; the wait ends
/// once cancel() is called or the window is closed (hidden). With no window, only cancel() ends it.
class WindowWait : public WaitObserver
{
public:
    explicit WindowWait(QWidget* window) : m_window(window), m_watching(window != nullptr) {}

    void cancel() { m_cancelled = true; }
    /// True once the user ended the wait, by cancel() or by closing the window.
    bool cancelled() const { return m_cancelled || (m_watching && (!m_window || !m_window->isVisible())); }

    bool keepWaiting() override;
    void showProgress(std::uint64_t received, std::uint64_t total) override;

    /// Told each download progress.
    std::function<void(std::uint64_t received, std::uint64_t total)> onProgress;

private:
    QPointer<QWidget> m_window;
    bool m_watching;
    bool m_cancelled = false;
};

/// "1.2 of 8.4 MB" (or "1.2 MB" while the size is not known).
QString progressFigure(std::uint64_t received, std::uint64_t total);

} // namespace twinspotter
