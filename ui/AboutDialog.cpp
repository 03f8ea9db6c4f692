// The About box.
#include "ui/AboutDialog.h"

#include "online/Online.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/OnlineWait.h"

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

QString serverText(const std::string& bytes)
{
    return QString::fromUtf8(shownText(bytes, true));
}

namespace {

// Known without the server: the program's name and its version.
QString productText()
{
    const QString name = productName.empty() ? QApplication::applicationName() : QString::fromStdString(productName);
    return name + QLatin1Char(' ') + QString::fromStdString(productVersion);
}

} // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QStringLiteral("About"));
    setModal(true);
    setFixedSize(kClientWidth, kClientHeight);

    m_frame = new QGroupBox(this);
    m_frame->setObjectName(QStringLiteral("GroupBox7"));
    m_frame->setGeometry(0, 0, kClientWidth, kClientHeight);

    m_aboutText = new QTextEdit(m_frame);
    m_aboutText->setObjectName(QStringLiteral("RichEdit1"));
    m_aboutText->setReadOnly(true);
    m_aboutText->setAcceptRichText(false);
    m_aboutText->setGeometry(23, 18, 545, 201);

    m_productLabel = new QLabel(productText(), m_frame);
    m_productLabel->setObjectName(QStringLiteral("lblProduct"));
    m_productLabel->setGeometry(23, 222, 545, 18);

    m_siteLink = new QLabel(QString::fromStdString(siteRootAddress()) + QLatin1Char('/'), m_frame);
    m_siteLink->setObjectName(QStringLiteral("Label35"));
    m_siteLink->setTextFormat(Qt::PlainText); // the address comes from the environment
    m_siteLink->setCursor(Qt::PointingHandCursor);
    m_siteLink->setToolTip(QStringLiteral("Click here to see the site of Quillnet"));
    m_siteLink->setGeometry(23, 248, 260, 20);
    m_siteLink->installEventFilter(this);

    m_updateButton = new QPushButton(QStringLiteral("Update to new Version"), m_frame);
    m_updateButton->setObjectName(QStringLiteral("BitBtn38"));
    m_updateButton->setGeometry(300, 240, 161, 33);
    m_updateButton->setAutoDefault(false);
    m_updateButton->hide();

    m_exitButton =
        new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), QStringLiteral("Exit"), m_frame);
    m_exitButton->setObjectName(QStringLiteral("BitBtn2"));
    m_exitButton->setGeometry(478, 240, 90, 33);
    m_exitButton->setAutoDefault(false); // Esc cancels through the dialog itself

    connect(m_updateButton, &QPushButton::clicked, this, reportingErrors(this, &AboutDialog::downloadUpdate));
    connect(m_exitButton, &QPushButton::clicked, this, &QDialog::reject);
}

void AboutDialog::refresh()
{
    m_productLabel->setText(productText());
    m_aboutText->setPlainText(QString::fromLatin1(kRetrievingInfoText));
    m_updateButton->hide();
    // On screen before the first wait begins.
    paintNow(this);

    WindowWait wait(this);
    const OnlineAction opening(kOpenAboutBudget, &wait);
    QString text;
    try {
        if (internetAvailable()) {
            text = serverText(fetchWebText(infoUrl, "", ""));
            fetchLatestVersion();
            if (productVersion != latestVersion) {
                // An "&" from the server is shown, not taken as the button's keyboard shortcut.
                const QString version = serverText(latestVersion).replace(QLatin1Char('&'), QStringLiteral("&&"));
                m_updateButton->setText(QStringLiteral("Update to version ") + version);
                m_updateButton->show();
            }
        } else {
            text = couldNotContactText();
        }
    } catch (const WaitCancelled&) {
        text = QString::fromLatin1(kCancelledText);
    }
    m_aboutText->setPlainText(text);
}

void AboutDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        activateWhenShown(this, m_activationQueued, [this] { refresh(); });
}

void AboutDialog::downloadUpdate()
{
    // The button shows how far the download is, and comes back if the program stays; Exit ends the wait.
    WindowWait wait(this);
    wait.onProgress = [this](std::uint64_t received, std::uint64_t total) {
        m_updateButton->setText(progressFigure(received, total));
    };
    const OnlineAction downloading(kReportBudget, &wait);
    if (internetAvailable()) {
        const QString caption = m_updateButton->text();
        const auto restore = qScopeGuard([this, caption] {
            m_updateButton->setText(caption);
            m_updateButton->setEnabled(true);
        });
        m_updateButton->setText(QStringLiteral("Downloading ..."));
        m_updateButton->setEnabled(false);
        paintNow(m_updateButton);
        downloadUpdater(updaterUrl);
        sendWebMessage("Update", "Auto Update", "just updating to new version", false);
    } else {
        dialogs().error(this, QString::fromLatin1(kConnectionFailedText));
        refresh(); // the dialog becomes active again once its error box has gone
    }
}

void AboutDialog::highlightLink(bool highlighted)
{
    QPalette palette = m_siteLink->palette();
    palette.setColor(QPalette::WindowText,
                     highlighted ? QColor(0, 0, 255) : QApplication::palette(m_siteLink).color(QPalette::WindowText));
    m_siteLink->setPalette(palette);
    QFont font = m_siteLink->font();
    font.setUnderline(highlighted);
    if (!highlighted) {
        font.setBold(false);
        font.setItalic(false);
        font.setStrikeOut(false);
    }
    m_siteLink->setFont(font);
}

bool AboutDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_siteLink) {
        switch (event->type()) {
        case QEvent::Enter:
            highlightLink(true);
            break;
        case QEvent::Leave:
            highlightLink(false);
            break;
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
                m_siteLink->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint())) {
                currentOnlineHost().open(siteRootAddress());
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
