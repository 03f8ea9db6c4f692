// Shared pieces of the dialog tests: a clock-fixing online host, scripted dialogs, a scratch working directory.
#pragma once

#include "online/Online.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempTree.h"
#include "tests/ui/FakeDialogs.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace twinspotter::test {

/// A fixed clock, a program directory of the test's own and a settable request time-out; records what would have
/// been opened, started, quit or shown.
class ClockHost : public OnlineHost
{
public:
    std::chrono::system_clock::time_point moment = at(2011, 3, 7, 14, 30, 0);
    std::filesystem::path directory;
    std::vector<std::string> opened;
    std::vector<std::string> started;
    std::chrono::milliseconds timeout = std::chrono::seconds(60);
    int quitRequests = 0;
    std::vector<std::string> messages;

    static std::chrono::system_clock::time_point at(int year, int month, int day, int hour, int minute, int second)
    {
        return std::chrono::system_clock::from_time_t(LocalTime(year, month, day, hour, minute, second));
    }

    std::chrono::system_clock::time_point now() override { return moment; }
    std::filesystem::path programDirectory() override { return directory; }
    void open(const std::string& target) override { opened.push_back(target); }
    int startProgram(const std::filesystem::path& program) override
    {
        started.push_back(program.string());
        return 0;
    }
    std::chrono::milliseconds timeLimit(std::chrono::milliseconds normal) override { return std::min(normal, timeout); }
    void requestQuit() override { ++quitRequests; }
    void showMessage(const std::string& text) override { messages.push_back(text); }
};

/// Clicks \p target once \p after has passed, posted as the window system delivers a click (not sent), and notes
/// when the target took it: a window whose thread is blocked takes it late.
class ScheduledClick : public QObject
{
public:
    ScheduledClick(QWidget* target, std::chrono::milliseconds after)
        : m_target(target), m_due(std::chrono::steady_clock::now() + after)
    {
        target->installEventFilter(this);
        QTimer::singleShot(after, this, [this] {
            const QPointF local = QRectF(m_target->rect()).center();
            const QPointF global = m_target->mapToGlobal(local);
            QCoreApplication::postEvent(m_target, new QMouseEvent(QEvent::MouseButtonPress, local, global,
                                                                  Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
            QCoreApplication::postEvent(m_target, new QMouseEvent(QEvent::MouseButtonRelease, local, global,
                                                                  Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
        });
    }
    bool taken() const { return m_taken.has_value(); }
    std::chrono::steady_clock::time_point takenAt() const { return m_taken.value(); }
    /// From the moment the click was due until the target took it.
    std::chrono::milliseconds latency() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(m_taken.value() - m_due);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_target && event->type() == QEvent::MouseButtonRelease && !m_taken)
            m_taken = std::chrono::steady_clock::now();
        return false;
    }

private:
    QWidget* m_target;
    std::chrono::steady_clock::time_point m_due;
    std::optional<std::chrono::steady_clock::time_point> m_taken;
};

/// Milliseconds from \p from to \p to.
inline long long millisecondsBetween(std::chrono::steady_clock::time_point from,
                                     std::chrono::steady_clock::time_point to)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

/// The window tests' scripted dialogs serve here too.
using RecordingDialogs = FakeDialogs;

/// Makes a directory the working directory for the object's life.
class WorkingDirectory
{
public:
    explicit WorkingDirectory(const std::string& directory) : m_old(std::filesystem::current_path())
    {
        std::filesystem::current_path(directory);
    }
    ~WorkingDirectory() { std::filesystem::current_path(m_old); }
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

private:
    std::filesystem::path m_old;
};

inline std::optional<std::string> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

/// The value of the "ts" query key is always eight digits.
inline bool hasEightDigitTimestamp(const RecordedRequest& request)
{
    if (request.query.rfind("ts=", 0) != 0 || request.query.size() != 11)
        return false;
    return request.query.find_first_not_of("0123456789", 3) == std::string::npos;
}

inline constexpr const char* kAnonymous = "Basic Og==";
inline constexpr const char* kServiceCredentials = "Basic YWRtaW46NzMxOTA1"; // admin:731905

} // namespace twinspotter::test

/// Runs the test class under the program's own application object, so that an error escaping a handler reaches the
/// general error report (and so the recording dialogs) exactly as in the program.
#define TWINSPOTTER_DIALOG_TEST_MAIN(TestClass)                                                                        \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        /* Run by hand, outside ctest's environment, the probe must still never leave the machine. */                  \
        setenv("TWINSPOTTER_PROBE_HOSTS", "127.0.0.1", 0);                                                             \
        setenv("TWINSPOTTER_SERVER", "http://127.0.0.1:9", 0);                                                         \
        twinspotter::TwinspotterApplication app(argc, argv);                                                           \
        TestClass test;                                                                                                \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }
