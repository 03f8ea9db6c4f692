// How the removal commands scale: a million pairs against a file system that answers at once (the commands' own
// work), and a real tree against xargs rm of the same files.
//   bench_removal [--pairs N] [--real-pairs M] [--runs R] [--dir PARENT]
#include "core/SearchSession.h"
#include "tests/support/InstantFileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace twinspotter;

double CpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double WallSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

class YesHost : public CommandHost
{
public:
    bool confirm(std::string_view) override { return true; }
};

// A list like a two-location search makes: 1,000 location-2 folders, every tenth location-1 file matched by two
// location-2 files, so siblings exist.
FileList SyntheticPairs(std::size_t count)
{
    FileList pairs;
    std::vector<const PathString*> dirs1, dirs2;
    for (int d = 0; d < 1000; ++d) {
        dirs1.push_back(pairs.addDirectory("/data/photos/" + std::to_string(d) + "/"));
        dirs2.push_back(pairs.addDirectory("/backup/photos/" + std::to_string(d) + "/"));
    }
    pairs.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        FileRecord pair;
        const std::size_t file = i % 10 == 1 ? i - 1 : i;
        pair.directory1 = dirs1[file % 1000];
        pair.directory2 = dirs2[i % 1000];
        pair.name = "IMG_" + std::to_string(file) + ".jpg";
        pair.size = std::int64_t(file % 7919) * 1024;
        pair.date = 0x3C8F6000 + std::int32_t(file % 86400);
        pairs.append(pair);
    }
    return pairs;
}

std::vector<SelectedRow> Rows(const FileList& pairs, std::size_t step, std::size_t limit)
{
    std::vector<SelectedRow> rows;
    for (std::size_t i = 0; i < std::min(limit, pairs.size()); i += step)
        rows.push_back({pairs[i].dir2(), pairs[i].name});
    return rows;
}

void SyntheticRuns(std::size_t count)
{
    std::printf("Removal commands over %zu pairs, the file system answering at once (CPU seconds)\n", count);
    test::InstantFileSystem disk;
    disk.remember = false;
    const FileList pairs = SyntheticPairs(count);
    YesHost host;
    const auto run = [&](const char* what, auto command) {
        SearchSession session(disk);
        session.setPairs(pairs, {}, SearchMode::TwoLocations);
        const double start = CpuSeconds();
        const RemovalReport report = command(session);
        std::printf("  %-34s %7.3f s  (%d removed)\n", what, CpuSeconds() - start, report.count);
    };
    run("bulk removal", [&](SearchSession& s) { return s.removeAllLocation2Copies(host); });
    const std::vector<SelectedRow> all = Rows(pairs, 1, count);
    const std::vector<SelectedRow> half = Rows(pairs, 1, count / 2);
    const std::vector<SelectedRow> tenth = Rows(pairs, 10, count);
    run("selected rows: all", [&](SearchSession& s) { return s.removeSelectedRows(all, Side::Location2, host); });
    run("selected rows: first half",
        [&](SearchSession& s) { return s.removeSelectedRows(half, Side::Location2, host); });
    run("selected rows: every tenth",
        [&](SearchSession& s) { return s.removeSelectedRows(tenth, Side::Location2, host); });
    const std::vector<SelectedRow> all1 = [&] {
        std::vector<SelectedRow> rows;
        for (const FileRecord& pair : pairs)
            rows.push_back({pair.dir1(), pair.name});
        return rows;
    }();
    run("selected rows: all, location 1",
        [&](SearchSession& s) { return s.removeSelectedRows(all1, Side::Location1, host); });
}

void MakeFiles(const std::string& root, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        const std::string dir = root + "/d" + std::to_string(i / 500);
        if (i % 500 == 0)
            std::filesystem::create_directories(dir);
        const int fd = open((dir + "/f" + std::to_string(i)).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0)
            continue;
        // One time for every copy, so both locations pair whatever second they were made in.
        const timespec times[2] = {{1300000000, 0}, {1300000000, 0}};
        futimens(fd, times);
        close(fd);
    }
}

double XargsRm(const std::string& listFile)
{
    const double start = WallSeconds();
    const pid_t child = fork();
    if (child == 0) {
        const int in = open(listFile.c_str(), O_RDONLY | O_CLOEXEC);
        dup2(in, 0);
        execlp("xargs", "xargs", "-0", "rm", "-f", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WallSeconds() - start;
}

void RealRuns(std::size_t count, int runs, const std::string& parent)
{
    const std::string root = parent + "/twinspotter-bench-removal";
    std::filesystem::remove_all(root);
    const std::string one = root + "/one";
    const std::string two = root + "/two";
    MakeFiles(one, count);
    const std::string listFile = root + "/files.list";
    {
        std::FILE* list = std::fopen(listFile.c_str(), "w");
        for (std::size_t i = 0; i < count; ++i)
            std::fprintf(list, "%s/d%zu/f%zu%c", two.c_str(), i / 500, i, '\0');
        std::fclose(list);
    }
    std::printf("Removing %zu location-2 copies from a real tree under %s (wall seconds, median of %d)\n", count,
                parent.c_str(), runs);
    std::vector<double> bulk, selected, rm;
    for (int r = 0; r < runs; ++r) {
        for (int which = 0; which < 3; ++which) {
            MakeFiles(two, count);
            sync();
            if (which == 2) {
                rm.push_back(XargsRm(listFile));
                continue;
            }
            SearchSession session;
            YesHost host;
            session.search(one, two, host);
            const double start = WallSeconds();
            const RemovalReport report =
                which == 0 ? session.removeAllLocation2Copies(host)
                           : session.removeSelectedRows(Rows(session.pairs(), 1, count), Side::Location2, host);
            (which == 0 ? bulk : selected).push_back(WallSeconds() - start);
            if (report.count != static_cast<std::int32_t>(count))
                std::printf("  (only %d of %zu removed)\n", report.count, count);
        }
    }
    const double rmTime = Median(rm);
    std::printf("  xargs rm              %7.3f s\n", rmTime);
    std::printf("  bulk removal          %7.3f s  %.2fx rm\n", Median(bulk), Median(bulk) / rmTime);
    std::printf("  selected rows: all    %7.3f s  %.2fx rm\n", Median(selected), Median(selected) / rmTime);
    std::filesystem::remove_all(root);
}

} // namespace

int main(int argc, char** argv)
{
    std::size_t pairs = 1'000'000;
    std::size_t realPairs = 200'000;
    int runs = 3;
    std::string parent = "/tmp";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--pairs")
            pairs = std::strtoul(argv[i + 1], nullptr, 10);
        else if (option == "--real-pairs")
            realPairs = std::strtoul(argv[i + 1], nullptr, 10);
        else if (option == "--runs")
            runs = std::atoi(argv[i + 1]);
        else if (option == "--dir")
            parent = argv[i + 1];
    }
    SyntheticRuns(pairs);
    if (realPairs > 0)
        RealRuns(realPairs, runs, parent);
    return 0;
}
