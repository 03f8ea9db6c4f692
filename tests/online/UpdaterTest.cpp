// Tests of the updater download: the files left in the program directory after each outcome and the reports sent.
#include "tests/online/OnlineTestSupport.h"

#include <sys/stat.h>

#include <iterator>
#include <thread>

namespace twinspotter::test {
namespace {

TEST(UpdaterPathsTest, NameComesFromTheLastSegmentLessItsQuery)
{
    const auto paths = updaterPathsFor(
        "http://www.quillnet.example/downloads/twinspotter/TwinspotterUpdate.exe?ts=<timestamp>", "/opt/ts");
    EXPECT_EQ(paths.directory, "/opt/ts/");
    EXPECT_EQ(paths.updater, "/opt/ts/TwinspotterUpdate.exe");
    EXPECT_EQ(paths.backup, "/opt/ts/TwinspotterUpdate.BAK");

    EXPECT_EQ(updaterPathsFor("http://h:81/x/Other.tar.gz", "/d/").backup, "/d/Other.tar.BAK");
    EXPECT_EQ(updaterPathsFor("http://h:81/x/tool?v=1", "/d/").updater, "/d/tool");
    EXPECT_EQ(updaterPathsFor("http://h:81/x/tool?v=1", "/d/").backup, "/d/tool.BAK");
    EXPECT_EQ(updaterPathsFor("http://h/x/u.exe", "/what?/").updater, "/what?/u.exe");
}

class UpdaterTest : public OnlineTest
{
protected:
    std::filesystem::path updater() const { return dir() / "TwinspotterUpdate.exe"; }
    std::filesystem::path backup() const { return dir() / "TwinspotterUpdate.BAK"; }
    std::vector<RecordedRequest> reports() const { return server.requestsFor(kContactScriptPath); }
};

TEST_F(UpdaterTest, DownloadSavesStartsAndAsksToQuitWithoutAuthorization)
{
    downloadUpdater(updaterUrl);

    EXPECT_EQ(readFile(updater()), LoopbackServer::defaultUpdater());
    EXPECT_FALSE(std::filesystem::exists(backup()));
    EXPECT_EQ(host.started, std::vector<std::string>{updater().string()});
    EXPECT_EQ(host.quitRequests, 1);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, kUpdaterPath);
    EXPECT_EQ(requests[0].query, "ts=31406400");
    EXPECT_FALSE(requests[0].authorization.has_value());
}

TEST_F(UpdaterTest, EarlierUpdaterAndBackupAreReplaced)
{
    writeFile(updater(), "old updater");
    writeFile(backup(), "older backup");
    downloadUpdater(updaterUrl);
    EXPECT_EQ(readFile(updater()), LoopbackServer::defaultUpdater());
    EXPECT_FALSE(std::filesystem::exists(backup()));
}

TEST_F(UpdaterTest, MissingUpdaterIsReportedWithItsLiteralPlaceholderAndTheProgramKeepsRunning)
{
    writeFile(updater(), "old updater");
    server.answerStatus(kUpdaterPath, 404);

    downloadUpdater(updaterUrl);

    EXPECT_EQ(readFile(updater()), "old updater");
    EXPECT_FALSE(std::filesystem::exists(backup()));
    EXPECT_EQ(host.quitRequests, 0);
    EXPECT_TRUE(host.started.empty());
    EXPECT_TRUE(host.messages.empty());
    ASSERT_EQ(reports().size(), 1u);
    EXPECT_EQ(reports()[0].query,
              "application=Twinspotter&version=1.0.7&type=UpdateError&content=http%3A%2F%2F127.0.0.1%3A" +
                  std::to_string(server.port()) +
                  "%2Fdownloads%2Ftwinspotter%2FTwinspotterUpdate.exe%3Fts%3D%3Ctimestamp%3E"
                  "&email=Updater+missing&appcode=");
}

TEST_F(UpdaterTest, OtherErrorStatusIsSilent)
{
    writeFile(updater(), "old updater");
    server.answerStatus(kUpdaterPath, 500);

    EXPECT_NO_THROW(downloadUpdater(updaterUrl));

    EXPECT_EQ(readFile(updater()), "old updater");
    EXPECT_FALSE(std::filesystem::exists(backup()));
    EXPECT_TRUE(reports().empty());
    EXPECT_EQ(host.quitRequests, 0);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(UpdaterTest, RedirectIsFollowedAndTheFinalBodySaved)
{
    server.redirect(kUpdaterPath, server.address() + "/mirror/TwinspotterUpdate-1.0.8.exe");
    server.serve("/mirror/TwinspotterUpdate-1.0.8.exe", programStart() + "# new updater\n");

    downloadUpdater(updaterUrl);

    EXPECT_EQ(readFile(updater()), programStart() + "# new updater\n");
    EXPECT_EQ(host.quitRequests, 1);
}

TEST_F(UpdaterTest, RedirectToALocalFileIsRefused)
{
    writeFile(dir() / "secret", "local bytes");
    server.redirect(kUpdaterPath, "file://" + (dir() / "secret").string());
    EXPECT_THROW(downloadUpdater(updaterUrl), WebError);
    EXPECT_FALSE(std::filesystem::exists(updater()));
    EXPECT_EQ(host.quitRequests, 0);
}

TEST_F(UpdaterTest, AnotherFileNameIsSavedUnderThatName)
{
    server.serve("/downloads/twinspotter/Helper.bin", programStart() + "# helper\n");
    downloadUpdater(server.address() + "/downloads/twinspotter/Helper.bin");
    EXPECT_EQ(readFile(dir() / "Helper.bin"), programStart() + "# helper\n");
    EXPECT_EQ(host.started, std::vector<std::string>{(dir() / "Helper.bin").string()});
}

TEST_F(UpdaterTest, FailedWritePropagatesWithoutStartOrQuit)
{
    host.directory = dir() / "not-there" / "";
    EXPECT_THROW(downloadUpdater(updaterUrl), std::system_error);
    EXPECT_TRUE(host.started.empty());
    EXPECT_EQ(host.quitRequests, 0);
    EXPECT_TRUE(reports().empty());
}

TEST_F(UpdaterTest, TransportFailurePropagatesAndKeepsTheEarlierUpdater)
{
    writeFile(updater(), "old updater");
    RefusingPort refusing;
    EXPECT_THROW(downloadUpdater(refusing.address() + "/downloads/twinspotter/TwinspotterUpdate.exe?ts=<timestamp>"),
                 WebError);
    EXPECT_EQ(readFile(updater()), "old updater");
    EXPECT_FALSE(std::filesystem::exists(backup()));
    EXPECT_EQ(host.quitRequests, 0);
}

TEST_F(UpdaterTest, FailedMissingReportPropagates)
{
    server.answerStatus(kUpdaterPath, 404);
    server.answerStatus(kContactScriptPath, 503);
    EXPECT_THROW(downloadUpdater(updaterUrl), HttpStatusError);
}

TEST_F(UpdaterTest, OnlyAProgramForThisMachineIsStartedAndOnlyThenDoesTheProgramQuit)
{
#ifdef _WIN32
    // The saved file is opened by the shell; the headers the tests serve are no program that would run.
    downloadUpdater(updaterUrl);
    EXPECT_EQ(host.started, std::vector<std::string>{updater().string()});
    writeFile(dir() / "TwinspotterUpdate.exe.ran", "started\n");
#else
    host.reallyStart = true;
    server.serve(kUpdaterPath, programStart() + "echo started >\"$0.ran\"\n");
    downloadUpdater(updaterUrl);
    const auto mark = dir() / "TwinspotterUpdate.exe.ran";
    for (int i = 0; i < 500 && readFile(mark).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(readFile(mark), "started\n");
#endif
    EXPECT_EQ(host.quitRequests, 1);

    host.reallyStart = false;
    const std::string earlier = readFile(updater());
    // A program for the other system, a web page and nothing at all are refused, and the earlier updater stays as
    // it was.
#ifdef _WIN32
    const std::string otherSystems = std::string("\177ELF\2\1\1", 7) + std::string(57, '\0');
#else
    const std::string otherSystems = std::string("MZ\x90\0", 4) + std::string(60, '\0');
#endif
    for (const std::string& body : {otherSystems, std::string("<html>Not here</html>"), std::string()}) {
        server.serve(kUpdaterPath, body);
        EXPECT_NE(thrownText([] { downloadUpdater(updaterUrl); }).find("The update was not installed"),
                  std::string::npos);
        EXPECT_EQ(readFile(updater()), earlier);
        EXPECT_FALSE(std::filesystem::exists(backup()));
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir()), {}), 2); // the updater and its mark
    }
    EXPECT_EQ(host.quitRequests, 1);
    std::string own = readFile(ownProgram()).substr(0, 4096);
    EXPECT_TRUE(isProgramForThisMachine(own));
    own[machineOffset(own)] = static_cast<char>(own[machineOffset(own)] ^ 0x55); // another machine
    EXPECT_FALSE(isProgramForThisMachine(own));
}

