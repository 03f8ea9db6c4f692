// The update question at start-up as the window asks it, and the window on screen while the check waits.
// Qt's headers first: moc reads this file and stumbles on the standard library's concepts without them.
#include "tests/dialogs/DialogTestSupport.h"

#include "tests/ui/MainWindowControls.h"
#include "ui/MainWindow.h"
#include "ui/UpdatePrompt.h"

#include <QLabel>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <memory>

namespace twinspotter::test {

class UpdatePromptTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TempTree> m_tree;
    std::unique_ptr<WorkingDirectory> m_workingDirectory;
    std::unique_ptr<LoopbackServer> m_server;
    std::unique_ptr<ScopedEnvironment> m_serverVariable;
    ClockHost m_host;
    RecordingDialogs m_dialogs;
    bool m_probeWorks = false;
    // The program writes with the locale of the test run (LC_TIME=C: 24 hours); the tests read with both forms.
    const DateTimeSettings m_settings = DateTimeSettings::fromLocale();

    QTemporaryDir m_home; // the main window's settings key goes here, not into the user's

    std::string file() const { return m_tree->path("work/postponed.txt"); }
    std::vector<RecordedRequest> requests() const { return m_server->requests(); }
    void start() { runUpdatePrompt(nullptr, m_settings); }

private slots:
    void initTestCase()
    {
        m_probeWorks = internetAvailable();
        QVERIFY(m_home.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.path()));
    }

    void init()
    {
        m_tree = std::make_unique<TempTree>();
        m_tree->dir("work");
        m_tree->dir("program");
        m_workingDirectory = std::make_unique<WorkingDirectory>(m_tree->path("work"));
        m_server = std::make_unique<LoopbackServer>();
        m_serverVariable = std::make_unique<ScopedEnvironment>("TWINSPOTTER_SERVER", m_server->address());
        fillOnlineSettings();
        m_host = ClockHost{};
        m_host.directory = m_tree->path("program") + "/";
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
        m_workingDirectory.reset();
        m_tree.reset();
    }

    // The check itself is tested without a window; here the window's part: the question in a box.
    void aNewerVersionIsAskedAboutInABoxAndNoPostpones()
    {
        if (!m_probeWorks)
            QSKIP("the probe cannot reach 127.0.0.1 here (no ICMP socket or no route)");
        m_server->serve(kVersionPath, "1.0.8");
        start();
        QCOMPARE(m_dialogs.questions,
                 QStringList{QStringLiteral("There are a new version available\n\r           Update it ?")});
        QCOMPARE(readFile(file()), std::optional<std::string>("03-14-2011 14:30:00\r\n"));
    }

    // A server that takes the request and never answers: the window is on screen and says what it waits for.
    void theWindowIsOnScreenAndSaysItIsCheckingBeforeTheRequestStarts()
    {
        if (!m_probeWorks)
            QSKIP("the probe cannot reach 127.0.0.1 here (no ICMP socket or no route)");
        m_host.timeout = std::chrono::milliseconds(500);
        m_server->stall(kVersionPath, std::chrono::seconds(10));
        MainWindow form;
        const MainWindowControls ui(form);
        struct Paints : QObject
        {
            QLabel* label = nullptr;
            QStringList texts;
            bool eventFilter(QObject*, QEvent* event) override
            {
                if (event->type() == QEvent::Paint)
                    texts << label->text();
                return false;
            }
        } paints;
        paints.label = ui.phaseLabel;
        ui.phaseLabel->installEventFilter(&paints);
        form.show();
        // The text goes as soon as the request ends, so a paint of it came before the request.
        QVERIFY(paints.texts.contains(QStringLiteral("Checking for a newer version ...")));
        QVERIFY(ui.phaseLabel->text().isEmpty());
        QCOMPARE(m_dialogs.errors.size(), 1); // the time-out, through the general error report
    }

    // While the check waits for a server that says nothing, the window takes a click at once, and Cancel ends the
    // wait at once: no error box, nothing asked, nothing written.
    void theWindowAnswersWhileTheCheckWaitsAndCancelEndsIt()
    {
        if (!m_probeWorks)
            QSKIP("the probe cannot reach 127.0.0.1 here (no ICMP socket or no route)");
        m_server->stall(kVersionPath, std::chrono::seconds(5));
        MainWindow form;
        const MainWindowControls ui(form);
        const bool dateTicked = ui.sameDateBox->isChecked();
        ScheduledClick tick(ui.sameDateBox, std::chrono::milliseconds(300));
        ScheduledClick cancel(ui.cancelButton, std::chrono::milliseconds(600));
        form.show();
        const auto ended = std::chrono::steady_clock::now();

        QVERIFY(tick.taken());
        QVERIFY2(tick.latency() < std::chrono::milliseconds(200), qPrintable(QString::number(tick.latency().count())));
        QCOMPARE(ui.sameDateBox->isChecked(), !dateTicked);
        QVERIFY(cancel.taken());
        QVERIFY2(millisecondsBetween(cancel.takenAt(), ended) < 500,
                 qPrintable(QString::number(millisecondsBetween(cancel.takenAt(), ended))));
        qInfo("main window: click taken %lld ms after it was due, wait over %lld ms after Cancel",
              static_cast<long long>(tick.latency().count()), millisecondsBetween(cancel.takenAt(), ended));
        QCOMPARE(ui.phaseLabel->text(), QStringLiteral("Update check cancelled"));
        QVERIFY(!ui.cancelButton->isEnabled());
        QVERIFY(m_dialogs.errors.isEmpty());
        QVERIFY(m_dialogs.questions.isEmpty());
        QVERIFY(!readFile(file()));
    }
};

} // namespace twinspotter::test

TWINSPOTTER_DIALOG_TEST_MAIN(twinspotter::test::UpdatePromptTest)
#include "UpdatePromptTest.moc"
