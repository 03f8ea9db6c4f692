// The libcurl easy-interface implementation of the program's single HTTP GET.
#include "online/HttpClient.h"

#include "online/OnlineHost.h"
#include "online/Waiting.h"
#include "online/WebText.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>

namespace twinspotter {

namespace {

constexpr long kConnectTimeoutSeconds = 10;
constexpr long kMaxRedirects = 10;

struct EasyDeleter
{
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

struct MultiDeleter
{
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};

// Takes the easy handle out of the multi handle before either is cleaned up, also when a wait was cancelled.
struct Attachment
{
    CURLM* multi;
    CURL* easy;
    ~Attachment() { curl_multi_remove_handle(multi, easy); }
};

struct ListDeleter
{
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// Where the body goes. libcurl is C: nothing may be thrown through it, so a failure inside a callback is kept here
// and rethrown once curl_easy_perform() has returned.
struct BodySink
{
    std::string body;
    std::size_t limit = 0;
    bool tooLarge = false;
    std::exception_ptr failure;
};

std::size_t appendBody(char* data, std::size_t size, std::size_t count, void* target) noexcept
{
    auto& sink = *static_cast<BodySink*>(target);
    const std::size_t bytes = size * count;
    if (bytes > sink.limit - sink.body.size()) {
        sink.tooLarge = true;
        return 0; // anything but bytes ends the transfer
    }
    try {
        sink.body.append(data, bytes);
    } catch (...) {
        sink.failure = std::current_exception();
        return 0;
    }
    return bytes;
}

struct StatusSink
{
    std::string line;
    std::exception_ptr failure;
};

// Keeps the last status line, so that a failure after redirects names the answer that ended the request.
std::size_t keepStatusLine(char* data, std::size_t size, std::size_t count, void* target) noexcept
{
    auto& sink = *static_cast<StatusSink*>(target);
    const std::string_view line(data, size * count);
    if (line.rfind("HTTP/", 0) != 0)
        return size * count;
    try {
        sink.line.assign(line.substr(0, line.find_first_of("\r\n")));
    } catch (...) {
        sink.failure = std::current_exception();
        return 0;
    }
    return size * count;
}

// "64 KiB", "64 MiB", "512 bytes": a limit as the error message names it.
std::string sizeText(std::size_t bytes)
{
    if (bytes >= 1024 * 1024 && bytes % (1024 * 1024) == 0)
        return std::to_string(bytes / (1024 * 1024)) + " MiB";
    if (bytes >= 1024 && bytes % 1024 == 0)
        return std::to_string(bytes / 1024) + " KiB";
    return std::to_string(bytes) + " bytes";
}

void check(CURLcode code)
{
    if (code != CURLE_OK)
        throw WebError(std::string("HTTP client set-up failed: ") + curl_easy_strerror(code));
}

void check(CURLMcode code)
{
    if (code != CURLM_OK)
        throw WebError(std::string("HTTP client failed: ") + curl_multi_strerror(code));
}

std::uint64_t downloadInfo(CURL* curl, CURLINFO what)
{
    curl_off_t value = 0;
    return curl_easy_getinfo(curl, what, &value) == CURLE_OK && value > 0 ? static_cast<std::uint64_t>(value) : 0;
}

// Runs the transfer on the window's thread in short slices: between them the window is serviced, the user may end
// the wait, and the time rule is applied. Returns libcurl's result for the transfer.
CURLcode perform(CURL* curl, const std::string& url, TimeRule rule)
{
    std::optional<OnlineAction> standalone;
    OnlineAction* action = OnlineAction::current();
    if (!action)
        action = &standalone.emplace(kReportBudget);
    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    if (!multi)
        throw WebError("HTTP client could not be created");
    check(curl_multi_add_handle(multi.get(), curl));
    const Attachment attached{multi.get(), curl};

    const auto stallTime = currentOnlineHost().timeLimit(kDownloadStallTime);
    const std::uint64_t leastPerStall = kDownloadMinimumRate * static_cast<std::uint64_t>(stallTime.count()) / 1000;
    auto stallStart = std::chrono::steady_clock::now();
    std::uint64_t receivedAtStallStart = 0;
    for (;;) {
        const auto before = std::chrono::steady_clock::now();
        int running = 0;
        check(curl_multi_perform(multi.get(), &running));
        if (running == 0)
            break;
        auto slice = kWaitSlice;
        if (rule == TimeRule::ActionBudget)
            slice = std::min(slice, action->left());
        check(curl_multi_poll(multi.get(), nullptr, 0, static_cast<int>(slice.count()), nullptr));
        const auto after = std::chrono::steady_clock::now();

        if (rule == TimeRule::ActionBudget) {
            action->spend(after - before);
            if (action->exhausted())
                throw WebError("Could not get " + url + ": no answer within " + durationText(action->budget()));
        } else {
            const std::uint64_t received = downloadInfo(curl, CURLINFO_SIZE_DOWNLOAD_T);
            if (after - stallStart >= stallTime) {
                if (received - receivedAtStallStart < leastPerStall)
                    throw WebError("Could not get " + url + ": less than 1 KB a second arrived for " +
                                   durationText(stallTime) + " (" + std::to_string(received) + " bytes in all)");
                stallStart = after;
                receivedAtStallStart = received;
            }
            if (WaitObserver* observer = action->observer())
                observer->showProgress(received, downloadInfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T));
        }
        action->service();
    }
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued))
        if (message->msg == CURLMSG_DONE && message->easy_handle == curl)
            return message->data.result;
    return CURLE_RECV_ERROR;
}

} // namespace