// A link or a FIFO at the updater's name, with a folder at the backup's name that cannot be removed: neither is ever
// opened, and the user is told what stands there.
TEST_F(UpdaterTest, ALinkOrAFifoAtTheUpdatersNameIsReportedNeverOpened)
{
#ifdef _WIN32
    GTEST_SKIP() << "needs a FIFO, which Windows has not, and a symbolic link, which Wine does not make";
#else
    const auto victim = dir() / "victim";
    writeFile(victim, "precious");
    std::filesystem::permissions(victim, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    std::filesystem::create_directory(backup());
    std::filesystem::create_symlink(victim, updater());
    EXPECT_NE(thrownText([] { downloadUpdater(updaterUrl); }).find(updater().string() + " is not a regular file"),
              std::string::npos);
    EXPECT_EQ(readFile(victim), "precious");
    EXPECT_EQ(std::filesystem::status(victim).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    std::filesystem::remove(updater());
    ASSERT_EQ(::mkfifo(updater().c_str(), 0600), 0);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_THROW(downloadUpdater(updaterUrl), UpdateNotStartedError);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    EXPECT_TRUE(std::filesystem::is_fifo(updater()));
    EXPECT_TRUE(std::filesystem::is_directory(backup()));
    EXPECT_TRUE(host.started.empty());
    EXPECT_EQ(host.quitRequests, 0);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir()), {}), 3); // no temporary left behind
