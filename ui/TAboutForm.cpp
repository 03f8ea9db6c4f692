// The About box.
#include "ui/TAboutForm.h"

#include "online/Online.h"
#include "ui/Dialogs.h"

#include <QApplication>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScopeGuard>
#include <QStyle>
#include <QTextEdit>

namespace twinspotter {

QString couldNotContactText()
{
    return QStringLiteral("<Could not contact ") + QString::fromStdString(serverHostName()) + QStringLiteral(" site>");
}

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QStringLiteral("About"));
    setModal(true);
    setFixedSize(kClientWidth, kClientHeight);

    GroupBox7 = new QGroupBox(this);
    GroupBox7->setObjectName(QStringLiteral("GroupBox7"));
    GroupBox7->setGeometry(0, 0, kClientWidth, kClientHeight);

    RichEdit1 = new QTextEdit(GroupBox7);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setReadOnly(true);
    RichEdit1->setAcceptRichText(false);
    RichEdit1->setGeometry(23, 18, 545, 201);

    Label35 = new QLabel(QString::fromStdString(siteRootAddress()) + QLatin1Char('/'), GroupBox7);
    Label35->setObjectName(QStringLiteral("Label35"));
    Label35->setTextFormat(Qt::PlainText); // the address comes from the environment
    Label35->setCursor(Qt::PointingHandCursor);
    Label35->setToolTip(QStringLiteral("Click here to see the site of Quillnet"));
    Label35->setGeometry(23, 248, 260, 20);
    Label35->installEventFilter(this);

    BitBtn38 = new QPushButton(QStringLiteral("Update to new Version"), GroupBox7);
    BitBtn38->setObjectName(QStringLiteral("BitBtn38"));
    BitBtn38->setGeometry(300, 240, 161, 33);
    BitBtn38->setAutoDefault(false);
    BitBtn38->hide();

    BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), QStringLiteral("Exit"), GroupBox7);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(478, 240, 90, 33);
    BitBtn2->setAutoDefault(false); // Esc cancels through the dialog itself

    connect(BitBtn38, &QPushButton::clicked, this, &TAboutForm::BitBtn38Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TAboutForm::BitBtn2Click);
}

void TAboutForm::FormActivate()
{
    RichEdit1->setPlainText(QString::fromLatin1(kRetrievingInfoText));
    BitBtn38->hide();
    // The probe and the fetches block the thread: the waiting text must be on screen before they start.
    paintNow(this);

    QString text;
    if (internetAvailable()) {
        text = QString::fromUtf8(fetchWebText(infoUrl, "", ""));
        latestVersion = fetchWebText(versionUrl, "", "");
        if (productVersion != latestVersion) {
            // An "&" from the server is shown, not taken as the button's keyboard shortcut.
            const QString version = QString::fromUtf8(latestVersion).replace(QLatin1Char('&'), QStringLiteral("&&"));
            BitBtn38->setText(QStringLiteral("Update to version ") + version);
            BitBtn38->show();
        }
    } else {
        text = couldNotContactText();
    }
    RichEdit1->setPlainText(text);
}

void TAboutForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        activateWhenShown(this, m_activationQueued, [this] { FormActivate(); });
}

void TAboutForm::BitBtn38Click()
{
    if (internetAvailable()) {
        // The download blocks the thread; the button says why nothing moves, and comes back if the program stays.
        const QString caption = BitBtn38->text();
        const auto restore = qScopeGuard([this, caption] {
            BitBtn38->setText(caption);
            BitBtn38->setEnabled(true);
        });
        BitBtn38->setText(QStringLiteral("Downloading ..."));
        BitBtn38->setEnabled(false);
        paintNow(BitBtn38);
        downloadUpdater(updaterUrl);
        sendWebMessage("Update", "Auto Update", "just updating to new version", false);
    } else {
        dialogs().error(this, QString::fromLatin1(kConnectionFailedText));
        FormActivate(); // the dialog becomes active again once its error box has gone
    }
}

void TAboutForm::BitBtn2Click()
{
    reject();
}

void TAboutForm::Label35Click()
{
    currentOnlineHost().open(siteRootAddress());
}

void TAboutForm::Label35MouseEnter()
{
    QPalette palette = Label35->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    Label35->setPalette(palette);
    QFont font = Label35->font();
    font.setUnderline(true);
    Label35->setFont(font);
}

void TAboutForm::Label35MouseLeave()
{
    QPalette palette = Label35->palette();
    palette.setColor(QPalette::WindowText, QApplication::palette(Label35).color(QPalette::WindowText));
    Label35->setPalette(palette);
    QFont font = Label35->font();
    font.setUnderline(false);
    font.setBold(false);
    font.setItalic(false);
    font.setStrikeOut(false);
    Label35->setFont(font);
}

bool TAboutForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Label35) {
        switch (event->type()) {
        case QEvent::Enter:
            Label35MouseEnter();
            break;
        case QEvent::Leave:
            Label35MouseLeave();
            break;
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
                Label35->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint())) {
                Label35Click();
                return true;
            }
            break;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace twinspotter
