// Tests of the query-value encoding and of the exact message query the contact script receives.
#include "tests/online/OnlineTestSupport.h"

namespace twinspotter::test {
namespace {

TEST(EncodeQueryValueTest, KeepsTheSafeSetAndEscapesEverythingElseInUpperCaseHex)
{
    EXPECT_EQ(encodeQueryValue("AZaz09*@._-$!'()"), "AZaz09*@._-$!'()");
    EXPECT_EQ(encodeQueryValue(" "), "+");
    EXPECT_EQ(encodeQueryValue("a\r\nb"), "a%0D%0Ab");
    EXPECT_EQ(encodeQueryValue("&+~/:<>%"), "%26%2B%7E%2F%3A%3C%3E%25");
    EXPECT_EQ(encodeQueryValue("\xC3\xA9\x80\xFF"), "%C3%A9%80%FF");
    EXPECT_EQ(encodeQueryValue("first.last_1-x@mail.example"), "first.last_1-x@mail.example");
    EXPECT_EQ(encodeQueryValue(std::string("cut\0here", 8)), "cut");
    EXPECT_EQ(encodeQueryValue(""), "");
}

using WebMessageTest = OnlineTest;

TEST_F(WebMessageTest, ContactMessageGoesOutInTheFixedOrderAndItsReplyIsShown)
{
    sendWebMessage("Comment", " ", "Put your email here", true);

    const auto requests = server.requestsFor(kContactScriptPath);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].query,
              "application=Twinspotter&version=1.0.7&type=Comment&content=+&email=Put+your+email+here&appcode=");
    EXPECT_EQ(requests[0].authorization, "Basic YWRtaW46NzMxOTA1");
    EXPECT_EQ(host.messages, std::vector<std::string>{LoopbackServer::kDefaultReply});
}

TEST_F(WebMessageTest, LineBreaksAndNonAsciiLettersAreEscapedAndAHiddenReplyLeavesNoTrace)
{
    sendWebMessage("Comment", "Hallo\r\nGr\u00FC\u00DFe", "me@example.org", false);

    const auto requests = server.requestsFor(kContactScriptPath);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].query, "application=Twinspotter&version=1.0.7&type=Comment&content=Hallo%0D%0AGr%C3%BC%C3%9Fe"
                                 "&email=me@example.org&appcode=");
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(WebMessageTest, FailedRequestPropagatesAndShowsNothing)
{
    server.answerStatus(kContactScriptPath, 500);
    EXPECT_THROW(sendWebMessage("Comment", "hello", "", true), HttpStatusError);
    EXPECT_TRUE(host.messages.empty());
}

} // namespace
} // namespace twinspotter::test
