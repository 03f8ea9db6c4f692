// twinspotter-scan: the duplicate search without a window, for scripts, benchmarks and headless machines.
#include "app/ScanOutput.h"
#include "core/MainFormState.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace twinspotter;

const char* const kUsage =
    "Usage: twinspotter-scan [--ignore-date] [--ignore-size] [--json] LOCATION1 [LOCATION2]\n"
    "\n"
    "Finds files that exist twice. With LOCATION2, every file under LOCATION2 is paired with each file under\n"
    "LOCATION1 of the same name (and the same modification date and size, unless told otherwise). Without it,\n"
    "files under LOCATION1 are paired with each other when name, date and size all agree.\n"
    "\n"
    "Options:\n"
    "  --ignore-date   do not require the same modification date (two locations only)\n"
    "  --ignore-size   do not require the same size (two locations only)\n"
    "  --json          write one JSON document instead of tab-separated lines\n"
    "  --help          show this text\n"
    "\n"
    "Output: one line per pair: name, directory 1, directory 2, size in bytes and the packed date, separated by\n"
    "tabs; backslash, tab, line feed and carriage return are written as \\\\, \\t, \\n and \\r.\n"
    "Standard error ends with the file counts of both locations and the number of pairs.\n"
    "Exit status: 0 on success, 2 on a usage error or a location that is not a directory.\n";

volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int)
{
    g_interrupted = 1;
}

struct Options
{
    bool ignoreDate = false;
    bool ignoreSize = false;
    bool json = false;
    std::vector<std::string> locations;
};

// Progress on a terminal: a line on standard error, redrawn at most ten times a second and erased at the end.
class ScanHost : public CommandHost
{
public:
    ScanHost(MainFormState& state, const Options& options)
        : m_state(state), m_options(options), m_terminal(isatty(STDERR_FILENO) == 1)
    {
    }

    void serviceEvents() override
    {
        if (g_interrupted)
            m_state.btnCancelClick();
        draw(false);
    }
    void showProgress(std::string_view text) override { m_progress.assign(text); }
    void showPhase(std::string_view text) override
    {
        m_phase = text;
        if (text == "Looking for duplicates ...")
            m_filesCatalogued = m_progress.empty() ? 0 : std::stoll(m_progress) + 1;
        m_progress.clear();
    }
    bool sameDate() const override { return !m_options.ignoreDate; }
    bool sameSize() const override { return !m_options.ignoreSize; }

    void erase()
    {
        if (m_terminal && m_drawn)
            std::fputs("\r\033[K", stderr);
        m_drawn = false;
    }

private:
    void draw(bool force)
    {
        if (!m_terminal)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (!force && now - m_lastDraw < std::chrono::milliseconds(100))
            return;
        m_lastDraw = now;
        const long long progress = m_progress.empty() ? 0 : std::stoll(m_progress) + 1;
        if (m_phase == "Readin files form location 1")
            std::fprintf(stderr, "\r\033[Kfiles catalogued: %lld", progress);
        else
            std::fprintf(stderr, "\r\033[Kfiles catalogued: %lld, pairs found: %lld", m_filesCatalogued, progress);
        m_drawn = true;
    }

    MainFormState& m_state;
    const Options& m_options;
    bool m_terminal;
    bool m_drawn = false;
    std::string m_phase;
    std::string m_progress;
    long long m_filesCatalogued = 0;
    std::chrono::steady_clock::time_point m_lastDraw{};
};

int UsageError(const std::string& message)
{
    std::fprintf(stderr, "twinspotter-scan: %s (see --help)\n", message.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!optionsEnded && arg == "--ignore-date") {
            options.ignoreDate = true;
        } else if (!optionsEnded && arg == "--ignore-size") {
            options.ignoreSize = true;
        } else if (!optionsEnded && arg == "--json") {
            options.json = true;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            return UsageError("unknown option " + arg);
        } else {
            options.locations.push_back(arg);
        }
    }
    if (options.locations.empty())
        return UsageError("LOCATION1 is missing");
    if (options.locations.size() > 2)
        return UsageError("too many locations: at most two can be compared");
    for (std::size_t i = 0; i < options.locations.size(); ++i) {
        const std::string& location = options.locations[i];
        struct stat st{};
        const std::string which = "location " + std::to_string(i + 1);
        if (location.empty())
            return UsageError(which + " is empty");
        if (stat(location.c_str(), &st) != 0)
            return UsageError(which + " does not exist: " + location);
        if (!S_ISDIR(st.st_mode))
            return UsageError(which + " is not a directory: " + location);
    }

    std::signal(SIGINT, OnInterrupt);
    MainFormState state;
    const std::string location2 = options.locations.size() > 1 ? options.locations[1] : std::string();
    state.edtStartDir2Change(location2);
    ScanHost host(state, options);
    state.ButtonfindClick(options.locations[0], location2, host);
    host.erase();

    static char outBuffer[1 << 16];
    std::setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);
    if (options.json) {
        WritePairsJson(stdout, state.FCompared, state.countallfiles1, state.countallfiles2);
    } else {
        for (const TFileF& pair : state.FCompared) {
            const std::string line = PairLine(pair);
            std::fwrite(line.data(), 1, line.size(), stdout);
        }
    }
    std::fflush(stdout);
    std::fprintf(stderr, "files in location 1: %d\nfiles in location 2: %d\npairs: %zu\n", state.countallfiles1,
                 state.countallfiles2, state.FCompared.size());
    if (g_interrupted)
        return 130;
    return std::ferror(stdout) ? 1 : 0;
}
