// A loopback server that answers every request with the same bytes, as written: for answers no HTTP library sends.
#pragma once

#include "tests/support/TestSystem.h"

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>

namespace twinspotter::test {

class RawAnswerServer
{
public:
    explicit RawAnswerServer(std::string answer)
        : m_answer(std::move(answer)), m_fd((socketsStarted(), ::socket(AF_INET, SOCK_STREAM, 0)))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (m_fd == kNoSocket || ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(m_fd, 8) != 0 || ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            throw std::runtime_error("raw answer server could not listen on 127.0.0.1");
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~RawAnswerServer()
    {
        m_stop = true;
        m_thread.join();
        closeSocket(m_fd);
    }
    RawAnswerServer(const RawAnswerServer&) = delete;
    RawAnswerServer& operator=(const RawAnswerServer&) = delete;

    std::string address() const { return "http://127.0.0.1:" + std::to_string(m_port); }

private:
    void serve()
    {
        while (!m_stop) {
            SocketPoll waiting{m_fd, POLLIN, 0};
            if (pollSockets(&waiting, 1, 20) <= 0)
                continue;
            const SocketHandle client = ::accept(m_fd, nullptr, nullptr);
            if (client == kNoSocket)
                continue;
            std::string request;
            char buffer[4096];
            while (request.find("\r\n\r\n") == std::string::npos) {
                const auto n = ::recv(client, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                request.append(buffer, static_cast<std::size_t>(n));
            }
            for (std::size_t sent = 0; sent < m_answer.size();) {
                const auto n =
                    ::send(client, m_answer.data() + sent, static_cast<int>(m_answer.size() - sent), kSendFlags);
                if (n <= 0)
                    break;
                sent += static_cast<std::size_t>(n);
            }
            closeSocket(client);
        }
    }

    std::string m_answer;
    SocketHandle m_fd;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace twinspotter::test
