// Servicing the window while the online services wait.
#include "ui/OnlineWait.h"

#include <QCoreApplication>

namespace twinspotter {

bool WindowWait::keepWaiting()
{
    if (!cancelled())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    return !cancelled();
}

void WindowWait::showProgress(std::uint64_t received, std::uint64_t total)
{
    if (onProgress)
        onProgress(received, total);
}

QString progressFigure(std::uint64_t received, std::uint64_t total)
{
    const auto megabytes = [](std::uint64_t bytes) { return QString::number(double(bytes) / 1e6, 'f', 1); };
    QString text = megabytes(received);
    if (total > 0)
        text += QStringLiteral(" of ") + megabytes(total);
    return text + QStringLiteral(" MB");
}

} // namespace twinspotter
