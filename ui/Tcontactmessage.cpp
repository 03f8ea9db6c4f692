// The contact dialog.
#include "ui/Tcontactmessage.h"

#include "online/Online.h"
#include "ui/Dialogs.h"
#include "ui/TAboutForm.h"

#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTextEdit>

namespace twinspotter {

namespace {

// The dialog closes after "Send" whatever happened, also when an error is on its way to the general report.
class CloseWhenDone
{
public:
    explicit CloseWhenDone(QDialog* dialog) : m_dialog(dialog) {}
    ~CloseWhenDone() { m_dialog->done(QDialog::Accepted); }
    CloseWhenDone(const CloseWhenDone&) = delete;
    CloseWhenDone& operator=(const CloseWhenDone&) = delete;

private:
    QDialog* m_dialog;
};

// Window focus moving to a message box and back is not the user entering or leaving the box.
bool movedByUser(const QFocusEvent* event)
{
    return event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason;
}

} // namespace

QPixmap quillnetLogo()
{
    QPixmap logo(258, 34);
    logo.fill(Qt::transparent);
    QPainter painter(&logo);
    painter.setRenderHint(QPainter::Antialiasing);
    // Two overlapping quill-tip ellipses as the mark, then the name.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 70, 140));
    painter.drawEllipse(QRectF(2, 5, 24, 24));
    painter.setBrush(QColor(230, 120, 0, 200));
    painter.drawEllipse(QRectF(14, 5, 24, 24));
    QFont font(QStringLiteral("Sans Serif"));
    font.setPixelSize(22);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(0, 70, 140));
    painter.drawText(QRectF(46, 0, 212, 34), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Quillnet"));
    return logo;
}

Tcontactmessage::Tcontactmessage(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("contactmessage"));
    setWindowTitle(QStringLiteral("Contact Quillnet"));
    setModal(true);
    setFixedSize(kClientWidth, kClientHeight);

    Label1 = new QLabel(QStringLiteral("email:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(28, 14, 42, 21);

    Edit1 = new QLineEdit(QString::fromLatin1(kEmailPlaceholder), this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(72, 14, 201, 21);
    Edit1->installEventFilter(this);

    Label3 = new QLabel(QStringLiteral("Optional if you want to receive a reply"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    // Two lines beside the e-mail box: on one line the hint would run past the dialog's edge.
    Label3->setWordWrap(true);
    Label3->setGeometry(282, 6, 215, 36);
    QPalette maroon = Label3->palette();
    maroon.setColor(QPalette::WindowText, QColor(128, 0, 0));
    Label3->setPalette(maroon);

    Label2 = new QLabel(QStringLiteral("Your Message"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(28, 42, 200, 18);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(28, 62, 449, 113);
    Memo1->setTabChangesFocus(true);

    BitBtn1 = new QPushButton(QStringLiteral("Send"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(297, 183, 85, 28);
    BitBtn1->setDefault(true);

    BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), QStringLiteral("Exit"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(392, 183, 85, 28);
    BitBtn2->setAutoDefault(false); // Enter stays with "Send"; Esc cancels through the dialog itself

    RichEdit1 = new QTextEdit(this);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setReadOnly(true);
    RichEdit1->setAcceptRichText(false);
    RichEdit1->setFrameShape(QFrame::NoFrame);
    RichEdit1->setFocusPolicy(Qt::ClickFocus);
    QPalette background = RichEdit1->palette();
    background.setColor(QPalette::Base, palette().color(QPalette::Window));
    RichEdit1->setPalette(background);
    RichEdit1->setGeometry(28, 220, 449, 81);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setAttribute(Qt::WA_TranslucentBackground);
    Image1->setPixmap(quillnetLogo());
    Image1->setGeometry(28, 310, 258, 34);

    setTabOrder(Memo1, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
    setTabOrder(BitBtn2, Edit1);

    connect(BitBtn1, &QPushButton::clicked, this, &Tcontactmessage::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &Tcontactmessage::BitBtn2Click);
}

void Tcontactmessage::FormActivate()
{
    Memo1->clear();
    paintNow(this); // on screen before the probe and the fetch block the thread
    QString text;
    if (internetAvailable())
        text = QString::fromUtf8(fetchWebText(contactUsUrl, "", ""));
    else
        text = couldNotContactText();
    RichEdit1->setPlainText(text);
}

void Tcontactmessage::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    Memo1->setFocus(Qt::OtherFocusReason);
    activateWhenShown(this, m_activationQueued, [this] { FormActivate(); });
}

void Tcontactmessage::BitBtn1Click()
{
    CloseWhenDone closer(this);
    const QString message = Memo1->toPlainText();
    if (message.isEmpty()) {
        dialogs().message(this, QString::fromLatin1(kEmptyMessageText));
    } else if (internetAvailable()) {
        // The box holds "\n" between lines; the maker's script has always received CR LF.
        QString content = message;
        content.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        sendWebMessage("Comment", content.toStdString(), Edit1->text().toStdString(), true);
    } else {
        dialogs().error(this, QString::fromLatin1(kConnectionFailedText));
    }
    FormActivate(); // the dialog is active again for a moment once the box has gone
}

void Tcontactmessage::BitBtn2Click()
{
    reject();
}

void Tcontactmessage::Edit1Enter()
{
    if (Edit1->text() == QLatin1String(kEmailPlaceholder))
        Edit1->clear();
}

void Tcontactmessage::Edit1Exit()
{
    if (Edit1->text().isEmpty())
        Edit1->setText(QString::fromLatin1(kEmailPlaceholder));
}

bool Tcontactmessage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Edit1) {
        if (event->type() == QEvent::FocusIn && movedByUser(static_cast<QFocusEvent*>(event)))
            Edit1Enter();
        else if (event->type() == QEvent::FocusOut && movedByUser(static_cast<QFocusEvent*>(event)))
            Edit1Exit();
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace twinspotter
