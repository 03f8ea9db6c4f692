// Tests of the About box and the contact dialog against a loopback server, with every box answered by the test.
#include "tests/dialogs/DialogTestSupport.h"
#include "tests/support/RawAnswerServer.h"
#include "tests/ui/MainWindowControls.h"
#include "ui/AboutDialog.h"
#include "ui/ContactDialog.h"
#include "ui/QtOnlineHost.h"

#include <QApplication>
#include <QDesktopServices>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextEdit>
#include <QTimer>

#include <memory>
#include <mutex>

namespace twinspotter::test {

/// Writes down what a text box showed each time it was painted, and what it showed when the server was asked.
class PaintWatcher : public QObject
{
public:
    PaintWatcher(QTextEdit* box, LoopbackServer& server, const std::string& path) : m_box(box)
    {
        box->viewport()->installEventFilter(this);
        server.onRequest([this, path](const RecordedRequest& request) {
            std::lock_guard lock(m_mutex);
            if (request.path == path && !m_atRequest)
                m_atRequest = m_lastPainted;
        });
    }
    QStringList painted() const
    {
        std::lock_guard lock(m_mutex);
        return m_painted;
    }
    /// The text last painted before the watched request arrived.
    QString paintedAtRequest() const
    {
        std::lock_guard lock(m_mutex);
        return m_atRequest.value_or(QStringLiteral("<no request>"));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            std::lock_guard lock(m_mutex);
            m_lastPainted = m_box->toPlainText();
            if (m_painted.isEmpty() || m_painted.back() != m_lastPainted)
                m_painted << m_lastPainted;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QTextEdit* m_box;
    mutable std::mutex m_mutex;
    QString m_lastPainted;
    QStringList m_painted;
    std::optional<QString> m_atRequest;
};

/// Takes the URLs that the desktop's "Open" would have been handed.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void take(const QUrl& url) { urls << url; }
};

class OnlineDialogsTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TempTree> m_tree;
    std::unique_ptr<LoopbackServer> m_server;
    std::unique_ptr<ScopedEnvironment> m_serverVariable;
    ClockHost m_host;
    RecordingDialogs m_dialogs;
    bool m_probeWorks = false;

    const QString kCouldNotContact = QStringLiteral("<Could not contact 127.0.0.1 site>");
    const QString kConnectionFailed =
        QStringLiteral("Internet connection failed!\r\nPlease check your internet connection!");

    std::size_t count(const char* path) const { return m_server->requestsFor(path).size(); }

    static std::string messageQuery(const std::string& content, const std::string& email)
    {
        return "application=Twinspotter&version=1.0.7&type=Comment&content=" + content + "&email=" + email +
               "&appcode=";
    }

    /// Shows the contact dialog and waits for its activation's fetch.
    void open(ContactDialog& dialog)
    {
        const std::size_t before = count(kContactTextPath);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        if (m_probeWorks)
            QTRY_COMPARE(count(kContactTextPath), before + 1);
    }

private slots:
    void initTestCase() { m_probeWorks = internetAvailable(); }

    void init()
    {
        m_tree = std::make_unique<TempTree>();
        m_server = std::make_unique<LoopbackServer>();
        m_serverVariable = std::make_unique<ScopedEnvironment>("TWINSPOTTER_SERVER", m_server->address());
        fillOnlineSettings();
        m_host = ClockHost{};
        m_host.directory = m_tree->root() + "/";
        setOnlineHost(&m_host);
        m_dialogs = RecordingDialogs{};
        setDialogs(&m_dialogs);
    }

    void cleanup()
    {
        setDialogs(nullptr);
        setOnlineHost(nullptr);
        m_serverVariable.reset();
        m_server.reset();
        m_tree.reset();
    }

