// The content comparison against cat reading the same distinct files once, warm cache, runs alternating.
//   bench_content [--files N] [--mib M] [--runs R] [--dir PARENT] [--keep]
// Builds two locations of N real (non-sparse) files of M MiB each under PARENT (default /tmp): location 2 holds a
// copy of every file, one in four of them with its last byte changed, so every file is a candidate and 2 x N x M
// MiB are read. Removes the tree at the end unless --keep.
#include "core/SearchSession.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace twinspotter;
using Clock = std::chrono::steady_clock;

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void WriteFile(const std::string& path, const std::vector<char>& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

// Times the content phase of one search: from its start to the end of the search, which it is the last step of.
class TimingHost : public CommandHost
{
public:
    SearchCriteria criteria() const override { return {true, true, true}; }
    void showProgress(const Progress& progress) override
    {
        if (progress.begins && progress.phase == Phase::ComparingContents)
            m_start = Clock::now();
    }
    double secondsUntil(Clock::time_point end) const { return std::chrono::duration<double>(end - m_start).count(); }

private:
    Clock::time_point m_start;
};

double CpuSeconds(const rusage& usage)
{
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double SelfCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return CpuSeconds(usage);
}

// Wall time; \p cpu gets cat's processor time.
double TimeCat(const std::vector<std::string>& files, double& cpu)
{
    std::vector<char*> argv{const_cast<char*>("cat")};
    for (const std::string& file : files)
        argv.push_back(const_cast<char*>(file.c_str()));
    argv.push_back(nullptr);
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        execvp("cat", argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    cpu = CpuSeconds(usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "cat failed\n");
        std::exit(1);
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    int files = 100;
    int mib = 11;
    int runs = 5;
    bool keep = false;
    std::string parent = "/tmp";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--files" && i + 1 < argc)
            files = std::atoi(argv[++i]);
        else if (arg == "--mib" && i + 1 < argc)
            mib = std::atoi(argv[++i]);
        else if (arg == "--runs" && i + 1 < argc)
            runs = std::atoi(argv[++i]);
        else if (arg == "--dir" && i + 1 < argc)
            parent = argv[++i];
        else if (arg == "--keep")
            keep = true;
        else {
            std::fprintf(stderr, "usage: bench_content [--files N] [--mib M] [--runs R] [--dir PARENT] [--keep]\n");
            return 2;
        }
    }

    namespace fs = std::filesystem;
    const std::string root = parent + "/twinspotter-content-bench-" + std::to_string(files) + "x" + std::to_string(mib);
    const std::string loc1 = root + "/location1", loc2 = root + "/location2";
    std::vector<std::string> paths;
    for (int i = 0; i < files; ++i) {
        const std::string dir = "/d" + std::to_string(i % 10) + "/";
        const std::string name = "file" + std::to_string(i) + ".bin";
        paths.push_back(loc1 + dir + name);
        paths.push_back(loc2 + dir + name);
    }
    if (!fs::exists(root + "/.complete")) {
        fs::remove_all(root);
        std::mt19937_64 random(1);
        std::vector<char> bytes(static_cast<std::size_t>(mib) << 20);
        for (int i = 0; i < files; ++i) {
            for (std::size_t b = 0; b < bytes.size(); b += 8) {
                const std::uint64_t word = random();
                std::copy_n(reinterpret_cast<const char*>(&word), 8, bytes.data() + b);
            }
            fs::create_directories(fs::path(paths[2 * i]).parent_path());
            fs::create_directories(fs::path(paths[2 * i + 1]).parent_path());
            WriteFile(paths[2 * i], bytes);
            if (i % 4 == 3)
                bytes.back() ^= 1;
            WriteFile(paths[2 * i + 1], bytes);
            // One modification time for both, so that every pair is a candidate whatever the clock did meanwhile.
            const timespec times[2] = {{1'300'000'000 + i, 0}, {1'300'000'000 + i, 0}};
            utimensat(AT_FDCWD, paths[2 * i].c_str(), times, 0);
            utimensat(AT_FDCWD, paths[2 * i + 1].c_str(), times, 0);
        }
        WriteFile(root + "/.complete", {});
        std::fprintf(stderr, "built %d x 2 files of %d MiB under %s\n", files, mib, root.c_str());
    }

    double catCpu = 0;
    TimeCat(paths, catCpu); // warm the cache
    std::vector<double> cat, content, search, catCpus, searchCpus;
    std::size_t pairs = 0;
    for (int run = 0; run < runs; ++run) {
        cat.push_back(TimeCat(paths, catCpu));
        catCpus.push_back(catCpu);
        SearchSession session;
        TimingHost host;
        const auto start = Clock::now();
        const double startCpu = SelfCpuSeconds();
        session.search(loc1, loc2, host);
        const auto end = Clock::now();
        search.push_back(std::chrono::duration<double>(end - start).count());
        searchCpus.push_back(SelfCpuSeconds() - startCpu);
        content.push_back(host.secondsUntil(end));
        pairs = session.pairs().size();
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double gib = double(paths.size()) * mib / 1024;
    std::printf("distinct files:        %zu (%.2f GiB, real data), pairs kept: %zu of %d\n", paths.size(), gib, pairs,
                files);
    std::printf("cat (median of %d):     %.3f s\n", runs, Median(cat));
    std::printf("content phase:         %.3f s (%.1f GiB/s)\n", Median(content), gib / Median(content));
    std::printf("whole search:          %.3f s\n", Median(search));
    std::printf("ratio content / cat:   %.2f\n", Median(content) / Median(cat));
    std::printf("processor time:        cat %.3f s, whole search %.3f s (all threads)\n", Median(catCpus),
                Median(searchCpus));
    std::printf("peak resident memory:  %.0f MB\n", double(usage.ru_maxrss) / 1024);
    if (!keep)
        fs::remove_all(root);
    return 0;
}
