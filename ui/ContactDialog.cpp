// The contact dialog.
#include "ui/ContactDialog.h"

#include "online/Online.h"
#include "ui/AboutDialog.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/OnlineWait.h"

#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QStyle>
#include <QTextEdit>

namespace twinspotter {

namespace {

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

ContactDialog::ContactDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("contactmessage"));
    setWindowTitle(QStringLiteral("Contact Quillnet"));
    setModal(true);
    setFixedSize(kClientWidth, kClientHeight);

    m_emailLabel = new QLabel(QStringLiteral("email:"), this);
    m_emailLabel->setObjectName(QStringLiteral("Label1"));
    m_emailLabel->setGeometry(28, 14, 42, 21);

    m_emailEdit = new QLineEdit(QString::fromLatin1(kEmailPlaceholder), this);
    m_emailEdit->setObjectName(QStringLiteral("Edit1"));
    m_emailEdit->setGeometry(72, 14, 201, 21);
    m_emailEdit->installEventFilter(this);

    m_emailHint = new QLabel(QStringLiteral("Optional if you want to receive a reply"), this);
    m_emailHint->setObjectName(QStringLiteral("Label3"));
    // Two lines beside the e-mail box: on one line the hint would run past the dialog's edge.
    m_emailHint->setWordWrap(true);
    m_emailHint->setGeometry(282, 6, 215, 36);
    QPalette maroon = m_emailHint->palette();
    maroon.setColor(QPalette::WindowText, QColor(128, 0, 0));
    m_emailHint->setPalette(maroon);

    m_messageLabel = new QLabel(QStringLiteral("Your Message"), this);
    m_messageLabel->setObjectName(QStringLiteral("Label2"));
    m_messageLabel->setGeometry(28, 42, 200, 18);

    m_messageEdit = new QPlainTextEdit(this);
    m_messageEdit->setObjectName(QStringLiteral("Memo1"));
    m_messageEdit->setGeometry(28, 62, 449, 113);
    m_messageEdit->setTabChangesFocus(true);

    m_sendButton = new QPushButton(QStringLiteral("Send"), this);
    m_sendButton->setObjectName(QStringLiteral("BitBtn1"));
    m_sendButton->setGeometry(297, 183, 85, 28);
    m_sendButton->setDefault(true);

    m_exitButton = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), QStringLiteral("Exit"), this);
    m_exitButton->setObjectName(QStringLiteral("BitBtn2"));
    m_exitButton->setGeometry(392, 183, 85, 28);
    m_exitButton->setAutoDefault(false); // Enter stays with "Send"; Esc cancels through the dialog itself

    m_contactText = new QTextEdit(this);
    m_contactText->setObjectName(QStringLiteral("RichEdit1"));
    m_contactText->setReadOnly(true);
    m_contactText->setAcceptRichText(false);
    m_contactText->setFrameShape(QFrame::NoFrame);
    m_contactText->setFocusPolicy(Qt::ClickFocus);
    QPalette background = m_contactText->palette();
    background.setColor(QPalette::Base, palette().color(QPalette::Window));
    m_contactText->setPalette(background);
    m_contactText->setGeometry(28, 220, 449, 81);

    m_logo = new QLabel(this);
    m_logo->setObjectName(QStringLiteral("Image1"));
    m_logo->setAttribute(Qt::WA_TranslucentBackground);
    m_logo->setPixmap(quillnetLogo());
    m_logo->setGeometry(28, 310, 258, 34);

    setTabOrder(m_messageEdit, m_sendButton);
    setTabOrder(m_sendButton, m_exitButton);
    setTabOrder(m_exitButton, m_emailEdit);

    connect(m_sendButton, &QPushButton::clicked, this, reportingErrors(this, &ContactDialog::send));
    connect(m_exitButton, &QPushButton::clicked, this, &QDialog::reject);
}

void ContactDialog::refresh()
{
    WindowWait wait(this);
    const OnlineAction opening(kOpenContactBudget, &wait);
    try {
        loadContactText();
    } catch (const WaitCancelled&) {
        // The dialog has gone; nothing to say.
    }
}

void ContactDialog::loadContactText()
{
    m_messageEdit->clear();
    const QString previous = m_contactText->toPlainText();
    bool online = false;
    bool loaded = false;
    const auto settle = qScopeGuard([&] {
        if (!loaded)
            m_contactText->setPlainText(previous);
        m_sendButton->setEnabled(online);
        m_sendButton->setToolTip(online ? QString()
                                        : QStringLiteral("No connection to the server: close this dialog and open it "
                                                         "again to try once more."));
    });
    m_sendButton->setEnabled(false);
    m_contactText->setPlainText(QString::fromLatin1(kRetrievingInfoText));
    paintNow(this); // on screen before the first wait begins
    online = internetAvailable();
    const QString text = online ? serverText(fetchWebText(contactUsUrl, "", "")) : couldNotContactText();
    m_contactText->setPlainText(text);
    loaded = true;
}

void ContactDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    m_messageEdit->setFocus(Qt::OtherFocusReason);
    activateWhenShown(this, m_activationQueued, [this] { refresh(); });
}

void ContactDialog::send()
{
    if (!m_sendButton->isEnabled())
        return;
    WindowWait wait(this);
    const OnlineAction sending(kSendBudget, &wait);
    // The dialog closes after "Send" whatever happened, also when an error is on its way to the general report;
    // a cancel has closed it already.
    const auto closeWhenDone = qScopeGuard([this, &wait] {
        if (!wait.cancelled())
            done(QDialog::Accepted);
    });
    const QString message = m_messageEdit->toPlainText();
    bool sent = false;
    if (message.isEmpty()) {
        dialogs().message(this, QString::fromLatin1(kEmptyMessageText));
    } else {
        // Not twice: the window answers clicks while the message is on its way.
        m_sendButton->setEnabled(false);
        if (internetAvailable()) {
            // The box holds "\n" between lines; the maker's script has always received CR LF.
            QString content = message;
            content.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
            sendWebMessage("Comment", content.toStdString(), m_emailEdit->text().toStdString(), true);
            sent = true;
        } else {
            dialogs().error(this, QString::fromLatin1(kConnectionFailedText));
        }
    }
    // The dialog is active again for a moment once the box has gone. After a message that went, a failure here is
    // only the contact text's.
    try {
        loadContactText();
    } catch (const WaitCancelled&) {
        throw;
    } catch (const std::exception& error) {
        if (!sent)
            throw;
        dialogs().error(this, QStringLiteral("Your message was sent. Only the contact text could not be fetched "
                                             "again: ") +
                                  QString::fromUtf8(shownText(error.what(), true)));
    }
}

void ContactDialog::emailBoxEntered()
{
    if (m_emailEdit->text() == QLatin1String(kEmailPlaceholder))
        m_emailEdit->clear();
}

void ContactDialog::emailBoxLeft()
{
    if (m_emailEdit->text().isEmpty())
        m_emailEdit->setText(QString::fromLatin1(kEmailPlaceholder));
}

bool ContactDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_emailEdit) {
        if (event->type() == QEvent::FocusIn && movedByUser(static_cast<QFocusEvent*>(event)))
            emailBoxEntered();
        else if (event->type() == QEvent::FocusOut && movedByUser(static_cast<QFocusEvent*>(event)))
            emailBoxLeft();
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace twinspotter