    void controlsHaveTheirNamesSizesAndTexts()
    {
        ContactDialog contact;
        QCOMPARE(contact.windowTitle(), QStringLiteral("Contact Quillnet"));
        QCOMPARE(contact.size(), QSize(505, 354));
        QCOMPARE(contact.findChild<QLineEdit*>("Edit1")->text(), QStringLiteral("Put your email here"));
        QCOMPARE(contact.findChild<QLineEdit*>("Edit1")->width(), 201);
        QCOMPARE(contact.findChild<QPlainTextEdit*>("Memo1")->size(), QSize(449, 113));
        QCOMPARE(contact.findChild<QTextEdit*>("RichEdit1")->size(), QSize(449, 81));
        QVERIFY(contact.findChild<QTextEdit*>("RichEdit1")->isReadOnly());
        QCOMPARE(contact.findChild<QLabel*>("Image1")->size(), QSize(258, 34));
        QVERIFY(!contact.findChild<QLabel*>("Image1")->pixmap().isNull());
        QCOMPARE(contact.findChild<QLabel*>("Label3")->palette().color(QPalette::WindowText), QColor(128, 0, 0));
        QCOMPARE(contact.findChild<QPushButton*>("BitBtn1")->text(), QStringLiteral("Send"));
        QVERIFY(contact.findChild<QPushButton*>("BitBtn1")->isDefault());
        QCOMPARE(contact.findChild<QPushButton*>("BitBtn2")->text(), QStringLiteral("Exit"));
        for (const char* name : {"Label1", "Label2"})
            QVERIFY(contact.findChild<QLabel*>(name));

        AboutDialog about;
        QCOMPARE(about.windowTitle(), QStringLiteral("About"));
        QCOMPARE(about.size(), QSize(592, 296));
        QCOMPARE(about.findChild<QGroupBox*>("GroupBox7")->size(), QSize(592, 296));
        QCOMPARE(about.findChild<QTextEdit*>("RichEdit1")->size(), QSize(545, 201));
        QCOMPARE(about.findChild<QPushButton*>("BitBtn38")->size(), QSize(161, 33));
        QCOMPARE(about.findChild<QPushButton*>("BitBtn38")->text(), QStringLiteral("Update to new Version"));
        QCOMPARE(about.findChild<QPushButton*>("BitBtn2")->text(), QStringLiteral("Exit"));
    }

    void aboutBoxOffersTheUpdateWhenTheVersionTextsDiffer_data()
    {
        QTest::addColumn<QByteArray>("announced");
        QTest::addColumn<bool>("offered");
        QTest::newRow("same") << QByteArray("1.0.7") << false;
        QTest::newRow("newer") << QByteArray("1.0.8") << true;
        QTest::newRow("older") << QByteArray("1.0.6") << true;
    }

    void aboutBoxOffersTheUpdateWhenTheVersionTextsDiffer()
    {
        QFETCH(QByteArray, announced);
        QFETCH(bool, offered);
        if (!m_probeWorks)
            QSKIP("the probe cannot reach 127.0.0.1 here (no ICMP socket or no route)");
        m_server->serve(kVersionPath, announced.toStdString());
        AboutDialog about;
        PaintWatcher watcher(child<QTextEdit>(about, "RichEdit1"), *m_server, kInfoPath);
        about.show();
        QTRY_COMPARE(count(kVersionPath), std::size_t(1));

        QCOMPARE(watcher.paintedAtRequest(), QStringLiteral("Retrieving Info ........."));
        QCOMPARE(child<QTextEdit>(about, "RichEdit1")->toPlainText(),
                 QString::fromLatin1(LoopbackServer::kDefaultInfo));
        QCOMPARE(latestVersion, announced.toStdString());
        QCOMPARE(child<QPushButton>(about, "BitBtn38")->isVisible(), offered);
        if (offered)
            QCOMPARE(child<QPushButton>(about, "BitBtn38")->text(),
                     QStringLiteral("Update to version ") + QString::fromLatin1(announced));
        const auto asked = m_server->requests();
        QCOMPARE(asked.size(), std::size_t(2));
        QCOMPARE(asked[0].path, std::string(kInfoPath));
        QCOMPARE(asked[1].path, std::string(kVersionPath));
        for (const auto& request : asked) {
            QVERIFY(hasEightDigitTimestamp(request));
            QCOMPARE(request.authorization, std::optional<std::string>(kAnonymous));
        }
        QVERIFY(m_dialogs.errors.isEmpty());
    }

