// One blocking HTTP GET; the only door to libcurl, so that nothing else in the program sees its headers.
#pragma once

#include <optional>
#include <string>

namespace twinspotter {

/// GETs url with a fresh client and returns the whole body. authorization, when given, is sent as the value of
/// the Authorization header. Connect time-out 10 s, whole request 60 s; loopback never goes through a proxy.
/// Throws HttpStatusError for a final status outside 200-299, WebError for every other failure.
std::string HttpGet(const std::string& url, const std::optional<std::string>& authorization, bool followRedirects);

} // namespace twinspotter
