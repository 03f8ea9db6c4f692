// One blocking HTTP GET; the only door to libcurl, so that nothing else in the program sees its headers.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace twinspotter {

/// How long a request may wait.
enum class TimeRule {
    ActionBudget, ///< within what is left of the budget of the action in force (kReportBudget outside any)
    Download,     ///< for as long as it receives kDownloadMinimumRate over kDownloadStallTime, with its progress shown
};

/// GETs url with a fresh client and returns the whole body. authorization, when given, is sent as the value of
/// the Authorization header. Connect time-out 10 s; loopback never goes through a proxy. A body of more than
/// maxBodyBytes ends the transfer: the request fails, and no more than that is ever held in memory. Waits in slices
/// of kWaitSlice, servicing the action's observer between them.
/// Throws HttpStatusError for a final status outside 200-299, WaitCancelled when the user ended the wait, WebError
/// for every other failure (the time rule's included).
std::string httpGet(const std::string& url, const std::optional<std::string>& authorization, bool followRedirects,
                    std::size_t maxBodyBytes, TimeRule rule = TimeRule::ActionBudget);

} // namespace twinspotter
