// Tests of the connectivity probe; echoes go only to 127.0.0.1, other hosts are names that cannot resolve.
#include "tests/online/OnlineTestSupport.h"

namespace twinspotter::test {
namespace {

constexpr const char* kRouteHeader =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
constexpr const char* kLoopbackRoute = "lo\t0000007F\t00000000\t0001\t0\t0\t0\t000000FF\t0\t0\t0\n";
constexpr const char* kEthernetDefaultRoute = "eth0\t00000000\t010200C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n";
constexpr const char* kEthernetDownRoute = "eth0\t00000000\t010200C0\t0002\t0\t0\t0\t00000000\t0\t0\t0\n";
constexpr const char* kIpv6LoopbackRoute = "00000000000000000000000000000001 80 00000000000000000000000000000000 00 "
                                           "00000000000000000000000000000000 00000000 00000002 00000000 80200001 lo\n";
constexpr const char* kIpv6RejectRoute = "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
                                         "00000000000000000000000000000000 ffffffff 00000001 00000000 00200200 lo\n";
constexpr const char* kIpv6EthernetRoute = "fe800000000000000000000000000000 40 00000000000000000000000000000000 00 "
                                           "00000000000000000000000000000000 00000100 00000002 00000000 00000001 "
                                           "eth0\n";

bool icmpSocketsAvailable()
{
#ifdef _WIN32
    return true; // the system's ICMP helper needs no rights a user lacks
#endif
    for (int type : {SOCK_DGRAM, SOCK_RAW}) {
        const SocketHandle fd = ::socket(AF_INET, type, IPPROTO_ICMP);
        if (fd != kNoSocket) {
            closeSocket(fd);
            return true;
        }
    }
    return false;
}

class ProbeTest : public OnlineTest
{
protected:
    /// Writes an IPv4 and an IPv6 table and returns them as the offline test's "library". On Windows the offline
    /// test is the system's, which reads no tables: a test that needs "offline" is skipped there.
    std::string tables(const std::string& ipv4, const std::string& ipv6)
    {
#ifdef _WIN32
        (void)ipv4;
        (void)ipv6;
        return kOfflineTestLibrary;
#endif
        writeFile(dir() / "route", ipv4);
        writeFile(dir() / "ipv6_route", ipv6);
        return (dir() / "route").string() + ":" + (dir() / "ipv6_route").string();
    }

    /// The real echo, with each host it is asked for written down.
    ProbeSetup watchedSetup(const std::string& library, std::vector<std::string> hosts)
    {
        ProbeSetup setup;
        setup.offlineTestLibrary = library;
        setup.hosts = std::move(hosts);
        setup.ping = [this](const std::string& name) {
            pinged.push_back(name);
            return pingHost(name);
        };
        return setup;
    }

