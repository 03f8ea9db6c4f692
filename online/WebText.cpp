// The "<timestamp>" convention and the authenticated text fetch every online action is built on.
#include "online/WebText.h"

#include "online/HttpClient.h"
#include "online/OnlineSettings.h"
#include "online/ShownText.h"

namespace twinspotter {

namespace {

// The most of a status line that an error message quotes.
constexpr std::size_t kShownStatusLine = 120;

// Seconds from the start of 1899 to midnight of 30 December 1899: the clock's time of day is added to it.
constexpr long kTimestampBase = 363L * 86400L;

std::string describeStatus(int status, const std::string& statusLine, const std::string& url)
{
    // The reason phrase is the server's to choose: escaped, and cut short enough for one line of a box.
    const std::string answer =
        statusLine.empty() ? "HTTP status " + std::to_string(status) : shownText(statusLine, false, kShownStatusLine);
    return "The server answered " + answer + " for " + url;
}

std::string base64(const std::string& bytes)
{
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned n = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8 |
                           static_cast<unsigned char>(bytes[i + 2]);
        out += alphabet[n >> 18 & 63];
        out += alphabet[n >> 12 & 63];
        out += alphabet[n >> 6 & 63];
        out += alphabet[n & 63];
    }
    if (i + 1 == bytes.size()) {
        const unsigned n = static_cast<unsigned char>(bytes[i]) << 16;
        out += alphabet[n >> 18 & 63];
        out += alphabet[n >> 12 & 63];
        out += "==";
    } else if (i + 2 == bytes.size()) {
        const unsigned n = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += alphabet[n >> 18 & 63];
        out += alphabet[n >> 12 & 63];
        out += alphabet[n >> 6 & 63];
        out += '=';
    }
    return out;
}

} // namespace

HttpStatusError::HttpStatusError(int status, const std::string& statusLine, const std::string& url)
    : WebError(describeStatus(status, statusLine, url)), m_status(status)
{
}

std::string timestampValue(const TimeOfDay& time)
{
    return std::to_string(kTimestampBase + 3600L * time.hour + 60L * time.minute + time.second);
}

std::string insertTimestamp(const std::string& url)
{
    static constexpr std::string_view placeholder = "<timestamp>";
    std::string result = url;
    const auto at = result.find(placeholder);
    if (at != std::string::npos)
        result.replace(at, placeholder.size(), timestampValue(currentOnlineHost().localTimeOfDay()));
    return result;
}

std::string basicAuthorization(const std::string& userName, const std::string& password)
{
    return "Basic " + base64(userName + ":" + password);
}

std::string fetchWebText(const std::string& url, const std::string& userName, const std::string& password)
{
    return httpGet(insertTimestamp(url), basicAuthorization(userName, password), false, kMaxTextBytes);
}

void fetchLatestVersion()
{
    std::string version = fetchWebText(versionUrl, "", "");
    if (holdsLineBreak(version))
        throw WebError("The server's version text is malformed: a version is one line, not '" +
                       shownText(version, false, 60) + "'");
    latestVersion = std::move(version);
}

} // namespace twinspotter
