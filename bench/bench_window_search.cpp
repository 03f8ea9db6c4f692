// A search in the real window against the headless scanner over the same trees, alternating, medians.
//   bench_window_search [--runs K] [--scanner PATH] LOCATION1 LOCATION2
// The window's time runs from the click on the search button until the table is filled and the click returns; the
// scanner's is its whole process, start to exit, its pair list written to /dev/null.
#include "ui/Application.h"
#include "ui/MainWindow.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

using namespace twinspotter;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

double runScanner(const std::string& scanner, const std::string& location1, const std::string& location2)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv{const_cast<char*>(scanner.c_str()), const_cast<char*>(location1.c_str()),
                            const_cast<char*>(location2.c_str()), nullptr};
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, scanner.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "bench_window_search: cannot start %s\n", scanner.c_str());
        std::exit(1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const double elapsed = secondsSince(start);
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "bench_window_search: the scanner failed\n");
        std::exit(1);
    }
    return elapsed;
}

} // namespace

int main(int argc, char** argv)
{
    // The start-up steps run for real; keep their probe and update check on this machine.
    setenv("TWINSPOTTER_SERVER", "http://127.0.0.1:9", 1);
    setenv("TWINSPOTTER_PROBE_HOSTS", "nothing.invalid", 1);
    int runs = 5;
    std::string scanner = std::string(BENCH_BUILD_DIR) + "/app/twinspotter-scan";
    std::vector<std::string> locations;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--scanner") == 0 && i + 1 < argc)
            scanner = argv[++i];
        else if (argv[i][0] != '-')
            locations.emplace_back(argv[i]);
    }
    if (locations.size() != 2) {
        std::fprintf(stderr, "usage: bench_window_search [--runs K] [--scanner PATH] LOCATION1 LOCATION2\n");
        return 2;
    }

    int qtArgc = 1;
    TwinspotterApplication app(qtArgc, argv);
    MainWindow window;
    window.show();
    QCoreApplication::processEvents();
    window.findChild<QLineEdit*>(QStringLiteral("edtStartDir1"))->setText(QString::fromStdString(locations[0]));
    window.findChild<QLineEdit*>(QStringLiteral("edtStartDir2"))->setText(QString::fromStdString(locations[1]));
    auto* searchButton = window.findChild<QPushButton*>(QStringLiteral("Buttonfind"));

    runScanner(scanner, locations[0], locations[1]); // warm the cache
    std::vector<double> windowTimes, scannerTimes;
    for (int run = 0; run < runs; ++run) {
        scannerTimes.push_back(runScanner(scanner, locations[0], locations[1]));
        const auto start = Clock::now();
        searchButton->click();
        windowTimes.push_back(secondsSince(start));
        QCoreApplication::processEvents();
        std::fprintf(stderr, "  run %d: scanner %.2f s, window %.2f s\n", run + 1, scannerTimes.back(),
                     windowTimes.back());
    }
    const double windowMedian = median(windowTimes);
    const double scannerMedian = median(scannerTimes);
    std::printf("pairs in the window       %zu\n", window.session().pairs().size());
    std::printf("scanner, median of %d      %.2f s\n", runs, scannerMedian);
    std::printf("window search, median     %.2f s\n", windowMedian);
    std::printf("window / scanner          %.2f   (target at most 1.1)\n", windowMedian / scannerMedian);
    return windowMedian <= 1.1 * scannerMedian ? 0 : 1;
}
