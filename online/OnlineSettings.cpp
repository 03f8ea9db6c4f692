// The shared online settings and the environment overrides that point them at a test or demo server.
#include "online/OnlineSettings.h"

#include "core/Version.h"

#include <cstdlib>

namespace twinspotter {

std::string productName;
std::string productVersion;
std::string latestVersion;
std::string updaterUrl;
std::string infoUrl;
std::string versionUrl;
std::string contactUsUrl;
std::string appCode;

namespace {

std::string environmentText(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

} // namespace

std::string serverAddress()
{
    std::string address = trimmed(environmentText("TWINSPOTTER_SERVER"));
    if (address.empty())
        address = kDefaultServerAddress;
    while (!address.empty() && address.back() == '/')
        address.pop_back();
    return address;
}

std::string serverHostName()
{
    const std::string address = serverAddress();
    std::string::size_type start = address.find("://");
    start = start == std::string::npos ? 0 : start + 3;
    std::string host = address.substr(start, address.find('/', start) - start);
    // An IPv6 literal keeps its brackets and colons; only a trailing ":port" goes.
    const auto colon = host.rfind(':');
    if (colon != std::string::npos && host.find(']', colon) == std::string::npos)
        host.erase(colon);
    return host;
}

std::string siteRootAddress()
{
    const std::string address = serverAddress();
    const auto schemeEnd = address.find("://");
    const auto pathStart = address.find('/', schemeEnd == std::string::npos ? 0 : schemeEnd + 3);
    return address.substr(0, pathStart);
}

std::vector<std::string> probeHosts()
{
    const std::string list = environmentText("TWINSPOTTER_PROBE_HOSTS");
    std::vector<std::string> hosts;
    std::string::size_type start = 0;
    while (start <= list.size()) {
        auto end = list.find(',', start);
        if (end == std::string::npos)
            end = list.size();
        std::string host = trimmed(list.substr(start, end - start));
        if (!host.empty())
            hosts.push_back(std::move(host));
        start = end + 1;
    }
    if (hosts.empty())
        hosts.assign(std::begin(kDefaultProbeHosts), std::end(kDefaultProbeHosts));
    return hosts;
}

void fillOnlineSettings()
{
    const std::string server = serverAddress();
    productName = "Twinspotter";
    productVersion = kVersion;
    latestVersion.clear();
    updaterUrl = server + "/downloads/twinspotter/TwinspotterUpdate.exe?ts=<timestamp>";
    infoUrl = server + "/downloads/twinspotter/twinspotter.txt?ts=<timestamp>";
    versionUrl = server + "/downloads/twinspotter/version.txt?ts=<timestamp>";
    contactUsUrl = server + "/downloads/twinspotter/contactus.txt?ts=";
    appCode.clear();
}

} // namespace twinspotter
