// Tests of the shared online settings and the environment overrides of server and probe hosts.
#include "tests/online/OnlineTestSupport.h"

namespace twinspotter::test {
namespace {

TEST(SettingsTest, AddressesComeFromTheBuiltInServerUnlessTheEnvironmentNamesOne)
{
    {
        ScopedEnvironment none("TWINSPOTTER_SERVER", "");
        fillOnlineSettings();
        EXPECT_EQ(versionUrl, "http://www.quillnet.example/downloads/twinspotter/version.txt?ts=<timestamp>");
        EXPECT_EQ(serverHostName(), "www.quillnet.example");
        EXPECT_EQ(siteRootAddress(), "http://www.quillnet.example");
    }
    ScopedEnvironment local("TWINSPOTTER_SERVER", "http://127.0.0.1:8080/");
    latestVersion = "9.9";
    fillOnlineSettings();
    EXPECT_EQ(productName, "Twinspotter");
    EXPECT_EQ(productVersion, "1.0.7");
    EXPECT_EQ(latestVersion, "");
    EXPECT_EQ(appCode, "");
    EXPECT_EQ(updaterUrl, "http://127.0.0.1:8080/downloads/twinspotter/TwinspotterUpdate.exe?ts=<timestamp>");
    EXPECT_EQ(infoUrl, "http://127.0.0.1:8080/downloads/twinspotter/twinspotter.txt?ts=<timestamp>");
    EXPECT_EQ(versionUrl, "http://127.0.0.1:8080/downloads/twinspotter/version.txt?ts=<timestamp>");
    EXPECT_EQ(contactUsUrl, "http://127.0.0.1:8080/downloads/twinspotter/contactus.txt?ts=");
    EXPECT_EQ(serverHostName(), "127.0.0.1");
    EXPECT_EQ(siteRootAddress(), "http://127.0.0.1:8080");
}

TEST(SettingsTest, ProbeHostsAreThreeBuiltInNamesUnlessTheEnvironmentListsOthers)
{
    {
        ScopedEnvironment none("TWINSPOTTER_PROBE_HOSTS", "");
        EXPECT_EQ(probeHosts().size(), 3u);
    }
    ScopedEnvironment listed("TWINSPOTTER_PROBE_HOSTS", "127.0.0.1, nothing.invalid,,localhost");
    EXPECT_EQ(probeHosts(), (std::vector<std::string>{"127.0.0.1", "nothing.invalid", "localhost"}));
}

TEST(SettingsTest, TimestampIsTheTimeOfDayAfterTheFixedBase)
{
    EXPECT_EQ(timestampValue({0, 0, 0}), "31363200");
    EXPECT_EQ(timestampValue({12, 0, 0}), "31406400");
    EXPECT_EQ(timestampValue({23, 59, 59}), "31449599");
}

TEST(SettingsTest, InsertTimestampReplacesOnlyTheFirstPlaceholder)
{
    RecordingHost host;
    host.time = {0, 0, 1};
    setOnlineHost(&host);
    EXPECT_EQ(insertTimestamp("http://h/a?ts=<timestamp>&b=<timestamp>"), "http://h/a?ts=31363201&b=<timestamp>");
    EXPECT_EQ(insertTimestamp("http://h/downloads/twinspotter/contactus.txt?ts="),
              "http://h/downloads/twinspotter/contactus.txt?ts=");
    EXPECT_EQ(insertTimestamp("http://h/a?ts=<TIMESTAMP>"), "http://h/a?ts=<TIMESTAMP>");
    setOnlineHost(nullptr);
}

TEST(SettingsTest, DefaultHostRecordsTheQuitRequestAndNamesTheExecutablesDirectory)
{
    OnlineHost host;
    EXPECT_FALSE(host.quitRequested());
    host.requestQuit();
    EXPECT_TRUE(host.quitRequested());
    const auto directory = host.programDirectory();
    EXPECT_EQ(directory.native().back(), std::filesystem::path::preferred_separator);
#ifdef _WIN32
    EXPECT_TRUE(std::filesystem::exists(directory / "online_tests.exe"));
#else
    EXPECT_TRUE(std::filesystem::exists(directory / "online_tests"));
#endif
}

} // namespace
} // namespace twinspotter::test