    std::vector<std::string> pinged;
};

#ifdef _WIN32
#define SKIP_ON_WINDOWS()                                                                                              \
    GTEST_SKIP() << "the offline test is the system's InetIsOffline (url.dll), which reads no routing tables"
#else
#define SKIP_ON_WINDOWS()
#endif

TEST_F(ProbeTest, OfflineTestReadsRoutesThroughInterfacesOtherThanLoopback)
{
    SKIP_ON_WINDOWS();
    OfflineTestFunction inetIsOffline;
    ASSERT_TRUE(loadLibFunction(tables(std::string(kRouteHeader) + kLoopbackRoute + kEthernetDownRoute,
                                       std::string(kIpv6LoopbackRoute) + kIpv6RejectRoute),
                                kOfflineTestFunction, inetIsOffline));
    EXPECT_NE(inetIsOffline(0), 0u);

    ASSERT_TRUE(loadLibFunction(tables(std::string(kRouteHeader) + kEthernetDefaultRoute, ""), kOfflineTestFunction,
                                inetIsOffline));
    EXPECT_EQ(inetIsOffline(0), 0u);

    ASSERT_TRUE(loadLibFunction(tables(kRouteHeader, kIpv6EthernetRoute), kOfflineTestFunction, inetIsOffline));
    EXPECT_EQ(inetIsOffline(0), 0u);
}

TEST_F(ProbeTest, MissingOfflineTestIsNotLoaded)
{
    OfflineTestFunction entry;
#ifdef _WIN32
    EXPECT_FALSE(loadLibFunction("twinspotter-no-such.dll", kOfflineTestFunction, entry));
#else
    EXPECT_FALSE(loadLibFunction((dir() / "no-route").string() + ":" + (dir() / "no-ipv6").string(),
                                 kOfflineTestFunction, entry));
#endif
    EXPECT_FALSE(entry);
    EXPECT_FALSE(loadLibFunction(kOfflineTestLibrary, "InetIsOnline", entry));
    EXPECT_TRUE(loadLibFunction(kOfflineTestLibrary, kOfflineTestFunction, entry));
}

TEST_F(ProbeTest, OfflineOrMissingTestAnswersFalseWithoutAnyEcho)
{
#ifndef _WIN32
    const std::string offline = tables(std::string(kRouteHeader) + kLoopbackRoute, kIpv6LoopbackRoute);
    EXPECT_FALSE(internetAvailable(watchedSetup(offline, {"127.0.0.1"})));
#endif
    EXPECT_FALSE(internetAvailable(watchedSetup((dir() / "missing").string(), {"127.0.0.1"})));
    EXPECT_TRUE(pinged.empty());
}

TEST_F(ProbeTest, FirstHostThatAnswersEndsTheProbe)
{
    if (!icmpSocketsAvailable())
        GTEST_SKIP() << "neither a datagram nor a raw ICMP socket can be opened here";
    const std::string online = tables(std::string(kRouteHeader) + kEthernetDefaultRoute, "");
    EXPECT_TRUE(internetAvailable(watchedSetup(online, {"nothing.invalid", "127.0.0.1", "localhost"})));
    EXPECT_EQ(pinged, (std::vector<std::string>{"nothing.invalid", "127.0.0.1"}));
}

TEST_F(ProbeTest, NoAnsweringHostOrAFailingEchoAnswersFalse)
{
    const std::string online = tables(std::string(kRouteHeader) + kEthernetDefaultRoute, "");
    EXPECT_FALSE(internetAvailable(watchedSetup(online, {"nothing.invalid", "also.nothing.invalid"})));
    EXPECT_EQ(pinged.size(), 2u);

    ProbeSetup failing = watchedSetup(online, {"127.0.0.1"});
    failing.ping = [](const std::string&) -> bool { throw std::runtime_error("echo failed"); };
    EXPECT_FALSE(internetAvailable(failing));
}

TEST_F(ProbeTest, LookUpGivesTheFirstIpv4AddressOrZeroWithoutRaising)
{
    EXPECT_EQ(hostToIP("127.0.0.1"), (IPv4Address{127, 0, 0, 1}));
    EXPECT_EQ(hostToIP("127.1.2.3"), (IPv4Address{127, 1, 2, 3}));
    EXPECT_EQ(hostToIP("nothing.invalid"), IPv4Address{});
    EXPECT_EQ(hostToIP(""), IPv4Address{});
    EXPECT_NO_THROW(EXPECT_FALSE(pingHost("nothing.invalid")));
}

TEST_F(ProbeTest, LoopbackAnswersAnEcho)
{
    if (!icmpSocketsAvailable())
        GTEST_SKIP() << "neither a datagram nor a raw ICMP socket can be opened here";
    EXPECT_TRUE(pingHost("127.0.0.1"));
}

TEST_F(ProbeTest, ProbeReadsItsHostsFromTheEnvironment)
{
    if (!icmpSocketsAvailable())
        GTEST_SKIP() << "neither a datagram nor a raw ICMP socket can be opened here";
    OfflineTestFunction inetIsOffline;
    if (!loadLibFunction(kOfflineTestLibrary, kOfflineTestFunction, inetIsOffline) || inetIsOffline(0) != 0)
        GTEST_SKIP() << "this machine has no route besides loopback";
    ScopedEnvironment hosts("TWINSPOTTER_PROBE_HOSTS", "127.0.0.1");
    EXPECT_TRUE(internetAvailable());
}

} // namespace
} // namespace twinspotter::test
