// Draws the start-up picture; run once with QT_QPA_PLATFORM=offscreen and commit the JPEG it writes. The version
// line is left free: the splash window writes the running version there.
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

void drawPage(QPainter& p, const QRectF& r, const QColor& fill, const QColor& edge)
{
    QPainterPath page;
    const qreal fold = 18;
    page.moveTo(r.topLeft());
    page.lineTo(r.right() - fold, r.top());
    page.lineTo(r.right(), r.top() + fold);
    page.lineTo(r.bottomRight());
    page.lineTo(r.bottomLeft());
    page.closeSubpath();
    p.setPen(QPen(edge, 2));
    p.setBrush(fill);
    p.drawPath(page);
    p.setPen(QPen(edge.lighter(130), 3, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 4; ++i) {
        const qreal y = r.top() + 34 + i * 16;
        p.drawLine(QPointF(r.left() + 14, y), QPointF(r.right() - (i == 3 ? 34 : 14), y));
    }
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("splash.jpg");

    QImage image(500, 349, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, 349);
    sky.setColorAt(0, QColor(0x1d, 0x3b, 0x5c));
    sky.setColorAt(1, QColor(0x0e, 0x1c, 0x2c));
    p.fillRect(image.rect(), sky);

    drawPage(p, QRectF(56, 70, 96, 124), QColor(0xe8, 0xf1, 0xf8), QColor(0x5b, 0x8d, 0xb8));
    drawPage(p, QRectF(96, 100, 96, 124), QColor(0xff, 0xf4, 0xe0), QColor(0xe0, 0x8a, 0x2e));

    p.setPen(QPen(QColor(0xff, 0xc8, 0x57), 6));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(176, 208), 30, 30);
    p.drawLine(QPointF(198, 230), QPointF(226, 258));

    QFont title(QStringLiteral("DejaVu Sans"), 25, QFont::Bold);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRectF(236, 96, 256, 50), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Twinspotter"));

    QFont subtitle(QStringLiteral("DejaVu Sans"), 14);
    p.setFont(subtitle);
    p.setPen(QColor(0xc9, 0xdc, 0xee));
    p.drawText(QRectF(238, 146, 250, 30), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Duplicate file finder"));

    QFont small(QStringLiteral("DejaVu Sans"), 10);
    p.setFont(small);
    p.setPen(QColor(0x7f, 0x9a, 0xb5));
    p.drawText(QRectF(0, 312, 484, 24), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("QuillNet"));
    p.end();

    return image.save(out, "JPEG", 90) ? 0 : 1;
}
