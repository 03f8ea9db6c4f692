// The update check at start-up: the postponement file's life, its date and time forms, and what is asked and sent.
#include "online/Postponement.h"
#include "tests/online/OnlineTestSupport.h"

#include <sys/stat.h>

#include <deque>

namespace twinspotter::test {
namespace {

using namespace std::chrono;

std::chrono::system_clock::time_point At(int year, int month, int day, int hour, int minute, int second)
{
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return system_clock::from_time_t(std::mktime(&local));
}

class ClockHost : public RecordingHost
{
public:
    system_clock::time_point moment = At(2011, 3, 7, 14, 30, 0);
    system_clock::time_point now() override { return moment; }
};

class ScriptedQuestion : public UpdateQuestion
{
public:
    std::deque<bool> answers; ///< No when none is left
    int asked = 0;
    std::vector<std::string> waits;
    std::function<void()> whileAsked;

    bool askToUpdate() override
    {
        ++asked;
        if (whileAsked)
            whileAsked();
        const bool answer = !answers.empty() && answers.front();
        if (!answers.empty())
            answers.pop_front();
        return answer;
    }
    void showWaiting(std::string_view text) override { waits.emplace_back(text); }
};

// The program's working directory is the test's own, as the postponement file lives there.
class UpdateCheckTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_work = std::filesystem::temp_directory_path() / ("twinspotter-update-" + std::to_string(processId()));
        std::filesystem::remove_all(m_work);
        std::filesystem::create_directories(m_work / "program");
        m_previous = std::filesystem::current_path();
        std::filesystem::current_path(m_work);
        host.directory = m_work / "program" / "";
        setOnlineHost(&host);
        fillOnlineSettings();
        m_probeWorks = internetAvailable();
    }
    void TearDown() override
    {
        setOnlineHost(nullptr);
        std::filesystem::current_path(m_previous);
        std::filesystem::remove_all(m_work);
    }

    std::filesystem::path file() const { return m_work / "postponed.txt"; }
    bool fileExists() const { return std::filesystem::exists(std::filesystem::symlink_status(file())); }
    void check() { runUpdateCheck(question, settings); }
    std::string refusal()
    {
        return thrownText([this] { check(); });
    }

    LoopbackServer server;
    ScopedEnvironment serverVariable{"TWINSPOTTER_SERVER", server.address()};
    ScopedEnvironment probeHosts{"TWINSPOTTER_PROBE_HOSTS", "127.0.0.1"};
    ClockHost host;
    ScriptedQuestion question;
    // 24 hours for the test run: LC_TIME=C on Linux, the user's format set in the Wine prefix on Windows.
    const DateTimeSettings settings = DateTimeSettings::fromLocale();
    bool m_probeWorks = false;

private:
    std::filesystem::path m_work;
    std::filesystem::path m_previous;
};

#define SKIP_WITHOUT_PROBE()                                                                                           \
    if (!m_probeWorks) {                                                                                               \
        GTEST_SKIP() << "the probe cannot reach 127.0.0.1 here (no ICMP socket or no route)";                          \
    }

TEST_F(UpdateCheckTest, TheSameVersionAsksNothingAndWritesNothing)
{
    SKIP_WITHOUT_PROBE();
    check();
    EXPECT_EQ(question.asked, 0);
    EXPECT_FALSE(fileExists());
    EXPECT_EQ(latestVersion, "1.0.7");
    const auto asked = server.requests();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].path, kVersionPath);
    EXPECT_EQ(asked[0].authorization, std::optional<std::string>("Basic Og=="));
    EXPECT_EQ(question.waits, (std::vector<std::string>{"Checking for a newer version ...", ""}));
}

