// Default behaviour of the online services' host for a program without a window.
#include "online/OnlineHost.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <iostream>
#include <system_error>
#include <thread>

extern char** environ;

namespace twinspotter {

std::chrono::system_clock::time_point OnlineHost::now()
{
    return std::chrono::system_clock::now();
}

TimeOfDay OnlineHost::localTimeOfDay()
{
    const std::time_t t = std::chrono::system_clock::to_time_t(now());
    std::tm local{};
    localtime_r(&t, &local);
    return TimeOfDay{local.tm_hour, local.tm_min, local.tm_sec};
}

std::filesystem::path OnlineHost::programDirectory()
{
    std::error_code error;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        exe = std::filesystem::current_path(error) / "twinspotter";
    // A trailing empty element makes the path end in "/", so file names join directly.
    return exe.parent_path() / "";
}

void OnlineHost::open(const std::string& target)
{
    pid_t pid = 0;
    std::string program = "xdg-open";
    char* argv[] = {program.data(), const_cast<char*>(target.c_str()), nullptr};
    if (posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0)
        return; // like the shell's "Open", a start that fails is not looked at
    // Reap the child in the background so that it leaves no zombie and the caller never waits for it.
    std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
}

void OnlineHost::requestQuit()
{
    m_quitRequested = true;
}

void OnlineHost::showMessage(const std::string& text)
{
    std::cout << text << std::endl;
}

namespace {

OnlineHost& defaultHost()
{
    static OnlineHost host;
    return host;
}

OnlineHost* currentHost = nullptr;

} // namespace

void SetOnlineHost(OnlineHost* host)
{
    currentHost = host;
}

OnlineHost& CurrentOnlineHost()
{
    return currentHost ? *currentHost : defaultHost();
}

} // namespace twinspotter