std::string httpGet(const std::string& url, const std::optional<std::string>& authorization, bool followRedirects,
                    std::size_t maxBodyBytes, TimeRule rule)
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    std::unique_ptr<CURL, EasyDeleter> handle(curl_easy_init());
    if (!handle)
        throw WebError("HTTP client could not be created");
    CURL* curl = handle.get();

    BodySink sink;
    sink.limit = maxBodyBytes;
    // Reserved whole: pages cost memory only once written, and the body is never copied while it grows.
    sink.body.reserve(maxBodyBytes);
    StatusSink status;
    char errorText[CURL_ERROR_SIZE] = {};
    std::unique_ptr<curl_slist, ListDeleter> headers;
    if (authorization) {
        const std::string header = "Authorization: " + *authorization;
        headers.reset(curl_slist_append(nullptr, header.c_str()));
        if (!headers)
            throw WebError("HTTP client could not be created");
    }

    check(curl_easy_setopt(curl, CURLOPT_URL, url.c_str()));
    check(curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L));
    check(curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get()));
    check(curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendBody));
    check(curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink));
    // Refuses a declared length at once; appendBody() catches a body that does not declare one.
    check(curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxBodyBytes)));
    check(curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, keepStatusLine));
    check(curl_easy_setopt(curl, CURLOPT_HEADERDATA, &status));
    check(curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText));
    check(curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, followRedirects ? 1L : 0L));
    check(curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects));
    // A redirect must not turn the updater download into a read of a local file or another protocol.
    check(curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https"));
    check(curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"));
    check(curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds));
    // Signals would interrupt the window's thread; libcurl's threaded resolver bounds a look-up without them.
    check(curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L));
    // A proxy from http_proxy must never see requests for this machine, whatever the user's environment holds.
    check(curl_easy_setopt(curl, CURLOPT_NOPROXY, "localhost,127.0.0.0/8,::1"));

    const CURLcode result = perform(curl, url, rule);
    for (const std::exception_ptr& failure : {sink.failure, status.failure})
        if (failure)
            std::rethrow_exception(failure);
    long code = 0;
    check(curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code));
    const bool ok = code >= 200 && code <= 299;
    const bool tooLarge = sink.tooLarge || result == CURLE_FILESIZE_EXCEEDED;
    // An error page that is too long still carries the status the server meant; only a good answer is "too large".
    if (tooLarge && (ok || code == 0))
        throw WebError("The answer to " + url + " is larger than " + sizeText(maxBodyBytes) +
                       ", more than this program accepts; it was not used");
    if (result != CURLE_OK && !tooLarge) {
        const std::string reason = errorText[0] ? std::string(errorText) : curl_easy_strerror(result);
        throw WebError("Could not get " + url + ": " + reason);
    }
    if (!ok)
        throw HttpStatusError(static_cast<int>(code), status.line, url);
    return std::move(sink.body);
}

} // namespace twinspotter
