// The connectivity probe's Windows side: InetIsOffline from url.dll, getaddrinfo through Winsock and the system's
// ICMP helper (IcmpSendEcho), which needs no rights a user lacks.
#include "online/Probe.h"

#include "core/windows/WinText.h"
#include "online/ProbeWait.h"

#include <winsock2.h>
#include <ws2tcpip.h>
// After winsock2.h, which it builds on.
#include <iphlpapi.h>

// After iphlpapi.h, which declares its types.
#include <icmpapi.h>

#include <cstring>
#include <memory>
#include <vector>

namespace twinspotter {

namespace {

constexpr DWORD kEchoWaitMs = 1000;

// Winsock must be started once before getaddrinfo; it stays started for the life of the process.
bool winsockStarted()
{
    static const bool started = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

// Sends the echo and waits for it (at most kEchoWaitMs); runs on a thread of its own, so its buffers are its own.
bool echoAnswered(const IPv4Address& address)
{
    const HANDLE icmp = ::IcmpCreateFile();
    if (icmp == INVALID_HANDLE_VALUE)
        return false;
    IPAddr to = 0;
    std::memcpy(&to, address.data(), address.size());
    char payload[32] = "twinspotter";
    std::vector<unsigned char> reply(sizeof(ICMP_ECHO_REPLY) + sizeof payload + 8 + 64);
    const DWORD replies = ::IcmpSendEcho(icmp, to, payload, sizeof payload, nullptr, reply.data(),
                                         static_cast<DWORD>(reply.size()), kEchoWaitMs);
    bool answered = false;
    if (replies > 0) {
        ICMP_ECHO_REPLY first{};
        std::memcpy(&first, reply.data(), sizeof first);
        answered = first.Status == IP_SUCCESS && first.Address == to;
    }
    ::IcmpCloseHandle(icmp);
    return answered;
}

} // namespace

bool loadLibFunction(const std::string& library, const std::string& function, OfflineTestFunction& entry)
{
    if (function != kOfflineTestFunction)
        return false;
    // The module stays loaded for the life of the process, as the offline test may be called again.
    const HMODULE module = ::LoadLibraryExW(toWide(library).c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!module)
        return false;
    using InetIsOffline = BOOL(WINAPI*)(DWORD);
    const auto test =
        reinterpret_cast<InetIsOffline>(reinterpret_cast<void*>(::GetProcAddress(module, function.c_str())));
    if (!test)
        return false;
    entry = [test](std::uint32_t flags) { return static_cast<std::uint32_t>(test(flags) ? 1 : 0); };
    return true;
}

IPv4Address hostToIP(const std::string& hostName)
{
    IPv4Address address{};
    // Windows resolves an empty name to the machine itself, which would answer every echo.
    if (hostName.empty() || !winsockStarted())
        return address;
    // An address written out needs no resolver, which may be slow or busy with another name.
    in_addr literal{};
    if (::InetPtonW(AF_INET, toWide(hostName).c_str(), &literal) == 1) {
        std::memcpy(address.data(), &literal, address.size());
        return address;
    }
    addrinfoW hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM; // one entry per address instead of one per socket type
    addrinfoW* found = nullptr;
    if (::GetAddrInfoW(toWide(hostName).c_str(), nullptr, &hints, &found) != 0 || !found)
        return address;
    if (found->ai_addr && found->ai_addr->sa_family == AF_INET) {
        sockaddr_in in{};
        std::memcpy(&in, found->ai_addr, sizeof in);
        std::memcpy(address.data(), &in.sin_addr, address.size());
    }
    ::FreeAddrInfoW(found);
    return address;
}

bool pingHost(const std::string& hostName)
{
    const IPv4Address address = runServiced<IPv4Address>([hostName] { return hostToIP(hostName); });
    // 0.0.0.0 is what a name that never resolved leaves; it must not count as an answer.
    if (address == IPv4Address{})
        return false;
    // IcmpSendEcho blocks for up to a second: on its own thread, the window is serviced meanwhile, and a cancel or
    // a spent budget ends the wait at once while the echo finishes by itself.
    return runServiced<bool>([address] { return echoAnswered(address); });
}

} // namespace twinspotter