TEST_F(UpdateCheckTest, AnyOtherVersionTextAsksAndNoPostponesBySevenDays)
{
    SKIP_WITHOUT_PROBE();
    // A postponement beside the program is not the one in the working directory: it does not count.
    writeFile(host.directory / "postponed.txt", "12-31-2099\r\n");
    for (const char* announced : {"1.0.8", "1.0.6", "1.0.7 ", ""}) {
        std::filesystem::remove(file());
        server.serve(kVersionPath, announced);
        const int before = question.asked;
        check();
        EXPECT_EQ(question.asked, before + 1) << announced;
        EXPECT_EQ(latestVersion, announced);
        EXPECT_EQ(readFile(file()), "03-14-2011 14:30:00\r\n");
    }
    EXPECT_EQ(readFile(host.directory / "postponed.txt"), "12-31-2099\r\n");
}

// 03-07-2011 to 03-14-2011 crosses the start of daylight saving time (TZ is fixed for these tests): the question
// comes back at the same local time, one real hour less than seven times 24 hours later.
TEST_F(UpdateCheckTest, APostponementHoldsUntilItsLocalMomentAndADateAloneFromMidnight)
{
    SKIP_WITHOUT_PROBE();
    server.serve(kVersionPath, "1.0.8");
    check();
    ASSERT_EQ(readFile(file()), "03-14-2011 14:30:00\r\n");
    server.clearRequests();
    host.moment = At(2011, 3, 14, 14, 29, 59);
    check();
    EXPECT_TRUE(server.requests().empty());
    host.moment = At(2011, 3, 14, 14, 30, 0);
    check();
    EXPECT_EQ(question.asked, 2);
    EXPECT_EQ(readFile(file()), "03-21-2011 14:30:00\r\n");

    writeFile(file(), "03-14-2011\r\n");
    host.moment = At(2011, 3, 13, 23, 59, 59);
    check();
    EXPECT_EQ(question.asked, 2);
    host.moment = At(2011, 3, 14, 0, 0, 0);
    check();
    EXPECT_EQ(question.asked, 3);
    // Midnight exactly is written as the date alone, as it was read.
    EXPECT_EQ(readFile(file()), "03-21-2011\r\n");
}

TEST_F(UpdateCheckTest, AFailedProbeOrFetchChangesNothing)
{
    {
        ScopedEnvironment unreachable("TWINSPOTTER_PROBE_HOSTS", "nothing.invalid");
        server.serve(kVersionPath, "1.0.8");
        writeFile(file(), "03-01-2011 08:00:00\r\n");
        check();
        EXPECT_TRUE(server.requests().empty());
        EXPECT_EQ(readFile(file()), "03-01-2011 08:00:00\r\n");
    }
    SKIP_WITHOUT_PROBE();
    latestVersion = "1.0.5";
    server.answerStatus(kVersionPath, 404);
    EXPECT_THROW(check(), HttpStatusError);
    EXPECT_EQ(question.asked, 0);
    EXPECT_EQ(readFile(file()), "03-01-2011 08:00:00\r\n");
    EXPECT_EQ(latestVersion, "1.0.5");
    EXPECT_EQ(question.waits.back(), "") << "the wait did not end with the failure";
}

TEST_F(UpdateCheckTest, AnsweringYesDownloadsReportsAndLeavesTheFileAlone)
{
    SKIP_WITHOUT_PROBE();
    server.serve(kVersionPath, "1.0.8");
    writeFile(file(), "03-01-2011 08:00:00\r\n");
    question.answers = {true};
    check();
    EXPECT_EQ(readFile(file()), "03-01-2011 08:00:00\r\n");
    const auto asked = server.requests();
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[1].path, kUpdaterPath);
    EXPECT_EQ(asked[2].query, "application=Twinspotter&version=1.0.7&type=Update&content=Auto+Update"
                              "&email=just+updating+to+new+version&appcode=");
    EXPECT_EQ(host.started, std::vector<std::string>{(host.directory / "TwinspotterUpdate.exe").string()});
    EXPECT_EQ(host.quitRequests, 1);
    EXPECT_EQ(question.waits,
              (std::vector<std::string>{"Checking for a newer version ...", "", "Downloading the update ...", ""}));
}

