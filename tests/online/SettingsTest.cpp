// Tests of the shared online settings and the environment overrides of server and probe hosts.
#include "tests/online/OnlineTestSupport.h"

namespace twinspotter::test {
namespace {

TEST(SettingsTest, AddressesComeFromTheBuiltInServerUnlessTheEnvironmentNamesOne)
{
    {
        ScopedEnvironment none("TWINSPOTTER_SERVER", "");
        FillOnlineSettings();
        EXPECT_EQ(VersionUrl, "http://www.quillnet.example/downloads/twinspotter/version.txt?ts=<timestamp>");
        EXPECT_EQ(ServerHostName(), "www.quillnet.example");
        EXPECT_EQ(SiteRootAddress(), "http://www.quillnet.example");
    }
    ScopedEnvironment local("TWINSPOTTER_SERVER", "http://127.0.0.1:8080/");
    LatestVersion = "9.9";
    FillOnlineSettings();
    EXPECT_EQ(ProductName, "Twinspotter");
    EXPECT_EQ(ProductVersion, "1.0.7");
    EXPECT_EQ(LatestVersion, "");
    EXPECT_EQ(AppCode, "");
    EXPECT_EQ(UpdaterUrl, "http://127.0.0.1:8080/downloads/twinspotter/TwinspotterUpdate.exe?ts=<timestamp>");
    EXPECT_EQ(InfoUrl, "http://127.0.0.1:8080/downloads/twinspotter/twinspotter.txt?ts=<timestamp>");
    EXPECT_EQ(VersionUrl, "http://127.0.0.1:8080/downloads/twinspotter/version.txt?ts=<timestamp>");
    EXPECT_EQ(ContactUsUrl, "http://127.0.0.1:8080/downloads/twinspotter/contactus.txt?ts=");
    EXPECT_EQ(ServerHostName(), "127.0.0.1");
    EXPECT_EQ(SiteRootAddress(), "http://127.0.0.1:8080");
}

TEST(SettingsTest, ProbeHostsAreThreeBuiltInNamesUnlessTheEnvironmentListsOthers)
{
    {
        ScopedEnvironment none("TWINSPOTTER_PROBE_HOSTS", "");
        EXPECT_EQ(ProbeHosts().size(), 3u);
    }
    ScopedEnvironment listed("TWINSPOTTER_PROBE_HOSTS", "127.0.0.1, nothing.invalid,,localhost");
    EXPECT_EQ(ProbeHosts(), (std::vector<std::string>{"127.0.0.1", "nothing.invalid", "localhost"}));
}

TEST(SettingsTest, TimestampIsTheTimeOfDayAfterTheFixedBase)
{
    EXPECT_EQ(TimestampValue({0, 0, 0}), "31363200");
    EXPECT_EQ(TimestampValue({12, 0, 0}), "31406400");
    EXPECT_EQ(TimestampValue({23, 59, 59}), "31449599");
}

TEST(SettingsTest, InsertTimestampReplacesOnlyTheFirstPlaceholder)
{
    RecordingHost host;
    host.time = {0, 0, 1};
    SetOnlineHost(&host);
    EXPECT_EQ(InsertTimestamp("http://h/a?ts=<timestamp>&b=<timestamp>"), "http://h/a?ts=31363201&b=<timestamp>");
    EXPECT_EQ(InsertTimestamp("http://h/downloads/twinspotter/contactus.txt?ts="),
              "http://h/downloads/twinspotter/contactus.txt?ts=");
    EXPECT_EQ(InsertTimestamp("http://h/a?ts=<TIMESTAMP>"), "http://h/a?ts=<TIMESTAMP>");
    SetOnlineHost(nullptr);
}

TEST(SettingsTest, DefaultHostRecordsTheQuitRequestAndNamesTheExecutablesDirectory)
{
    OnlineHost host;
    EXPECT_FALSE(host.quitRequested());
    host.requestQuit();
    EXPECT_TRUE(host.quitRequested());
    const auto directory = host.programDirectory();
    EXPECT_EQ(directory.string().back(), '/');
    EXPECT_TRUE(std::filesystem::exists(directory / "online_tests"));
}

} // namespace
} // namespace twinspotter::test
