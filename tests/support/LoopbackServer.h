// A stand-in for the maker's web server on 127.0.0.1 that records every request it gets.
#pragma once

#include "tests/support/TestSystem.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace twinspotter::test {

inline constexpr const char* kVersionPath = "/downloads/twinspotter/version.txt";
inline constexpr const char* kInfoPath = "/downloads/twinspotter/twinspotter.txt";
inline constexpr const char* kContactTextPath = "/downloads/twinspotter/contactus.txt";
inline constexpr const char* kUpdaterPath = "/downloads/twinspotter/TwinspotterUpdate.exe";
inline constexpr const char* kContactScriptPath = "/controlcenter/contact_quillnet.php";

/// One request as it arrived: path and query exactly as sent (not decoded), Authorization header if any.
struct RecordedRequest
{
    std::string path;
    std::string query;
    std::optional<std::string> authorization;
};

/// Serves the four download resources and the contact script on a port the system chooses, on a thread of its own.
/// Any path can be made to answer another body, an error status or a redirect; unknown paths answer 404.
class LoopbackServer
{
public:
    static constexpr const char* kDefaultVersion = "1.0.7";
    static constexpr const char* kDefaultInfo = "Twinspotter finds files that exist twice.";
    static constexpr const char* kDefaultContactText = "Write to us: we read every message.";
    static std::string defaultUpdater() { return programStart() + "echo updater\n"; }
    static constexpr const char* kDefaultReply = "Thank you for your message.";

    LoopbackServer()
    {
        serve(kVersionPath, kDefaultVersion);
        serve(kInfoPath, kDefaultInfo);
        serve(kContactTextPath, kDefaultContactText);
        serve(kUpdaterPath, defaultUpdater());
        serve(kContactScriptPath, kDefaultReply);

        m_server.Get(
            ".*", [this](const httplib::Request& request, httplib::Response& response) { answer(request, response); });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        if (m_port <= 0)
            throw std::runtime_error("loopback server could not bind to 127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!m_server.is_running() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    ~LoopbackServer()
    {
        {
            std::lock_guard lock(m_mutex);
            m_releasing = true;
        }
        m_released.notify_all();
        m_server.stop();
        if (m_thread.joinable())
            m_thread.join();
    }

    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return m_port; }
    /// Scheme, host and port, the value for TWINSPOTTER_SERVER.
    std::string address() const { return "http://127.0.0.1:" + std::to_string(m_port); }

    void serve(const std::string& path, const std::string& body) { set(path, Answer{200, body, {}}); }
    void answerStatus(const std::string& path, int status) { set(path, Answer{status, "error page", {}}); }
    void redirect(const std::string& path, const std::string& location, int status = 302)
    {
        set(path, Answer{status, {}, location});
    }
    /// Sends an endless body in chunks, without a declared length, until the client gives up.
    void serveEndless(const std::string& path, int status = 200) { set(path, Answer{status, {}, {}, true}); }
    /// Accepts the request and says nothing for \p silence (or until the server goes), then answers with \p body.
    void stall(const std::string& path, std::chrono::milliseconds silence, const std::string& body = "late")
    {
        set(path, Answer{200, body, {}, false, silence});
    }

    /// Sends \p body with its length declared, \p piece bytes every \p interval; after \p silentAfter bytes it says
    /// nothing more until the server goes.
    void trickle(const std::string& path, const std::string& body, std::size_t piece,
                 std::chrono::milliseconds interval, std::size_t silentAfter = std::string::npos)
    {
        Answer answer{200, body, {}};
        answer.piece = piece;
        answer.interval = interval;
        answer.silentAfter = silentAfter;
        set(path, std::move(answer));
    }

    /// Called on the server's thread after each request is recorded (the standalone server logs with it).
    void onRequest(std::function<void(const RecordedRequest&)> callback)
    {
        std::lock_guard lock(m_mutex);
        m_onRequest = std::move(callback);
    }

    std::vector<RecordedRequest> requests() const
    {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }

    std::vector<RecordedRequest> requestsFor(const std::string& path) const
    {
        std::vector<RecordedRequest> found;
        for (const auto& request : requests())
            if (request.path == path)
                found.push_back(request);
        return found;
    }

    void clearRequests()
    {
        std::lock_guard lock(m_mutex);
        m_requests.clear();
    }

private:
    struct Answer
    {
        int status = 200;
        std::string body;
        std::string location;
        bool endless = false;
        std::chrono::milliseconds silence{0};
        std::size_t piece = 0; ///< trickled when not 0
        std::chrono::milliseconds interval{0};
        std::size_t silentAfter = std::string::npos;
    };

    /// Waits \p time or until the server goes; false when it goes.
    bool pause(std::chrono::milliseconds time)
    {
        std::unique_lock lock(m_mutex);
        return !m_released.wait_for(lock, time, [this] { return m_releasing; });
    }

    void set(const std::string& path, Answer answer)
    {
        std::lock_guard lock(m_mutex);
        m_answers[path] = std::move(answer);
    }

    void answer(const httplib::Request& request, httplib::Response& response)
    {
        // The target is the request line's raw text; request.path has been percent-decoded already.
        RecordedRequest recorded;
        const auto question = request.target.find('?');
        recorded.path = request.target.substr(0, question);
        recorded.query = question == std::string::npos ? std::string() : request.target.substr(question + 1);
        if (request.has_header("Authorization"))
            recorded.authorization = request.get_header_value("Authorization");

        std::function<void(const RecordedRequest&)> callback;
        Answer answer{404, "not found", {}};
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(recorded);
            callback = m_onRequest;
            if (auto found = m_answers.find(recorded.path); found != m_answers.end())
                answer = found->second;
        }
        if (callback)
            callback(recorded);
        if (answer.silence.count() > 0) {
            std::unique_lock lock(m_mutex);
            m_released.wait_for(lock, answer.silence, [this] { return m_releasing; });
        }

        if (!answer.location.empty()) {
            response.set_redirect(answer.location, answer.status);
            return;
        }
        response.status = answer.status;
        if (answer.piece > 0) {
            response.set_content_provider(
                answer.body.size(), "application/octet-stream",
                [this, answer](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                    if (offset >= answer.silentAfter) {
                        pause(std::chrono::hours(1));
                        return false;
                    }
                    if (!pause(answer.interval))
                        return false;
                    const std::size_t n = std::min({answer.piece, length, answer.silentAfter - offset});
                    return sink.write(answer.body.data() + offset, n);
                });
            return;
        }
        if (answer.endless) {
            response.set_chunked_content_provider("application/octet-stream", [](std::size_t, httplib::DataSink& sink) {
                static const std::string chunk(64 * 1024, 'x');
                return sink.write(chunk.data(), chunk.size());
            });
            return;
        }
        response.set_content(answer.body, "text/plain");
    }

    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    mutable std::mutex m_mutex;
    std::map<std::string, Answer> m_answers;
    std::vector<RecordedRequest> m_requests;
    std::function<void(const RecordedRequest&)> m_onRequest;
    std::condition_variable m_released;
    bool m_releasing = false;
};

} // namespace twinspotter::test
