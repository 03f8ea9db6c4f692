// Tests of the text fetch against the loopback server: exact requests, status failures, redirects, transport errors.
#include "tests/online/OnlineTestSupport.h"
#include "tests/support/RawAnswerServer.h"

namespace twinspotter::test {
namespace {

using WebTextTest = OnlineTest;

TEST_F(WebTextTest, AnonymousFetchSendsTimestampAndBasicHeaderOfALoneColon)
{
    host.time = {23, 59, 59};
    EXPECT_EQ(fetchWebText(versionUrl, "", ""), "1.0.7");
    EXPECT_EQ(fetchWebText(contactUsUrl, "", ""), LoopbackServer::kDefaultContactText);

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].path, kVersionPath);
    EXPECT_EQ(requests[0].query, "ts=31449599");
    EXPECT_EQ(requests[0].authorization, "Basic Og==");
    EXPECT_EQ(requests[1].path, kContactTextPath);
    EXPECT_EQ(requests[1].query, "ts=");
    EXPECT_EQ(requests[1].authorization, "Basic Og==");
}

TEST_F(WebTextTest, CredentialsAreSentAsBasicAuthorization)
{
    EXPECT_EQ(basicAuthorization("admin", "731905"), "Basic YWRtaW46NzMxOTA1");
    EXPECT_EQ(basicAuthorization("ab", ""), "Basic YWI6");
    fetchWebText(infoUrl, "admin", "731905");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].authorization, "Basic YWRtaW46NzMxOTA1");
}

TEST_F(WebTextTest, ErrorStatusFailsAndLeavesLatestVersionAlone)
{
    latestVersion = "1.0.6";
    server.answerStatus(kVersionPath, 404);
    try {
        latestVersion = fetchWebText(versionUrl, "", "");
        FAIL() << "a 404 answer returned a text";
    } catch (const HttpStatusError& error) {
        EXPECT_EQ(error.status(), 404);
        EXPECT_NE(std::string(error.what()).find("404"), std::string::npos) << error.what();
    }
    EXPECT_EQ(latestVersion, "1.0.6");

    server.answerStatus(kInfoPath, 500);
    EXPECT_THROW(fetchWebText(infoUrl, "", ""), HttpStatusError);
}

TEST_F(WebTextTest, RedirectIsNotFollowedAndFailsWithItsStatus)
{
    server.redirect(kVersionPath, server.address() + "/elsewhere/version.txt");
    server.serve("/elsewhere/version.txt", "2.0");
    try {
        fetchWebText(versionUrl, "", "");
        FAIL() << "a redirect was followed";
    } catch (const HttpStatusError& error) {
        EXPECT_EQ(error.status(), 302);
    }
    EXPECT_TRUE(server.requestsFor("/elsewhere/version.txt").empty());
}

TEST_F(WebTextTest, RefusedConnectionIsAWebErrorWithoutStatus)
{
    RefusingPort refusing;
    try {
        fetchWebText(refusing.address() + "/downloads/twinspotter/version.txt?ts=<timestamp>", "", "");
        FAIL() << "a refused connection returned a text";
    } catch (const HttpStatusError&) {
        FAIL() << "a refused connection was reported as an HTTP status";
    } catch (const WebError& error) {
        EXPECT_NE(std::string(error.what()).find(refusing.address()), std::string::npos) << error.what();
    }
}

TEST_F(WebTextTest, ProxyFromTheEnvironmentIsNotUsedForLoopback)
{
    RefusingPort deadProxy;
    ScopedEnvironment proxy("http_proxy", deadProxy.address());
    ScopedEnvironment allProxy("ALL_PROXY", deadProxy.address());
    EXPECT_EQ(fetchWebText(versionUrl, "", ""), "1.0.7");
}

TEST_F(WebTextTest, AnswersOverTheirLimitFailAtOnceButAnErrorPageKeepsItsStatus)
{
    server.serveEndless(kInfoPath);
    EXPECT_NE(thrownText([] { fetchWebText(infoUrl, "", ""); }).find("is larger than 64 KiB"), std::string::npos);
    server.serve(kContactScriptPath, std::string(3 << 20, 'r')); // its length declared
    EXPECT_THROW(sendWebMessage("Comment", "Hi", "", true), WebError);
    server.serveEndless(kUpdaterPath);
    EXPECT_NE(thrownText([] { downloadUpdater(updaterUrl); }).find("is larger than 64 MiB"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir() / "TwinspotterUpdate.exe"));

    server.serve(kContactScriptPath, "noted");
    server.serveEndless(kUpdaterPath, 404);
    downloadUpdater(updaterUrl); // still reported as missing
    EXPECT_EQ(server.requestsFor(kContactScriptPath).size(), 2u);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(host.quitRequests, 0);
}

/// Stands for the window: counts the services and ends the wait once told to.
struct CountingObserver : WaitObserver
{
    std::vector<std::chrono::steady_clock::time_point> services;
    std::chrono::steady_clock::time_point cancelAt = std::chrono::steady_clock::time_point::max();
    bool keepWaiting() override
    {
        services.push_back(std::chrono::steady_clock::now());
        return services.back() < cancelAt;
    }
};

// Two requests of one action that both stall share its budget: the second gets what the first left, not a new one.
TEST_F(WebTextTest, TheRequestsOfOneActionShareItsBudget)
{
    host.timeout = std::chrono::milliseconds(400);
    server.stall(kInfoPath, std::chrono::seconds(10));
    server.stall(kVersionPath, std::chrono::seconds(10));
    CountingObserver observer;
    const auto started = std::chrono::steady_clock::now();
    {
        const OnlineAction action(kOpenAboutBudget, &observer);
        EXPECT_NE(thrownText([] { fetchWebText(infoUrl, "", ""); }).find("no answer within 400 ms"), std::string::npos);
        EXPECT_THROW(fetchWebText(versionUrl, "", ""), WebError);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(700));
    // The window was serviced all along, never more than a tenth of a second apart.
    ASSERT_GT(observer.services.size(), 5u);
    for (std::size_t i = 1; i < observer.services.size(); ++i)
        EXPECT_LT(observer.services[i] - observer.services[i - 1], std::chrono::milliseconds(100));
}

TEST_F(WebTextTest, TheUserEndsAWaitAtOnce)
{
    server.stall(kVersionPath, std::chrono::seconds(10));
    CountingObserver observer;
    observer.cancelAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    const OnlineAction action(kStartUpCheckBudget, &observer);
    EXPECT_THROW(fetchWebText(versionUrl, "", ""), WaitCancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - observer.cancelAt, std::chrono::milliseconds(100));
}

// A reason phrase is the server's to choose: however long, the error quotes one line of it, and nothing in it turns
// the text round.
TEST_F(WebTextTest, AReasonPhraseIsQuotedShortAndEscaped)
{
    RawAnswerServer raw("HTTP/1.1 500 \xE2\x80\xAE"
                        "draw" +
                        std::string(90 * 1024, 'x') + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    try {
        fetchWebText(raw.address() + "/downloads/twinspotter/version.txt?ts=<timestamp>", "", "");
        FAIL() << "an error status returned a text";
    } catch (const HttpStatusError& error) {
        const std::string text = error.what();
        EXPECT_EQ(error.status(), 500);
        EXPECT_LT(text.size(), 400u);
        EXPECT_NE(text.find("HTTP/1.1 500 \\u202Edrawxxx"), std::string::npos) << text;
        EXPECT_EQ(text.find("\xE2\x80\xAE"), std::string::npos);
    }
}

} // namespace
} // namespace twinspotter::test
