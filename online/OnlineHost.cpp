// Default behaviour of the online services' host for a program without a window; what it asks of the system sits in
// posix/OnlineHost.cpp or windows/OnlineHost.cpp.
#include "online/OnlineHost.h"

#include "online/LocalTime.h"

#include <ctime>
#include <iostream>

namespace twinspotter {

std::chrono::system_clock::time_point OnlineHost::now()
{
    return std::chrono::system_clock::now();
}

TimeOfDay OnlineHost::localTimeOfDay()
{
    const std::time_t t = std::chrono::system_clock::to_time_t(now());
    const std::tm local = localTimeOf(t);
    return TimeOfDay{local.tm_hour, local.tm_min, local.tm_sec};
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

void setOnlineHost(OnlineHost* host)
{
    currentHost = host;
}

OnlineHost& currentOnlineHost()
{
    return currentHost ? *currentHost : defaultHost();
}

} // namespace twinspotter