    void aboutBoxHidesAnEarlierOfferWhenReopened()
    {
        if (!m_probeWorks)
            QSKIP("the probe cannot reach 127.0.0.1 here (no ICMP socket or no route)");
        m_server->serve(kVersionPath, "1.0.8");
        AboutDialog about;
        about.show();
        QTRY_VERIFY(child<QPushButton>(about, "BitBtn38")->isVisible());
        about.reject();
        m_server->serve(kVersionPath, "1.0.7");
        about.show();
        QTRY_COMPARE(count(kVersionPath), std::size_t(2));
        QVERIFY(!child<QPushButton>(about, "BitBtn38")->isVisible());
    }

    void aboutBoxOfflineShowsTheWaitingTextThenCouldNotContact()
    {
        ScopedEnvironment unreachable("TWINSPOTTER_PROBE_HOSTS", "nothing.invalid");
        latestVersion = "1.0.5";
        AboutDialog about;
        PaintWatcher watcher(child<QTextEdit>(about, "RichEdit1"), *m_server, kInfoPath);
        about.show();
        QTRY_COMPARE(child<QTextEdit>(about, "RichEdit1")->toPlainText(), kCouldNotContact);
        QVERIFY(watcher.painted().contains(QStringLiteral("Retrieving Info .........")));
        // What the program is needs no server.
        QCOMPARE(child<QLabel>(about, "lblProduct")->text(), QStringLiteral("Twinspotter 1.0.7"));
        QVERIFY(child<QLabel>(about, "lblProduct")->isVisible());
        QVERIFY(!child<QPushButton>(about, "BitBtn38")->isVisible());
        QCOMPARE(latestVersion, std::string("1.0.5"));
        QVERIFY(m_server->requests().empty());
    }

    void aboutBoxFetchFailureGoesToTheGeneralErrorReport()
    {
        if (!m_probeWorks)
            QSKIP("the probe cannot reach 127.0.0.1 here (no ICMP socket or no route)");
        m_server->answerStatus(kInfoPath, 404);
        AboutDialog about;
        about.show();
        QTRY_COMPARE(m_dialogs.errors.size(), 1);
        QCOMPARE(child<QTextEdit>(about, "RichEdit1")->toPlainText(), QStringLiteral("Retrieving Info ........."));
        QVERIFY(!child<QPushButton>(about, "BitBtn38")->isVisible());
        QCOMPARE(count(kVersionPath), std::size_t(0));

        // A version is one line: one with a line break is malformed, and no update is offered.
        m_server->serve(kInfoPath, LoopbackServer::kDefaultInfo);
        m_server->serve(kVersionPath, "1.0.8\r\nand leave it at the post office");
        about.reject();
        about.show();
        QTRY_COMPARE(m_dialogs.errors.size(), 2);
        QVERIFY(m_dialogs.errors[1].contains(QStringLiteral("malformed")));
        QVERIFY(!child<QPushButton>(about, "BitBtn38")->isVisible());
    }

    // While a request stalls, each dialog takes a click at once, and Exit ends the wait at once, with no error box.
    void dialogsAnswerWhileTheServerStallsAndExitEndsTheWait()
    {
        if (!m_probeWorks)
            QSKIP("the probe cannot reach 127.0.0.1 here (no ICMP socket or no route)");
        m_server->stall(kInfoPath, std::chrono::seconds(5));
        m_server->stall(kContactTextPath, std::chrono::seconds(5));
        const auto waitEndsWithin = [](QDialog& dialog, QWidget* clicked, const QString& waiting) {
            QTextEdit* text = child<QTextEdit>(dialog, "RichEdit1");
            std::optional<std::chrono::steady_clock::time_point> settled;
            connect(text, &QTextEdit::textChanged, text, [&] {
                if (text->toPlainText() != waiting)
                    settled = std::chrono::steady_clock::now();
            });
            ScheduledClick click(clicked, std::chrono::milliseconds(300));
            ScheduledClick exit(child<QPushButton>(dialog, "BitBtn2"), std::chrono::milliseconds(600));
            dialog.show();
            QTRY_VERIFY_WITH_TIMEOUT(settled.has_value() && exit.taken(), 10000);
            QVERIFY2(click.latency() < std::chrono::milliseconds(200),
                     qPrintable(QString::number(click.latency().count())));
            QVERIFY2(millisecondsBetween(exit.takenAt(), *settled) < 500,
                     qPrintable(QString::number(millisecondsBetween(exit.takenAt(), *settled))));
            QVERIFY(!dialog.isVisible());
            qInfo("%s: click taken %lld ms after it was due, wait over %lld ms after Exit",
                  qPrintable(dialog.objectName()), static_cast<long long>(click.latency().count()),
                  millisecondsBetween(exit.takenAt(), *settled));
        };
        AboutDialog about;
        waitEndsWithin(about, child<QLabel>(about, "Label35"), QStringLiteral("Retrieving Info ........."));
        QCOMPARE(child<QTextEdit>(about, "RichEdit1")->toPlainText(), QStringLiteral("Cancelled."));
        QCOMPARE(m_host.opened, std::vector<std::string>{m_server->address()}); // the link's click
        ContactDialog contact;
        waitEndsWithin(contact, child<QLineEdit>(contact, "Edit1"), QStringLiteral("Retrieving Info ........."));
        QVERIFY(m_dialogs.errors.isEmpty());
    }

