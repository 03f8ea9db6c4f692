// The "<timestamp>" convention and the HTTP text fetch with its failures.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

#include "online/OnlineHost.h"

namespace twinspotter {

/// A request that did not bring back a body: look-up, connection, transfer or HTTP status failure.
class WebError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// The server answered with a status outside 200-299 (an unfollowed redirect included).
class HttpStatusError : public WebError
{
public:
    HttpStatusError(int status, const std::string& statusLine, const std::string& url);
    int status() const { return m_status; }

private:
    int m_status;
};

/// The longest text the server may send: the version, About and contact texts and the contact script's reply are a
/// few lines, and a longer answer would only fill memory and the window.
inline constexpr std::size_t kMaxTextBytes = 64 * 1024;

/// The decimal text of 31363200 + 3600 h + 60 m + s: always eight digits, the date plays no part.
std::string timestampValue(const TimeOfDay& time);

/// url with its first "<timestamp>" replaced by timestampValue() of the host's local time of day; later
/// placeholders stay, and a url without one comes back unchanged.
std::string insertTimestamp(const std::string& url);

/// "Basic " followed by the Base64 of userName ":" password ("Basic Og==" for two empty texts).
std::string basicAuthorization(const std::string& userName, const std::string& password);

/// One GET for insertTimestamp(url) with a Basic Authorization header (also when both credentials are empty),
/// redirects not followed; returns the body's bytes. Throws HttpStatusError for any status outside 200-299 and
/// WebError for every other failure, a body over kMaxTextBytes included; never returns an empty text in place of a
/// failure.
std::string fetchWebText(const std::string& url, const std::string& userName, const std::string& password);

/// Fetches the version text from versionUrl into latestVersion. A version is one line: a text with a line break is
/// refused as malformed (WebError naming it), and latestVersion keeps its value, as after every failure.
void fetchLatestVersion();

} // namespace twinspotter
