// One blocking HTTP GET; the only door to libcurl, so that nothing else in the program sees its headers.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace twinspotter {

/// GETs url with a fresh client and returns the whole body. authorization, when given, is sent as the value of
/// the Authorization header. Connect time-out 10 s, whole request the host's requestTimeout(); loopback never goes
/// through a proxy. A body of more than maxBodyBytes ends the transfer: the request fails, and no more than that is
/// ever held in memory.
/// Throws HttpStatusError for a final status outside 200-299, WebError for every other failure.
std::string httpGet(const std::string& url, const std::optional<std::string>& authorization, bool followRedirects,
                    std::size_t maxBodyBytes);

} // namespace twinspotter