    // A reply or an error of tens of kilobytes: the box shows a few lines and stays on the screen, and the whole
    // text is in its scrollable details.
    void aLongTextGivesABoxThatFitsTheScreen()
    {
        setDialogs(nullptr); // the real boxes
        QList<QRect> boxes;
        QStringList details;
        QTimer answer;
        bool expanded = false;
        connect(&answer, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            if (!expanded) {
                for (QAbstractButton* button : box->buttons())
                    if (box->buttonRole(button) == QMessageBox::ActionRole)
                        button->click(); // "Show Details..."
                expanded = true;
                return;
            }
            boxes << box->frameGeometry();
            details << box->detailedText();
            expanded = false;
            box->done(0);
        });
        answer.start(20);
        const std::string line(64 * 1024 - 1, 'r');
        std::string lines;
        for (int i = 0; i < 4000; ++i)
            lines += "line " + std::to_string(i) + "\n";
        QtOnlineHost().showMessage(line);
        QtOnlineHost().showMessage(lines);
        RawAnswerServer raw("HTTP/1.1 500 " + std::string(90 * 1024, 'x') + "\r\nContent-Length: 0\r\n\r\n");
        runReportingErrors([&raw] { fetchWebText(raw.address() + "/downloads/twinspotter/twinspotter.txt", "", ""); });

