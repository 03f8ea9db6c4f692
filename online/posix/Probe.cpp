// The connectivity probe's Linux side: the routing tables as the offline test, getaddrinfo and an ICMP echo on a
// datagram (else raw) ICMP socket.
#include "online/Probe.h"

#include "core/posix/UniqueFd.h"
#include "online/ProbeWait.h"
#include "online/Waiting.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>

namespace twinspotter {

namespace {

constexpr unsigned kRouteUp = 0x0001;     // RTF_UP
constexpr unsigned kRouteReject = 0x0200; // RTF_REJECT: the kernel's "unreachable" entries lead nowhere
constexpr auto kEchoWait = std::chrono::milliseconds(1000);

std::vector<std::string> splitTables(const std::string& library)
{
    std::vector<std::string> tables;
    std::stringstream list(library);
    std::string table;
    while (std::getline(list, table, ':'))
        if (!table.empty())
            tables.push_back(table);
    return tables;
}

// One line of /proc/net/route ("Iface Destination Gateway Flags ...", after a header line) or of
// /proc/net/ipv6_route (ten fields, flags ninth, interface last, no header).
bool lineIsUsableRoute(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> fields;
    for (std::string field; in >> field;)
        fields.push_back(field);
    std::string interface;
    std::string flagsText;
    if (fields.size() == 10 && fields[0].size() == 32) {
        flagsText = fields[8];
        interface = fields[9];
    } else if (fields.size() >= 4) {
        interface = fields[0];
        flagsText = fields[3];
    } else {
        return false;
    }
    // The whole field must be hex: stoul alone would read the "F" of the IPv4 table's "Flags" heading.
    if (flagsText.empty() || flagsText.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    const unsigned long flags = std::stoul(flagsText, nullptr, 16);
    return interface != "lo" && (flags & kRouteUp) && !(flags & kRouteReject);
}

std::uint32_t systemIsOffline(const std::vector<std::string>& tables)
{
    for (const auto& table : tables) {
        std::ifstream in(table);
        for (std::string line; std::getline(in, line);)
            if (lineIsUsableRoute(line))
                return 0;
    }
    return 1;
}

std::uint16_t internetChecksum(const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        sum += static_cast<std::uint32_t>(bytes[i] << 8 | bytes[i + 1]);
    if (size % 2)
        sum += static_cast<std::uint32_t>(bytes[size - 1] << 8);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return htons(static_cast<std::uint16_t>(~sum));
}

// On a raw socket every ICMP packet of the machine arrives, with its IP header: pick out the answer to our echo.
bool isOurReply(const std::uint8_t* packet, std::size_t size, bool raw, const in_addr& to, std::uint16_t id,
                std::uint16_t sequence)
{
    if (!raw) // the kernel hands a datagram ICMP socket only the replies to its own echoes
        return size >= sizeof(icmphdr) && packet[0] == ICMP_ECHOREPLY;
    if (size < sizeof(iphdr))
        return false;
    iphdr ip{};
    std::memcpy(&ip, packet, sizeof ip);
    const std::size_t headerSize = ip.ihl * 4u;
    if (size < headerSize + sizeof(icmphdr) || ip.saddr != to.s_addr)
        return false;
    icmphdr icmp{};
    std::memcpy(&icmp, packet + headerSize, sizeof icmp);
    return icmp.type == ICMP_ECHOREPLY && icmp.un.echo.id == id && icmp.un.echo.sequence == sequence;
}

} // namespace

bool loadLibFunction(const std::string& library, const std::string& function, OfflineTestFunction& entry)
{
    if (function != kOfflineTestFunction)
        return false;
    const std::vector<std::string> tables = splitTables(library);
    bool readable = false;
    for (const auto& table : tables)
        readable = readable || std::ifstream(table).is_open();
    if (!readable)
        return false;
    entry = [tables](std::uint32_t /*flags*/) { return systemIsOffline(tables); };
    return true;
}

IPv4Address hostToIP(const std::string& hostName)
{
    IPv4Address address{};
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM; // one entry per address instead of one per socket type
    addrinfo* found = nullptr;
    if (getaddrinfo(hostName.c_str(), nullptr, &hints, &found) != 0 || !found)
        return address;
    if (found->ai_addr && found->ai_addr->sa_family == AF_INET) {
        sockaddr_in in{};
        std::memcpy(&in, found->ai_addr, sizeof in);
        std::memcpy(address.data(), &in.sin_addr, address.size());
    }
    freeaddrinfo(found);
    return address;
}

bool pingHost(const std::string& hostName)
{
    bool raw = false;
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) {
        fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        raw = true;
    }
    const UniqueFd socket(fd);
    if (!socket)
        return false;

    const IPv4Address address = runServiced<IPv4Address>([hostName] { return hostToIP(hostName); });
    // Linux delivers a packet for 0.0.0.0 to the machine itself, which would answer for a name that never resolved.
    if (address == IPv4Address{})
        return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    std::memcpy(&to.sin_addr, address.data(), address.size());

    static std::atomic<std::uint16_t> nextSequence{0};
    icmphdr echo{};
    echo.type = ICMP_ECHO;
    echo.code = 0;
    echo.un.echo.id = htons(static_cast<std::uint16_t>(::getpid()));
    echo.un.echo.sequence = htons(++nextSequence);
    echo.checksum = internetChecksum(&echo, sizeof echo);
    if (::sendto(fd, &echo, sizeof echo, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0)
        return false;

    const auto deadline = std::chrono::steady_clock::now() + kEchoWait;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd waiting{fd, POLLIN, 0};
        const auto before = std::chrono::steady_clock::now();
        const int ready = ::poll(&waiting, 1, static_cast<int>(std::min(left, kWaitSlice).count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return false;
        if (ready == 0) {
            afterSlice(std::chrono::steady_clock::now() - before);
            continue;
        }
        std::uint8_t packet[1500];
        const ssize_t size = ::recv(fd, packet, sizeof packet, 0);
        if (size < 0)
            return false;
        if (isOurReply(packet, static_cast<std::size_t>(size), raw, to.sin_addr, echo.un.echo.id,
                       echo.un.echo.sequence))
            return true;
    }
}

} // namespace twinspotter
