// Times the results table's rebuild over a million pairs and measures what the window adds to memory.
#include "ui/Application.h"
#include "ui/MainWindow.h"

#include <cstdlib>

#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

using namespace twinspotter;

namespace {

// A field of /proc/self/status in kB.
long statusKb(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(key.size()));
    return -1;
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Pairs spread over a few thousand directories per side, as a photo archive against its backup would give.
void fillPairs(FileList& pairs, std::size_t count)
{
    constexpr std::size_t kFilesPerDir = 200;
    pairs.reserve(count);
    const PathString* dir1 = nullptr;
    const PathString* dir2 = nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        if (i % kFilesPerDir == 0) {
            const std::string sub = "/" + std::to_string(2000 + i / 100000) + "/album-" + std::to_string(i / 200) + "/";
            dir1 = pairs.addDirectory("/home/anna/Pictures" + sub);
            dir2 = pairs.addDirectory("/media/anna/backup-disk/Pictures (old copy)" + sub);
        }
        FileRecord pair;
        pair.directory1 = dir1;
        pair.directory2 = dir2;
        pair.name = "IMG_" + std::to_string(100000 + i) + ".JPG";
        pair.size = std::int64_t(2'000'000 + i);
        pairs.append(std::move(pair));
    }
}

} // namespace

int main(int argc, char** argv)
{
    constexpr std::size_t kPairs = 1'000'000;
    // The start-up steps run for real; keep their probe and update check on this machine.
    setenv("TWINSPOTTER_SERVER", "http://127.0.0.1:9", 1);
    setenv("TWINSPOTTER_PROBE_HOSTS", "nothing.invalid", 1);
    TwinspotterApplication app(argc, argv);
    MainWindow form;
    form.show();
    QCoreApplication::processEvents();
    form.findChild<QLineEdit*>(QStringLiteral("edtStartDir2"))->setText(QStringLiteral("/media/anna/backup-disk"));

    const long rssEmpty = statusKb("VmRSS");
    fillPairs(form.session().pairs(), kPairs);
    QCoreApplication::processEvents();
    const long rssBefore = statusKb("VmRSS");
    const long hwmBefore = statusKb("VmHWM");

    const auto start = std::chrono::steady_clock::now();
    form.rebuildResultsTable();
    const double rebuild = secondsSince(start);
    QCoreApplication::processEvents();
    const long rssAfter = statusKb("VmRSS");
    const long hwmAfter = statusKb("VmHWM");

    // Scrolling: jump through the whole table and paint each page synchronously.
    QTableView* table = form.findChild<QTableView*>(QStringLiteral("strGridD"));
    QScrollBar* bar = table->verticalScrollBar();
    constexpr int kFrames = 200;
    const auto scrollStart = std::chrono::steady_clock::now();
    for (int frame = 0; frame < kFrames; ++frame) {
        bar->setValue(int(std::int64_t(bar->maximum()) * frame / (kFrames - 1)));
        table->viewport()->repaint();
    }
    const double perFrameMs = secondsSince(scrollStart) * 1000.0 / kFrames;

    std::printf("pairs                     %zu\n", kPairs);
    std::printf("rows shown                %d\n", table->model()->rowCount());
    std::printf("pair list (VmRSS growth)  %.1f MB\n", (rssBefore - rssEmpty) / 1024.0);
    std::printf("rebuildResultsTable       %.3f s   (target < 1 s)\n", rebuild);
    std::printf("window growth, VmRSS      %.1f MB  (target < 100 MB)\n", (rssAfter - rssBefore) / 1024.0);
    std::printf("window growth, VmHWM      %.1f MB\n", (hwmAfter - hwmBefore) / 1024.0);
    std::printf("scroll and paint a page   %.2f ms\n", perFrameMs);
    const bool met = rebuild < 1.0 && (rssAfter - rssBefore) < 100 * 1024 && (hwmAfter - hwmBefore) < 100 * 1024;
    std::printf("%s\n", met ? "targets met" : "TARGETS MISSED");
    return met ? 0 : 1;
}