        QCOMPARE(boxes.size(), 3);
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        for (const QRect& box : boxes)
            QVERIFY2(screen.contains(QRect(screen.topLeft(), box.size())),
                     qPrintable(QStringLiteral("%1 x %2").arg(box.width()).arg(box.height())));
        QCOMPARE(details[0], QString::fromStdString(line));
        QCOMPARE(details[1], QString::fromStdString(lines));
    }

    void updateButtonDownloadsAndReports()
    {
        if (!m_probeWorks)
            QSKIP("the probe cannot reach 127.0.0.1 here (no ICMP socket or no route)");
        m_server->serve(kVersionPath, "1.0.8");
        AboutDialog about;
        about.show();
        QTRY_VERIFY(child<QPushButton>(about, "BitBtn38")->isVisible());
        m_server->clearRequests();
        QTest::mouseClick(child<QPushButton>(about, "BitBtn38"), Qt::LeftButton);

        const auto asked = m_server->requests();
        QCOMPARE(asked.size(), std::size_t(2));
        QCOMPARE(asked[0].path, std::string(kUpdaterPath));
        QCOMPARE(asked[1].query, std::string("application=Twinspotter&version=1.0.7&type=Update&content=Auto+Update"
                                             "&email=just+updating+to+new+version&appcode="));
        QCOMPARE(m_host.started, std::vector<std::string>{m_tree->path("TwinspotterUpdate.exe")});
        QCOMPARE(m_host.quitRequests, 1);
        QVERIFY(about.isVisible());
    }

    void updateButtonOfflineShowsTheErrorBoxAndActivatesAgain()
    {
        ScopedEnvironment unreachable("TWINSPOTTER_PROBE_HOSTS", "nothing.invalid");
        AboutDialog about;
        about.show();
        QTRY_COMPARE(child<QTextEdit>(about, "RichEdit1")->toPlainText(), kCouldNotContact);
        child<QTextEdit>(about, "RichEdit1")->setPlainText(QStringLiteral("stale"));
        child<QPushButton>(about, "BitBtn38")->click();
        QCOMPARE(m_dialogs.errors, QStringList{kConnectionFailed});
        QCOMPARE(child<QTextEdit>(about, "RichEdit1")->toPlainText(), kCouldNotContact);
        QVERIFY(about.isVisible());
        QVERIFY(m_server->requestsFor(kUpdaterPath).empty());
    }

    void linkLabelLightsUpAndOpensTheSite()
    {
        AboutDialog about;
        QLabel* link = child<QLabel>(about, "Label35");
        QCOMPARE(link->text(), QString::fromStdString(m_server->address() + "/"));
        QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(link->toolTip(), QStringLiteral("Click here to see the site of Quillnet"));

        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(link, &enter);
        QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        QVERIFY(link->font().underline());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(link, &leave);
        QCOMPARE(link->palette().color(QPalette::WindowText), QApplication::palette(link).color(QPalette::WindowText));
        QVERIFY(!link->font().underline());

        QTest::mouseClick(link, Qt::LeftButton);
        QCOMPARE(m_host.opened, std::vector<std::string>{m_server->address()});
    }

    void qtHostOpensAddressesAndFilesAndShowsMessagesThroughTheDialogs()
    {
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &catcher, "take");
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "take");
        QtOnlineHost host;
        host.open(m_server->address());
        host.open(m_tree->path("TwinspotterUpdate.exe"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(catcher.urls,
                 (QList<QUrl>{QUrl(QString::fromStdString(m_server->address())),
                              QUrl::fromLocalFile(QString::fromStdString(m_tree->path("TwinspotterUpdate.exe")))}));

        host.showMessage("Thank you");
        host.showMessage("Call \xE2\x80\xAE"
                         "ecnalubma na");
        QCOMPARE(m_dialogs.messages,
                 (QStringList{QStringLiteral("Thank you"), QStringLiteral("Call \\u202Eecnalubma na")}));
        QCOMPARE(QString::fromStdString(host.programDirectory().string()),
                 QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    }

    // Markup from the server must not become a link that opens a local file, nor an "&" a keyboard shortcut.
    void textsFromOutsideAreShownAsTheyStand()
    {
        setDialogs(nullptr); // the real boxes
        QList<Qt::TextFormat> formats;
        QTimer answer;
        connect(&answer, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                formats << box->textFormat();
                box->reject();
            }
        });
        answer.start(10);
        const QString link = QStringLiteral("<a href=\"file:///etc/passwd\">Thanks</a><img src=\"/etc/logo.png\">");
        QtOnlineHost().showMessage(link.toStdString());
        dialogs().error(nullptr, QStringLiteral("The server answered HTTP/1.1 500 ") + link);
        QVERIFY(!dialogs().confirm(nullptr, link));
        QCOMPARE(formats, QList<Qt::TextFormat>(3, Qt::PlainText));

        if (!m_probeWorks)
            QSKIP("the probe cannot reach 127.0.0.1 here (no ICMP socket or no route)");
        setDialogs(&m_dialogs);
        m_server->serve(kVersionPath, "1.0&8\xE2\x80\xAE");
        m_server->serve(kInfoPath, "Leave it at \xE2\x81\xA7"
                                   "eciffo tsop");
        AboutDialog about;
        about.show();
        QTRY_VERIFY(child<QPushButton>(about, "BitBtn38")->isVisible());
        QVERIFY(QKeySequence::mnemonic(child<QPushButton>(about, "BitBtn38")->text()).isEmpty());
        // Nothing from the server turns the text round.
        QCOMPARE(child<QPushButton>(about, "BitBtn38")->text(), QStringLiteral("Update to version 1.0&&8\\u202E"));
        QCOMPARE(child<QTextEdit>(about, "RichEdit1")->toPlainText(), QStringLiteral("Leave it at \\u2067eciffo tsop"));
    }

    void sendingSendsTheBoxesAsTheyStand_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("typedEmail");
        QTest::addColumn<QByteArray>("query");
        QTest::newRow("one space") << QStringList{" "} << QString()
                                   << QByteArray(messageQuery("+", "Put+your+email+here").c_str());
        QTest::newRow("two lines") << QStringList{"first line", "second line"} << QString()
                                   << QByteArray(
                                          messageQuery("first+line%0D%0Asecond+line", "Put+your+email+here").c_str());
        QTest::newRow("an address") << QStringList{"Hi"} << QStringLiteral("me@example.org")
                                    << QByteArray(messageQuery("Hi", "me@example.org").c_str());
    }

    void sendingSendsTheBoxesAsTheyStand()
    {
        QFETCH(QStringList, lines);
        QFETCH(QString, typedEmail);
        QFETCH(QByteArray, query);
        if (!m_probeWorks)
            QSKIP("the probe cannot reach 127.0.0.1 here (no ICMP socket or no route)");
        ContactDialog contact;
        open(contact);
        QCOMPARE(child<QTextEdit>(contact, "RichEdit1")->toPlainText(),
                 QString::fromLatin1(LoopbackServer::kDefaultContactText));
        if (!typedEmail.isEmpty()) {
            child<QLineEdit>(contact, "Edit1")->setFocus(Qt::TabFocusReason);
            QTRY_VERIFY(child<QLineEdit>(contact, "Edit1")->hasFocus());
            QTest::keyClicks(child<QLineEdit>(contact, "Edit1"), typedEmail);
        }
        for (int i = 0; i < lines.size(); ++i) {
            if (i > 0)
                QTest::keyClick(child<QPlainTextEdit>(contact, "Memo1"), Qt::Key_Return);
            QTest::keyClicks(child<QPlainTextEdit>(contact, "Memo1"), lines[i]);
        }
        QTest::mouseClick(child<QPushButton>(contact, "BitBtn1"), Qt::LeftButton);

        const auto sent = m_server->requestsFor(kContactScriptPath);
        QCOMPARE(sent.size(), std::size_t(1));
        QCOMPARE(sent[0].query, query.toStdString());
        QCOMPARE(sent[0].authorization, std::optional<std::string>(kServiceCredentials));
        QCOMPARE(m_host.messages, std::vector<std::string>{LoopbackServer::kDefaultReply});
        // The activation runs again once the reply's box has gone, just before the dialog closes.
        QCOMPARE(count(kContactTextPath), std::size_t(2));
        QVERIFY(child<QPlainTextEdit>(contact, "Memo1")->toPlainText().isEmpty());
        QVERIFY(!contact.isVisible());
        QCOMPARE(contact.result(), int(QDialog::Accepted));
    }

    void anEmptyMessageIsNotSentAndTheDialogCloses()
    {
        if (!m_probeWorks)
            QSKIP("the probe cannot reach 127.0.0.1 here (no ICMP socket or no route)");
        ContactDialog contact;
        open(contact);
        QTest::mouseClick(child<QPushButton>(contact, "BitBtn1"), Qt::LeftButton);
        QCOMPARE(m_dialogs.messages, QStringList{QStringLiteral("You should enter a message to send")});
        QVERIFY(m_server->requestsFor(kContactScriptPath).empty());
        QVERIFY(!contact.isVisible());
        QCOMPARE(contact.result(), int(QDialog::Accepted));
        if (m_probeWorks)
            QCOMPARE(count(kContactTextPath), std::size_t(2));
    }

    // Offline, "Send" could only fail and close the dialog with the message typed: it is not offered.
    void sendIsNotOfferedWhenTheServerCannotBeReached()
    {
        ScopedEnvironment unreachable("TWINSPOTTER_PROBE_HOSTS", "nothing.invalid");
        ContactDialog contact;
        contact.show();
        QTRY_COMPARE(child<QTextEdit>(contact, "RichEdit1")->toPlainText(), kCouldNotContact);
        QTest::keyClicks(child<QPlainTextEdit>(contact, "Memo1"), QStringLiteral("Hi"));
        QVERIFY(!child<QPushButton>(contact, "BitBtn1")->isEnabled());
        QTest::mouseClick(child<QPushButton>(contact, "BitBtn1"), Qt::LeftButton);
        QVERIFY(m_dialogs.errors.isEmpty());
        QVERIFY(m_server->requests().empty());
        QVERIFY(contact.isVisible());
        QCOMPARE(child<QPlainTextEdit>(contact, "Memo1")->toPlainText(), QStringLiteral("Hi"));
    }

    void aSentMessageWhoseRefreshFailsSaysItWasSent()
    {
        if (!m_probeWorks)
            QSKIP("the probe cannot reach 127.0.0.1 here (no ICMP socket or no route)");
        ContactDialog contact;
        open(contact);
        QVERIFY(child<QPushButton>(contact, "BitBtn1")->isEnabled());
        m_server->answerStatus(kContactTextPath, 500);
        QTest::keyClicks(child<QPlainTextEdit>(contact, "Memo1"), QStringLiteral("Hi"));
        QTest::mouseClick(child<QPushButton>(contact, "BitBtn1"), Qt::LeftButton);
        QCOMPARE(m_host.messages, std::vector<std::string>{LoopbackServer::kDefaultReply});
        QCOMPARE(m_dialogs.errors.size(), 1);
        QVERIFY2(m_dialogs.errors[0].startsWith(
                     QStringLiteral("Your message was sent. Only the contact text could not be fetched again: ")),
                 qPrintable(m_dialogs.errors[0]));
        QVERIFY(!contact.isVisible());
    }

    void aFailedMessageRequestGoesToTheGeneralErrorReportAndCloses()
    {
        if (!m_probeWorks)
            QSKIP("the probe cannot reach 127.0.0.1 here (no ICMP socket or no route)");
        m_server->answerStatus(kContactScriptPath, 500);
        ContactDialog contact;
        open(contact);
        QTest::keyClicks(child<QPlainTextEdit>(contact, "Memo1"), QStringLiteral("Hi"));
        QTest::mouseClick(child<QPushButton>(contact, "BitBtn1"), Qt::LeftButton);
        QCOMPARE(m_dialogs.errors.size(), 1);
        QVERIFY(m_dialogs.errors[0] != kConnectionFailed);
        QVERIFY(m_host.messages.empty());
        QVERIFY(!contact.isVisible());
    }

    void emailPlaceholderFollowsTheFocusAlongTheTabOrder()
    {
        // "Send" is in the cycle while it is offered, that is while the server can be reached.
        const QString contactText =
            m_probeWorks ? QString::fromLatin1(LoopbackServer::kDefaultContactText) : kCouldNotContact;
        ContactDialog contact;
        contact.show();
        QTRY_COMPARE(child<QTextEdit>(contact, "RichEdit1")->toPlainText(), contactText);
        QVERIFY(QTest::qWaitForWindowActive(&contact));
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(child<QPlainTextEdit>(contact, "Memo1")));

        const auto tab = [] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); };
        if (m_probeWorks) {
            tab();
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(child<QPushButton>(contact, "BitBtn1")));
        }
        tab();
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(child<QPushButton>(contact, "BitBtn2")));
        tab();
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(child<QLineEdit>(contact, "Edit1")));
        QCOMPARE(child<QLineEdit>(contact, "Edit1")->text(), QString());
        tab();
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(child<QPlainTextEdit>(contact, "Memo1")));
        QCOMPARE(child<QLineEdit>(contact, "Edit1")->text(), QStringLiteral("Put your email here"));

        child<QLineEdit>(contact, "Edit1")->setText(QStringLiteral("put your email here"));
        child<QLineEdit>(contact, "Edit1")->setFocus(Qt::TabFocusReason);
        child<QPlainTextEdit>(contact, "Memo1")->setFocus(Qt::TabFocusReason);
        QCOMPARE(child<QLineEdit>(contact, "Edit1")->text(), QStringLiteral("put your email here"));

        // The box keeps its text between openings.
        contact.reject();
        contact.show();
        QTRY_COMPARE(child<QTextEdit>(contact, "RichEdit1")->toPlainText(), contactText);
        QCOMPARE(child<QLineEdit>(contact, "Edit1")->text(), QStringLiteral("put your email here"));
    }
};

} // namespace twinspotter::test

TWINSPOTTER_DIALOG_TEST_MAIN(twinspotter::test::OnlineDialogsTest)
#include "OnlineDialogsTest.moc"
