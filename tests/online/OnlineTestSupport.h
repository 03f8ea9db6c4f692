// Shared fixture of the online tests: a loopback server, a recording host and a scratch program directory.
#pragma once

#include "online/Online.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TestSystem.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace twinspotter::test {

/// Fixes the time of day, the program directory and the request time-out; records what would have been opened,
/// started, quit or shown.
class RecordingHost : public OnlineHost
{
public:
    TimeOfDay time{12, 0, 0};
    std::filesystem::path directory;
    std::vector<std::string> opened;
    std::vector<std::string> started;
    bool reallyStart = false; ///< run programs instead of only recording them
    std::chrono::milliseconds timeout = std::chrono::seconds(60);
    int quitRequests = 0;
    std::vector<std::string> messages;

    TimeOfDay localTimeOfDay() override { return time; }
    std::filesystem::path programDirectory() override { return directory; }
    void open(const std::string& target) override { opened.push_back(target); }
    int startProgram(const std::filesystem::path& program) override
    {
        started.push_back(program.string());
        return reallyStart ? OnlineHost::startProgram(program) : 0;
    }
    std::chrono::milliseconds timeLimit(std::chrono::milliseconds normal) override { return std::min(normal, timeout); }
    void requestQuit() override { ++quitRequests; }
    void showMessage(const std::string& text) override { messages.push_back(text); }
};

inline std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeFile(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

/// What \p action throws, as its text; empty when it returns.
template <typename Action> std::string thrownText(Action action)
{
    try {
        action();
    } catch (const std::exception& error) {
        return error.what();
    }
    return {};
}

class OnlineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_directory = std::filesystem::temp_directory_path() /
                      ("twinspotter-online-" + std::to_string(processId()) + "-" + std::to_string(++s_counter));
        std::filesystem::remove_all(m_directory);
        std::filesystem::create_directories(m_directory);
        host.directory = m_directory / "";
        setOnlineHost(&host);
        fillOnlineSettings();
    }

    void TearDown() override
    {
        setOnlineHost(nullptr);
        std::filesystem::remove_all(m_directory);
    }

    std::filesystem::path dir() const { return m_directory; }

    LoopbackServer server;
    ScopedEnvironment serverVariable{"TWINSPOTTER_SERVER", server.address()};
    RecordingHost host;

private:
    std::filesystem::path m_directory;
    static inline int s_counter = 0;
};

/// A port on 127.0.0.1 that refuses connections: bound, never listening, held for the object's life.
class RefusingPort
{
public:
    RefusingPort() : m_fd((socketsStarted(), ::socket(AF_INET, SOCK_STREAM, 0)))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t size = sizeof address;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size);
        m_port = ntohs(address.sin_port);
    }
    ~RefusingPort() { closeSocket(m_fd); }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    std::string address() const { return "http://127.0.0.1:" + std::to_string(m_port); }

private:
    SocketHandle m_fd;
    int m_port = 0;
};

} // namespace twinspotter::test