// A version is one line: one with a line break (a trailing one included) is malformed, and nothing is asked.
TEST_F(UpdateCheckTest, AVersionWithALineBreakIsMalformed)
{
    SKIP_WITHOUT_PROBE();
    latestVersion = "1.0.5";
    for (const char* announced : {"1.0.7\n", "1.0.8\r\nleave it at the post office", "1.0.8\xE2\x80\xA8"}) {
        server.serve(kVersionPath, announced);
        EXPECT_NE(thrownText([this] { check(); }).find("version text is malformed"), std::string::npos) << announced;
    }
    EXPECT_EQ(question.asked, 0);
    EXPECT_EQ(latestVersion, "1.0.5");
    EXPECT_FALSE(std::filesystem::exists(file()));
}

TEST_F(UpdateCheckTest, AFileThatIsNotADateIsReportedWithItsNameAtEveryStart)
{
    for (const char* content : {"", "\r\n", "next week\r\n", "14-03-2011 14:30:00\r\n", "03/14/2011\r\n"}) {
        writeFile(file(), content);
        for (int start = 0; start < 2; ++start)
            EXPECT_NE(refusal().find("The postponement file " + file().string() + " cannot be converted"),
                      std::string::npos)
                << content;
        EXPECT_EQ(readFile(file()), content);
    }
    // Its quote cannot be turned round.
    writeFile(file(), "03-14-2011 \xE2\x80\xAE"
                      "noon\r\n");
    EXPECT_NE(refusal().find("'03-14-2011 \\u202Enoon'"), std::string::npos) << refusal();
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(UpdateCheckTest, OnlyTheBeginningOfARegularFileIsEverRead)
{
    const std::string notRegular = "The postponement file " + file().string() +
                                   " is not a regular file. Remove it to let the update check run again.";
#ifndef _WIN32 // no FIFOs there, and Wine makes no symbolic links
    ASSERT_EQ(::mkfifo(file().c_str(), 0600), 0);
    EXPECT_EQ(refusal(), notRegular);
    std::filesystem::remove(file());
    std::filesystem::create_symlink("/dev/zero", file());
    EXPECT_EQ(refusal(), notRegular);
    std::filesystem::remove(file());
#endif
    writeFile(file(), "\x1b[2J\xff" + std::string(5 << 20, '7') + "\r\n");
    EXPECT_EQ(refusal(), "The postponement file " + file().string() + " cannot be converted: '\\x1B[2J\\xFF" +
                             std::string(35, '7') + "...' begins a line too long for a date and time");
    std::filesystem::remove(file());
    std::filesystem::create_directory(file());
    EXPECT_NE(refusal().find(file().string()), std::string::npos);
    EXPECT_TRUE(server.requests().empty());

    // The path it is given, not a name of its own: a file elsewhere reads as well.
    writeFile(host.directory / "postponed.txt", "12-31-2099\r\nmore");
    EXPECT_EQ(readPostponementLine(host.directory / "postponed.txt"), "12-31-2099");
}

TEST_F(UpdateCheckTest, WritingThePostponementReplacesALinkInsteadOfFollowingIt)
{
#ifdef _WIN32
    GTEST_SKIP() << "needs a symbolic link, which Wine does not make (CreateSymbolicLinkW succeeds with none)";
#endif
    SKIP_WITHOUT_PROBE();
    const std::filesystem::path victim = host.directory / "victim.txt";
    writeFile(victim, "precious");
    // The link appears while the question is on screen, after the file was looked at.
    question.whileAsked = [&] { std::filesystem::create_symlink(victim, file()); };
    server.serve(kVersionPath, "1.0.8");
    check();
    EXPECT_EQ(readFile(victim), "precious");
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(file())));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(file().parent_path()), {}), 2) << "a temporary stayed";
}

struct FormCase
{
    int language; ///< forms of one language share their designators
    const char* timeFormat;
    const char* ampmFormat;
    const char* am;
    const char* pm;
    const char* pattern;
    const char* afternoon; ///< how 03-14-2011 14:30:00 is written
};

