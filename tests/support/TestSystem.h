// What the online tests need from the system that differs between Linux and Windows: sockets on 127.0.0.1, the
// process's number and the first bytes of a program this machine runs.
#pragma once

#ifdef _WIN32
#include <process.h>
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cstddef>
#include <filesystem>
#include <string>

namespace twinspotter::test {

#ifdef _WIN32
using SocketHandle = SOCKET;
inline constexpr SocketHandle kNoSocket = INVALID_SOCKET;
inline void closeSocket(SocketHandle socket)
{
    ::closesocket(socket);
}
/// Winsock is started once for the test program and stays started.
inline bool socketsStarted()
{
    static const bool started = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}
inline int pollSockets(WSAPOLLFD* sockets, unsigned long count, int milliseconds)
{
    return ::WSAPoll(sockets, count, milliseconds);
}
using SocketPoll = WSAPOLLFD;
inline constexpr int kSendFlags = 0;
inline int processId()
{
    return ::_getpid();
}
#else
using SocketHandle = int;
inline constexpr SocketHandle kNoSocket = -1;
inline void closeSocket(SocketHandle socket)
{
    ::close(socket);
}
inline bool socketsStarted()
{
    return true;
}
inline int pollSockets(pollfd* sockets, nfds_t count, int milliseconds)
{
    return ::poll(sockets, count, milliseconds);
}
using SocketPoll = pollfd;
inline constexpr int kSendFlags = MSG_NOSIGNAL;
inline int processId()
{
    return ::getpid();
}
#endif

/// The running test program's own file.
inline std::filesystem::path ownProgram()
{
#ifdef _WIN32
    wchar_t name[32768] = {};
    ::GetModuleFileNameW(nullptr, name, 32768);
    return name;
#else
    return "/proc/self/exe";
#endif
}

/// Where a program's header names the machine it is for: ELF's e_machine, or the PE header's Machine field.
inline std::size_t machineOffset(const std::string& image)
{
#ifdef _WIN32
    const auto at = [&image](std::size_t i) { return static_cast<std::size_t>(static_cast<unsigned char>(image[i])); };
    return (at(0x3C) | at(0x3D) << 8 | at(0x3E) << 16) + 4;
#else
    (void)image;
    return 18;
#endif
}

/// The start of a file the updater accepts as a program for this machine: a script on Linux, on Windows the headers
/// of an x86-64 PE image (what follows them is never run by the tests).
inline std::string programStart()
{
#ifdef _WIN32
    std::string image(0x40, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    image[0x3C] = 0x40; // the PE header follows at once
    image += std::string("PE\0\0\x64\x86", 6);
    return image + "\n";
#else
    return "#!/bin/sh\n";
#endif
}

} // namespace twinspotter::test
