// Tests of the update prompt at start-up: the postponement file's life, the question and its answers.
#include "tests/dialogs/DialogTestSupport.h"
#include "ui/Postponement.h"
#include "ui/TMainForm.h"

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
    const DateTimeSettings m_settings = DateTimeSettings::FromLocale();

    QTemporaryDir m_home; // the main window's settings key goes here, not into the user's

    std::string file() const { return m_tree->path("work/postponed.txt"); }
    std::vector<RecordedRequest> requests() const { return m_server->requests(); }
    void start() { postponed(nullptr, m_settings); }

private slots:
    void initTestCase()
    {
        m_probeWorks = InternetAvailable();
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
        FillOnlineSettings();
        m_host = ClockHost{};
        m_host.directory = m_tree->path("program") + "/";
        SetOnlineHost(&m_host);
        m_dialogs = RecordingDialogs{};
        setDialogs(&m_dialogs);
    }

    void cleanup()
    {
        setDialogs(nullptr);
        SetOnlineHost(nullptr);
        m_serverVariable.reset();
        m_server.reset();
        m_workingDirectory.reset();
        m_tree.reset();
    }

    void theSameVersionAsksNothingAndWritesNothing()
    {
        if (!m_probeWorks)
            QSKIP("the probe cannot reach 127.0.0.1 here (no ICMP socket or no route)");
        start();
        QVERIFY(m_dialogs.questions.isEmpty());
        QVERIFY(!readFile(file()));
        QCOMPARE(LatestVersion, std::string("1.0.7"));
        const auto asked = requests();
        QCOMPARE(asked.size(), std::size_t(1));
        QCOMPARE(asked[0].path, std::string(kVersionPath));
        QVERIFY(hasEightDigitTimestamp(asked[0]));
        QCOMPARE(asked[0].authorization, std::optional<std::string>(kAnonymous));
    }

    void anyOtherVersionTextAsks_data()
    {
        QTest::addColumn<QByteArray>("announced");
        QTest::newRow("newer") << QByteArray("1.0.8");
        QTest::newRow("older") << QByteArray("1.0.6");
        QTest::newRow("same number and a line end") << QByteArray("1.0.7\n");
        QTest::newRow("same number and CR LF") << QByteArray("1.0.7\r\n");
        QTest::newRow("empty body") << QByteArray("");
    }

    void anyOtherVersionTextAsks()
    {
        QFETCH(QByteArray, announced);
        if (!m_probeWorks)
            QSKIP("the probe cannot reach 127.0.0.1 here (no ICMP socket or no route)");
        m_server->serve(kVersionPath, announced.toStdString());
        // A postponement beside the program is not the one in the working directory: it does not count.
        writeFile(m_tree->path("program/postponed.txt"), "12-31-2099\r\n");

        start();
        QCOMPARE(m_dialogs.questions,
                 QStringList{QStringLiteral("There are a new version available\n\r           Update it ?")});
        QCOMPARE(LatestVersion, announced.toStdString());
        QCOMPARE(readFile(file()), std::optional<std::string>("03-14-2011 14:30:00\r\n"));
        QCOMPARE(readFile(m_tree->path("program/postponed.txt")), std::optional<std::string>("12-31-2099\r\n"));
    }

    // 03-07-2011 to 03-14-2011 crosses the start of daylight saving time (TZ is fixed for this test): the question
    // comes back at the same local time, one real hour less than seven times 24 hours later.
    void answeringNoPostponesBySevenDaysAtTheSameLocalTime()
    {
        if (!m_probeWorks)
            QSKIP("the probe cannot reach 127.0.0.1 here (no ICMP socket or no route)");
        m_server->serve(kVersionPath, "1.0.8");
        start();
        QCOMPARE(readFile(file()), std::optional<std::string>("03-14-2011 14:30:00\r\n"));

        m_server->clearRequests();
        m_host.moment = ClockHost::at(2011, 3, 14, 14, 29, 59);
        start();
        QVERIFY(requests().empty());
        QCOMPARE(m_dialogs.questions.size(), 1);
        QCOMPARE(readFile(file()), std::optional<std::string>("03-14-2011 14:30:00\r\n"));

        m_host.moment = ClockHost::at(2011, 3, 14, 14, 30, 0);
        start();
        QCOMPARE(requests().size(), std::size_t(1));
        QCOMPARE(m_dialogs.questions.size(), 2);
        QCOMPARE(readFile(file()), std::optional<std::string>("03-21-2011 14:30:00\r\n"));
    }

    void aDateAloneIsDueFromMidnight()
    {
        if (!m_probeWorks)
            QSKIP("the probe cannot reach 127.0.0.1 here (no ICMP socket or no route)");
        m_server->serve(kVersionPath, "1.0.8");
        writeFile(file(), "03-14-2011\r\n");
        m_host.moment = ClockHost::at(2011, 3, 13, 23, 59, 59);
        start();
        QVERIFY(requests().empty());
        QVERIFY(m_dialogs.questions.isEmpty());

        m_host.moment = ClockHost::at(2011, 3, 14, 0, 0, 0);
        m_dialogs.answers = {false};
        start();
        QCOMPARE(m_dialogs.questions.size(), 1);
        // Midnight exactly is written as the date alone, as it was read.
        QCOMPARE(readFile(file()), std::optional<std::string>("03-21-2011\r\n"));
    }

    void aFailedProbeMakesNoOtherTrafficAndLeavesTheFileAlone()
    {
        ScopedEnvironment unreachable("TWINSPOTTER_PROBE_HOSTS", "nothing.invalid");
        m_server->serve(kVersionPath, "1.0.8");
        start();
        writeFile(file(), "03-01-2011 08:00:00\r\n");
        start();
        QVERIFY(requests().empty());
        QVERIFY(m_dialogs.questions.isEmpty());
        QCOMPARE(readFile(file()), std::optional<std::string>("03-01-2011 08:00:00\r\n"));
    }

    void answeringYesDownloadsReportsAndLeavesTheFileAlone()
    {
        if (!m_probeWorks)
            QSKIP("the probe cannot reach 127.0.0.1 here (no ICMP socket or no route)");
        m_server->serve(kVersionPath, "1.0.8");
        writeFile(file(), "03-01-2011 08:00:00\r\n");
        m_dialogs.answers = {true};
        start();

        QCOMPARE(m_dialogs.questions.size(), 1);
        QCOMPARE(readFile(file()), std::optional<std::string>("03-01-2011 08:00:00\r\n"));
        const auto asked = requests();
        QCOMPARE(asked.size(), std::size_t(3));
        QCOMPARE(asked[1].path, std::string(kUpdaterPath));
        QCOMPARE(asked[1].authorization, std::optional<std::string>());
        QCOMPARE(asked[2].path, std::string(kContactScriptPath));
        QCOMPARE(asked[2].query, std::string("application=Twinspotter&version=1.0.7&type=Update&content=Auto+Update"
                                             "&email=just+updating+to+new+version&appcode="));
        QCOMPARE(asked[2].authorization, std::optional<std::string>(kServiceCredentials));
        QCOMPARE(m_host.started, std::vector<std::string>{m_tree->path("program/TwinspotterUpdate.exe")});
        QCOMPARE(m_host.quitRequests, 1);
        QVERIFY(m_host.messages.empty());
    }

    void aFailedVersionFetchIsReportedAndTouchesNothing()
    {
        if (!m_probeWorks)
            QSKIP("the probe cannot reach 127.0.0.1 here (no ICMP socket or no route)");
        LatestVersion = "1.0.5";
        m_server->answerStatus(kVersionPath, 404);
        QVERIFY_THROWS_EXCEPTION(HttpStatusError, start());
        QVERIFY(m_dialogs.questions.isEmpty());
        QVERIFY(!readFile(file()));
        QCOMPARE(LatestVersion, std::string("1.0.5"));
    }

    void aFileThatCannotBeConvertedIsReportedAtEveryStart_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("line end only") << QByteArray("\r\n");
        QTest::newRow("words") << QByteArray("next week\r\n");
        QTest::newRow("day-month-year past 12") << QByteArray("14-03-2011 14:30:00\r\n");
        QTest::newRow("slashes") << QByteArray("03/14/2011\r\n");
    }

    void aFileThatCannotBeConvertedIsReportedAtEveryStart()
    {
        QFETCH(QByteArray, content);
        writeFile(file(), content.toStdString());
        for (int start = 0; start < 2; ++start) {
            try {
                postponed(nullptr, m_settings);
                QFAIL("the conversion error was not raised");
            } catch (const DateTimeConversionError& error) {
                QVERIFY2(std::string(error.what()).find(file()) != std::string::npos, error.what());
            }
        }
        QVERIFY(requests().empty());
        QCOMPARE(readFile(file()), std::optional<std::string>(content.toStdString()));
    }

    void aFileThatCannotBeReadIsReportedWithItsName()
    {
        m_tree->dir("work/postponed.txt");
        try {
            start();
            QFAIL("the read error was not raised");
        } catch (const std::runtime_error& error) {
            QVERIFY2(std::string(error.what()).find(file()) != std::string::npos, error.what());
        }
        QVERIFY(requests().empty());
    }

    void readingAcceptsTwelveAndTwentyFourHourForms()
    {
        using namespace std::chrono;
        const auto twelve = DateTimeSettings::FromTimeFormat("%r", "%I:%M:%S %p", "AM", "PM");
        const auto twentyFour = DateTimeSettings::FromTimeFormat("%T", "", "", "");
        const auto designatorFirst = DateTimeSettings::FromTimeFormat("%p %I시 %M분 %S초", "", "오전", "오후");
        QCOMPARE(twelve.longTimeFormat(), std::string("%I:%M:%S %p"));
        QCOMPARE(twentyFour.longTimeFormat(), std::string("%H:%M:%S"));
        QCOMPARE(DateTimeSettings::FromTimeFormat("%l:%M %p", "", "", "").longTimeFormat(), std::string("%-H:%M"));

        const LocalDateTime afternoon{2011y / March / 14d, 14h + 30min};
        const LocalDateTime afterMidnight{2011y / March / 14d, 30min + 5s};
        QCOMPARE(twelve.Format(afternoon), std::string("03-14-2011 02:30:00 PM"));
        QCOMPARE(twelve.Format(afterMidnight), std::string("03-14-2011 12:30:05 AM"));
        QCOMPARE(designatorFirst.Format(afternoon), std::string("03-14-2011 오후 02:30:00"));
        for (const auto* writer : {&twelve, &twentyFour})
            for (const auto* reader : {&twelve, &twentyFour})
                for (const auto& value : {afternoon, afterMidnight})
                    QVERIFY(reader->Parse(writer->Format(value)) == value);
        // The same locale switched to 24 hours keeps its designators and still reads the 12-hour form.
        const auto koreanTwentyFour = DateTimeSettings::FromTimeFormat("%H:%M:%S", "", "오전", "오후");
        for (const auto& value : {afternoon, afterMidnight}) {
            QVERIFY(koreanTwentyFour.Parse(designatorFirst.Format(value)) == value);
            QVERIFY(designatorFirst.Parse(koreanTwentyFour.Format(value)) == value);
        }
        QVERIFY(twentyFour.Parse("3-14-2011 2:30 pm") == afternoon);

        for (const char* bad : {"03-14-2011 25:00:00", "03-14-2011 13:00:00 PM", "02-30-2011", "03-14-2011 2:30 XM",
                                "03-14-201114:30:00", "03-14-2011 14:30:00 extra"})
            QVERIFY_THROWS_EXCEPTION(DateTimeConversionError, twentyFour.Parse(bad));
    }

    void aFileWrittenUnderTwelveHoursStillReadsUnderTwentyFour()
    {
        if (!m_probeWorks)
            QSKIP("the probe cannot reach 127.0.0.1 here (no ICMP socket or no route)");
        m_server->serve(kVersionPath, "1.0.8");
        postponed(nullptr, DateTimeSettings::FromTimeFormat("%r", "%I:%M:%S %p", "AM", "PM"));
        QCOMPARE(readFile(file()), std::optional<std::string>("03-14-2011 02:30:00 PM\r\n"));

        const auto twentyFour = DateTimeSettings::FromTimeFormat("%T", "", "", "");
        m_host.moment = ClockHost::at(2011, 3, 14, 14, 29, 59);
        postponed(nullptr, twentyFour);
        QCOMPARE(m_dialogs.questions.size(), 1);
        m_host.moment = ClockHost::at(2011, 3, 14, 14, 30, 0);
        postponed(nullptr, twentyFour);
        QCOMPARE(m_dialogs.questions.size(), 2);
        QCOMPARE(readFile(file()), std::optional<std::string>("03-21-2011 14:30:00\r\n"));
    }

    void aPostponementFileThatIsNoRegularFileOrHasAHugeLineFailsAtOnce()
    {
        const auto refusal = [this] {
            try {
                start();
            } catch (const std::runtime_error& error) {
                return std::string(error.what());
            }
            return std::string("accepted");
        };
        const std::string notRegular =
            "The postponement file " + file() + " is not a regular file. Remove it to let the update check run again.";
        QCOMPARE(::mkfifo(file().c_str(), 0600), 0);
        QCOMPARE(refusal(), notRegular);
        std::filesystem::remove(file());
        std::filesystem::create_symlink("/dev/zero", file());
        QCOMPARE(refusal(), notRegular);
        std::filesystem::remove(file());
        writeFile(file(), "\x1b[2J\xff" + std::string(5 << 20, '7') + "\r\n");
        QCOMPARE(refusal(), "The postponement file " + file() + " cannot be converted: '\\x1B[2J\\xFF" +
                                std::string(35, '7') + "...' begins a line too long for a date and time");
        QVERIFY(requests().empty());
    }

    void writingThePostponementReplacesALinkInsteadOfFollowingIt()
    {
        if (!m_probeWorks)
            QSKIP("the probe cannot reach 127.0.0.1 here (no ICMP socket or no route)");
        // The link appears while the question is on screen, after the file was looked at.
        struct LinkingDialogs : RecordingDialogs
        {
            std::string link, target;
            bool confirm(QWidget*, const QString&) override
            {
                std::filesystem::create_symlink(target, link);
                return false;
            }
        } dialogs;
        dialogs.link = file();
        dialogs.target = m_tree->path("victim.txt");
        writeFile(dialogs.target, "precious");
        setDialogs(&dialogs);
        m_server->serve(kVersionPath, "1.0.8");
        start();
        QCOMPARE(readFile(dialogs.target), std::optional<std::string>("precious"));
        QVERIFY(std::filesystem::is_regular_file(std::filesystem::symlink_status(file())));
        QCOMPARE(std::distance(std::filesystem::directory_iterator(m_tree->path("work")), {}), 1); // nothing else
    }

    // A server that takes the request and never answers: the window is on screen and says what it waits for.
    void theWindowIsOnScreenAndSaysItIsCheckingBeforeTheRequestStarts()
    {
        if (!m_probeWorks)
            QSKIP("the probe cannot reach 127.0.0.1 here (no ICMP socket or no route)");
        m_host.timeout = std::chrono::milliseconds(500);
        m_server->stall(kVersionPath, std::chrono::seconds(10));
        TMainForm form;
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
        paints.label = form.ProgressLabel;
        form.ProgressLabel->installEventFilter(&paints);
        form.show();
        // The text goes as soon as the request ends, so a paint of it came before the request.
        QVERIFY(paints.texts.contains(QStringLiteral("Checking for a newer version ...")));
        QVERIFY(form.ProgressLabel->text().isEmpty());
        QCOMPARE(m_dialogs.errors.size(), 1); // the time-out, through the general error report
    }
};

} // namespace twinspotter::test

TWINSPOTTER_DIALOG_TEST_MAIN(twinspotter::test::UpdatePromptTest)
#include "UpdatePromptTest.moc"
