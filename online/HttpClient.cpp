// The libcurl easy-interface implementation of the program's single HTTP GET.
#include "online/HttpClient.h"

#include "online/WebText.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace twinspotter {

namespace {

constexpr long kConnectTimeoutSeconds = 10;
constexpr long kRequestTimeoutSeconds = 60;
constexpr long kMaxRedirects = 10;

struct EasyDeleter
{
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

struct ListDeleter
{
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

std::size_t appendBody(char* data, std::size_t size, std::size_t count, void* target)
{
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

// Keeps the last status line, so that a failure after redirects names the answer that ended the request.
std::size_t keepStatusLine(char* data, std::size_t size, std::size_t count, void* target)
{
    std::string line(data, size * count);
    if (line.rfind("HTTP/", 0) == 0) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.pop_back();
        *static_cast<std::string*>(target) = line;
    }
    return size * count;
}

void check(CURLcode code)
{
    if (code != CURLE_OK)
        throw WebError(std::string("HTTP client set-up failed: ") + curl_easy_strerror(code));
}

} // namespace

std::string HttpGet(const std::string& url, const std::optional<std::string>& authorization, bool followRedirects)
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    std::unique_ptr<CURL, EasyDeleter> handle(curl_easy_init());
    if (!handle)
        throw WebError("HTTP client could not be created");
    CURL* curl = handle.get();

    std::string body;
    std::string statusLine;
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
    check(curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body));
    check(curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, keepStatusLine));
    check(curl_easy_setopt(curl, CURLOPT_HEADERDATA, &statusLine));
    check(curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText));
    check(curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, followRedirects ? 1L : 0L));
    check(curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects));
    // A redirect must not turn the updater download into a read of a local file or another protocol.
    check(curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https"));
    check(curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"));
    check(curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds));
    check(curl_easy_setopt(curl, CURLOPT_TIMEOUT, kRequestTimeoutSeconds));
    // Signals would interrupt the window's thread; without them a look-up can only be bounded by the time-outs.
    check(curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L));
    // A proxy from http_proxy must never see requests for this machine, whatever the user's environment holds.
    check(curl_easy_setopt(curl, CURLOPT_NOPROXY, "localhost,127.0.0.0/8,::1"));

    const CURLcode result = curl_easy_perform(curl);
    if (result != CURLE_OK) {
        const std::string reason = errorText[0] ? std::string(errorText) : curl_easy_strerror(result);
        throw WebError("Could not get " + url + ": " + reason);
    }
    long status = 0;
    check(curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status));
    if (status < 200 || status > 299)
        throw HttpStatusError(static_cast<int>(status), statusLine, url);
    return body;
}

} // namespace twinspotter
