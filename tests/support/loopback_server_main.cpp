// twinspotter-test-server: the loopback stand-in for the maker's web server as a process, for end-to-end checks.
#include "tests/support/LoopbackServer.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <mutex>
#include <string>

namespace {

void usage()
{
    std::cerr
        << "usage: twinspotter-test-server [--version TEXT] [--updater FILE] [--answer PATH=STATUS] [--log FILE]\n"
           "Serves the Twinspotter resources on 127.0.0.1 at a port the system chooses, prints the port,\n"
           "logs one line per request (path<TAB>query<TAB>Authorization or -) and runs until SIGINT/SIGTERM.\n"
           "--updater serves FILE as the updater; --answer makes PATH answer with an error STATUS.\n";
}

} // namespace

int main(int argc, char** argv)
{
    std::string version = twinspotter::test::LoopbackServer::kDefaultVersion;
    std::string logPath;
    std::string updater = twinspotter::test::LoopbackServer::defaultUpdater();
    std::string errorPath;
    int errorStatus = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--version" && i + 1 < argc) {
            version = argv[++i];
        } else if (option == "--updater" && i + 1 < argc) {
            std::ifstream in(argv[++i], std::ios::binary);
            updater.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        } else if (option == "--answer" && i + 1 < argc && std::strchr(argv[i + 1], '=')) {
            errorPath = argv[++i];
            errorStatus = std::atoi(errorPath.c_str() + errorPath.find('=') + 1);
            errorPath.erase(errorPath.find('='));
        } else if (option == "--log" && i + 1 < argc) {
            logPath = argv[++i];
        } else {
            usage();
            return 2;
        }
    }

    // Block the stop signals before the server's threads start, so that they all reach sigwait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    std::ofstream log;
    if (!logPath.empty()) {
        log.open(logPath, std::ios::app);
        if (!log) {
            std::cerr << "cannot open log file " << logPath << "\n";
            return 1;
        }
    }

    twinspotter::test::LoopbackServer server;
    server.serve(twinspotter::test::kVersionPath, version);
    server.serve(twinspotter::test::kUpdaterPath, updater);
    if (!errorPath.empty())
        server.answerStatus(errorPath, errorStatus);
    std::mutex logMutex; // the server answers on several threads
    server.onRequest([&log, &logMutex](const twinspotter::test::RecordedRequest& request) {
        std::lock_guard lock(logMutex);
        if (log.is_open())
            log << request.path << '\t' << request.query << '\t' << request.authorization.value_or("-") << std::endl;
    });
    std::cout << server.port() << std::endl;

    int received = 0;
    sigwait(&stopSignals, &received);
    return 0;
}