#endif
}

/// Records what a download showed of its progress.
struct ProgressRecorder : WaitObserver
{
    std::vector<std::pair<std::uint64_t, std::uint64_t>> seen;
    bool keepWaiting() override { return true; }
    void showProgress(std::uint64_t received, std::uint64_t total) override { seen.emplace_back(received, total); }
};

// The download has no fixed total: one that keeps arriving finishes, with its progress shown; one that stops ends
// after the stall time, and the earlier updater stays.
TEST_F(UpdaterTest, ASlowDownloadFinishesWhileItProgressesAndEndsWhenItStops)
{
    host.timeout = std::chrono::milliseconds(400);
    const std::string body = programStart() + std::string(24 * 1024, '#');
    server.trickle(kUpdaterPath, body, 1024, std::chrono::milliseconds(40));
    ProgressRecorder progress;
    {
        const OnlineAction action(kReportBudget, &progress);
        downloadUpdater(updaterUrl);
    }
    EXPECT_EQ(readFile(updater()), body);
    EXPECT_EQ(host.quitRequests, 1);
    ASSERT_FALSE(progress.seen.empty());
    EXPECT_EQ(progress.seen.back().second, body.size());
    EXPECT_GT(progress.seen.size(), 10u);

    writeFile(updater(), "old updater");
    server.trickle(kUpdaterPath, body, 1024, std::chrono::milliseconds(10), 4096);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_NE(thrownText([] { downloadUpdater(updaterUrl); }).find("less than 1 KB a second arrived for 400 ms"),
              std::string::npos);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    EXPECT_EQ(readFile(updater()), "old updater");
    EXPECT_EQ(host.quitRequests, 1);
}

TEST_F(UpdaterTest, NothingIsWrittenIntoAFolderThatIsNotTheUsersOwn)
{
#ifdef _WIN32
    const char* systemRoot = std::getenv("SystemRoot");
    ASSERT_NE(systemRoot, nullptr);
    const std::vector<std::filesystem::path> folders = {std::filesystem::path(systemRoot) / "System32"};
#else
    std::vector<std::filesystem::path> folders = {"/usr/bin"};
    std::filesystem::create_directory(dir() / "others");
    if (::chown((dir() / "others").c_str(), 65534, 65534) == 0) // only root can give a folder away
        folders.push_back(dir() / "others");
#endif
    for (const auto& folder : folders) {
        host.directory = folder / "";
        EXPECT_EQ(thrownText([] { downloadUpdater(updaterUrl); }),
                  "The update cannot be installed from inside " + folder.string() + ": Twinspotter may not write " +
                      "to that folder. The new version can be had from " + server.address() + "/.");
        EXPECT_FALSE(std::filesystem::exists(folder / "TwinspotterUpdate.exe"));
    }
    EXPECT_TRUE(server.requests().empty());
}

} // namespace
} // namespace twinspotter::test
