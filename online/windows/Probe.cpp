// The connectivity probe's Windows side: InetIsOffline from url.dll, getaddrinfo through Winsock and the system's
// ICMP helper (IcmpSendEcho2), which needs no rights a user lacks.
#include "online/Probe.h"

#include "core/ScopeExit.h"
#include "core/windows/WinText.h"
#include "online/ProbeWait.h"

#include <winsock2.h>
#include <ws2tcpip.h>
// After winsock2.h, which it builds on.
#include <iphlpapi.h>

// After iphlpapi.h, which declares its types.
#include <icmpapi.h>

#include <chrono>
#include <cstring>
#include <memory>

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

// What one echo needs while it is under way. The system writes the reply into it until the request completes, so it
// is freed only then: a request still running when the wait gives up keeps it (a few hundred bytes, once per lost
// echo).
struct Echo
{
    char payload[32] = "twinspotter";
    unsigned char reply[sizeof(ICMP_ECHO_REPLY) + sizeof payload + 8 + 64];
};

bool answeredBy(const Echo& echo, IPAddr to)
{
    ICMP_ECHO_REPLY first{};
    std::memcpy(&first, echo.reply, sizeof first);
    return first.Status == IP_SUCCESS && first.Address == to;
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
    IPAddr to = 0;
    std::memcpy(&to, address.data(), address.size());
    const HANDLE icmp = ::IcmpCreateFile();
    if (icmp == INVALID_HANDLE_VALUE)
        return false;
    const UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) {
        ::IcmpCloseHandle(icmp);
        return false;
    }
    // Sent without blocking: the event is set once the reply or the echo's own timeout is in. The wait is this
    // thread's, in slices, so the window is serviced and a cancel or a spent budget ends it at once; it keeps to the
    // second even where the system does not (Wine's echo now and then never completes).
    auto* echo = new Echo;
    bool completed = false;
    const ScopeExit release([&] {
        ::IcmpCloseHandle(icmp);
        if (completed)
            delete echo;
    });
    const DWORD sent = ::IcmpSendEcho2(icmp, event.get(), nullptr, nullptr, to, echo->payload, sizeof echo->payload,
                                       nullptr, echo->reply, sizeof echo->reply, kEchoWaitMs);
    // Under way is said either way: as the value itself, or as zero with ERROR_IO_PENDING (Wine); a single echo
    // never has that many replies.
    const bool underWay = sent == ERROR_IO_PENDING || (sent == 0 && ::GetLastError() == ERROR_IO_PENDING);
    if (!underWay) {
        completed = true;
        return sent != 0 && answeredBy(*echo, to);
    }
    const auto start = std::chrono::steady_clock::now();
    const auto limit = std::chrono::milliseconds(kEchoWaitMs) + 2 * kWaitSlice;
    for (;;) {
        const auto before = std::chrono::steady_clock::now();
        if (::WaitForSingleObject(event.get(), static_cast<DWORD>(kWaitSlice.count())) == WAIT_OBJECT_0) {
            completed = true;
            return ::IcmpParseReplies(echo->reply, sizeof echo->reply) > 0 && answeredBy(*echo, to);
        }
        afterSlice(std::chrono::steady_clock::now() - before);
        if (std::chrono::steady_clock::now() - start >= limit)
            return false;
    }
}

} // namespace twinspotter