TEST(DateTimeSettingsTest, EachTimeFormatWritesWhatEveryOtherReadsBack)
{
    const FormCase cases[] = {
        {0, "%r", "%I:%M:%S %p", "AM", "PM", "%I:%M:%S %p", "03-14-2011 02:30:00 PM"},
        {0, "%T", "", "", "", "%H:%M:%S", "03-14-2011 14:30:00"},
        // A 12-hour clock without designators would be ambiguous: 24 hours instead.
        {0, "%l:%M %p", "", "", "", "%-H:%M", "03-14-2011 14:30"},
        {1, "%p %I시 %M분 %S초", "", "오전", "오후", "%p %I:%M:%S", "03-14-2011 오후 02:30:00"},
        {1, "%H:%M:%S", "", "오전", "오후", "%H:%M:%S", "03-14-2011 14:30:00"},
    };
    const LocalDateTime afternoon{2011y / March / 14d, 14h + 30min};
    const LocalDateTime afterMidnight{2011y / March / 14d, 30min + 5s};
    for (const FormCase& writer : cases) {
        const auto written =
            DateTimeSettings::fromTimeFormat(writer.timeFormat, writer.ampmFormat, writer.am, writer.pm);
        EXPECT_EQ(written.longTimeFormat(), writer.pattern);
        EXPECT_EQ(written.format(afternoon), writer.afternoon);
        // A user may switch between 12 and 24 hours between two starts.
        for (const FormCase& reader : cases) {
            if (reader.language != writer.language)
                continue;
            const auto read =
                DateTimeSettings::fromTimeFormat(reader.timeFormat, reader.ampmFormat, reader.am, reader.pm);
            EXPECT_EQ(read.parse(written.format(afternoon)), afternoon) << writer.afternoon << " / " << reader.pattern;
            if (std::string(writer.pattern).find("%S") != std::string::npos) {
                EXPECT_EQ(read.parse(written.format(afterMidnight)), afterMidnight) << writer.pattern;
            }
        }
    }
    const auto twentyFour = DateTimeSettings::fromTimeFormat("%T", "", "", "");
    EXPECT_EQ(twentyFour.parse("3-14-2011 2:30 pm"), afternoon);
    for (const char* bad : {"03-14-2011 25:00:00", "03-14-2011 13:00:00 PM", "02-30-2011", "03-14-2011 2:30 XM",
                            "03-14-201114:30:00", "03-14-2011 14:30:00 extra"})
        EXPECT_THROW(twentyFour.parse(bad), DateTimeConversionError) << bad;
}

// Windows' own notation (LOCALE_STIMEFORMAT): quoted text and single letters must not turn into hours or minutes.
TEST(DateTimeSettingsTest, WindowsTimeFormatsBecomeTheSamePatterns)
{
    const LocalDateTime afternoon{2011y / March / 14d, 14h + 30min + 5s};
    const struct
    {
        const char* windows;
        const char* am;
        const char* pm;
        const char* pattern;
        const char* written;
    } cases[] = {
        {"HH:mm:ss", "", "", "%H:%M:%S", "03-14-2011 14:30:05"},
        {"h:mm:ss tt", "AM", "PM", "%-I:%M:%S %p", "03-14-2011 2:30:05 PM"},
        {"tt hh:mm:ss", "\xEC\x98\xA4\xEC\xA0\x84", "\xEC\x98\xA4\xED\x9B\x84", "%p %I:%M:%S",
         "03-14-2011 \xEC\x98\xA4\xED\x9B\x84 02:30:05"},
        {"H' h 'mm' min 'ss's'", "", "", "%-H:%M:%S", "03-14-2011 14:30:05"},
        {"hh:mm tt", "", "", "%H:%M", "03-14-2011 14:30"}, // no designators: 24 hours
    };
    for (const auto& form : cases) {
        const auto settings = DateTimeSettings::fromWindowsTimeFormat(form.windows, form.am, form.pm);
        EXPECT_EQ(settings.longTimeFormat(), form.pattern) << form.windows;
        EXPECT_EQ(settings.format(afternoon), form.written) << form.windows;
    }
}

} // namespace
} // namespace twinspotter::test
