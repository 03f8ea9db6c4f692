// The connectivity probe: offline test from the routing tables, host look-up and ICMP echo.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "online/OnlineSettings.h"

namespace twinspotter {

/// An IPv4 address as four bytes in network order; all zero means "not resolved".
using IPv4Address = std::array<std::uint8_t, 4>;

/// The offline test: called with flags 0, answers non-zero when the system is offline.
using OfflineTestFunction = std::function<std::uint32_t(std::uint32_t flags)>;

#ifdef _WIN32
/// Where the offline test lives on Windows: the system's own InetIsOffline.
inline constexpr const char* kOfflineTestLibrary = "url.dll";
#else
/// Where the offline test lives on Linux: the kernel's routing tables, separated by ":".
inline constexpr const char* kOfflineTestLibrary = "/proc/net/route:/proc/net/ipv6_route";
#endif
inline constexpr const char* kOfflineTestFunction = "InetIsOffline";

/// Loads the offline test named function from library. On Linux library is a ":"-separated list of routing-table
/// files: true, with entry set, when the function is known and at least one table can be read; the loaded test reads
/// the tables afresh at every call and reports offline when no readable table holds a route that is up through an
/// interface other than loopback. On Windows library is a DLL and function its export, loaded as the system loads
/// them. False, entry untouched, otherwise.
bool loadLibFunction(const std::string& library, const std::string& function, OfflineTestFunction& entry);

/// The host's first IPv4 address, or all zero when the name does not resolve. Never throws.
IPv4Address hostToIP(const std::string& hostName);

/// Sends one ICMP echo request to the host and waits up to 1000 ms for its reply. False when no ICMP socket can be
/// opened (datagram, else raw; on Windows the ICMP helper, IcmpSendEcho2), when the name does not resolve (nothing is
/// sent then) or when no reply comes. The look-up and the wait are serviced like a request (Waiting.h): WaitCancelled
/// when the user ends the wait, and an error when the action's budget is used up; nothing else is thrown.
bool pingHost(const std::string& hostName);

/// What the probe uses; tests point it at their own routing tables and watch the echoes.
struct ProbeSetup
{
    std::string offlineTestLibrary = kOfflineTestLibrary;
    std::vector<std::string> hosts = probeHosts();
    std::function<bool(const std::string&)> ping = pingHost;
};

/// True when the offline test reports the system online and one of the probe hosts, tried in order, answers an
/// echo; the first answer ends the probe. A missing offline test, an offline system (no echo is sent then) or any
/// error counts as false, and so does a budget used up. Throws only WaitCancelled. Takes up to one second per host
/// that does not answer.
bool internetAvailable();
bool internetAvailable(const ProbeSetup& setup);

} // namespace twinspotter
