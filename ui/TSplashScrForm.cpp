// The start-up picture.
#include "ui/TSplashScrForm.h"

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

TSplashScrForm::TSplashScrForm(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("SplashScrForm"));
    setModal(true);
    setFixedSize(kWidth, kHeight);

    TntImage1 = new QLabel(this);
    TntImage1->setObjectName(QStringLiteral("TntImage1"));
    TntImage1->setGeometry(0, 0, kWidth, kHeight);
    TntImage1->setPixmap(splashPicture());
    TntImage1->installEventFilter(this);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TSplashScrForm::Timer1Timer);
    Timer1->start();
}

void TSplashScrForm::FormActivate()
{
    if (!Timer1->isActive())
        Timer1->start();
}

void TSplashScrForm::Timer1Timer()
{
    Timer1->stop();
    close();
}

void TSplashScrForm::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
    QDialog::changeEvent(event);
}

void TSplashScrForm::showEvent(QShowEvent* event)
{
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    // Platforms without window activation (offscreen, some X servers) still get the restart of a stopped timer.
    FormActivate();
    QDialog::showEvent(event);
}

void TSplashScrForm::keyPressEvent(QKeyEvent* event)
{
    if (!event->text().isEmpty())
        close();
    else
        QDialog::keyPressEvent(event);
}

bool TSplashScrForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == TntImage1 && event->type() == QEvent::MouseButtonRelease) {
        close();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace twinspotter
