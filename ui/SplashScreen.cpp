// The start-up picture.
#include "ui/SplashScreen.h"

#include "core/Version.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QScreen>

namespace twinspotter {

namespace {

// The picture leaves the version line free, so a new release needs no new artwork.
QPixmap splashPicture()
{
    QPixmap picture(QStringLiteral(":/twinspotter/splash.jpg"));
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 10));
    painter.setPen(QColor(0xff, 0xc8, 0x57));
    painter.drawText(QRectF(238, 180, 250, 24), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Version ") + QString::fromLatin1(kVersion));
    return picture;
}

} // namespace

SplashScreen::SplashScreen(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("SplashScrForm"));
    setModal(true);
    setFixedSize(kWidth, kHeight);

    m_picture = new QLabel(this);
    m_picture->setObjectName(QStringLiteral("TntImage1"));
    m_picture->setGeometry(0, 0, kWidth, kHeight);
    m_picture->setPixmap(splashPicture());
    m_picture->installEventFilter(this);

    m_closeTimer = new QTimer(this);
    m_closeTimer->setObjectName(QStringLiteral("Timer1"));
    m_closeTimer->setInterval(1000);
    connect(m_closeTimer, &QTimer::timeout, this, [this] {
        m_closeTimer->stop();
        close();
    });
    m_closeTimer->start();
}

void SplashScreen::restartTimer()
{
    if (!m_closeTimer->isActive())
        m_closeTimer->start();
}

void SplashScreen::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        restartTimer();
    QDialog::changeEvent(event);
}

void SplashScreen::showEvent(QShowEvent* event)
{
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    // Platforms without window activation (offscreen, some X servers) still get the restart of a stopped timer.
    restartTimer();
    QDialog::showEvent(event);
}

void SplashScreen::keyPressEvent(QKeyEvent* event)
{
    if (!event->text().isEmpty())
        close();
    else
        QDialog::keyPressEvent(event);
}

bool SplashScreen::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_picture && event->type() == QEvent::MouseButtonRelease) {
        close();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace twinspotter
