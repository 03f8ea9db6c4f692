// twinspotter-scan: the duplicate search without a window, for scripts, benchmarks and headless machines.
#include "app/ScanOutput.h"
#include "core/Platform.h"
#include "core/SearchSession.h"
#include "core/Version.h"
#include "core/remove.h"

#include <unistd.h>
#ifdef _WIN32
#include "core/windows/WinText.h"

#include <fcntl.h>
#include <io.h>
#endif

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace twinspotter;

const char* const kUsage =
    "Usage: twinspotter-scan [--ignore-date] [--ignore-size] [--same-content] [--json] [--threads N]\n"
    "                        [--delete-location2 [--safety-dir DIR | --trash] [--yes]] LOCATION1 [LOCATION2]\n"
    "       twinspotter-scan --help | --version\n"
    "\n"
    "Finds files that exist twice. With LOCATION2, every file under LOCATION2 is paired with each file under\n"
    "LOCATION1 of the same name (and the same modification date and size, unless told otherwise). Without it,\n"
    "files under LOCATION1 are paired with each other when name, date and size all agree.\n"
    "\n"
    "Options:\n"
    "  --ignore-date   do not require the same modification date (two locations only)\n"
    "  --ignore-size   do not require the same size (two locations only)\n"
    "  --same-content  list a pair only when both files hold the same bytes; each file is read once, and files\n"
    "                  that cannot be read, or that changed since they were listed, are left out and counted\n"
    "  --json          write one JSON document instead of tab-separated lines\n"
    "  --threads N     list folders and read file details with N threads, this one included (default: one per\n"
    "                  core, at least 2, at most 16), and with up to 4N while the disk keeps the cores idle;\n"
    "                  1 lists each folder only when the walk reaches it. The output is the same for every N\n"
    "  --delete-location2\n"
    "                  after writing the pairs, remove the location-2 copy of every pair (in single-directory\n"
    "                  mode the second file of each pair); a copy whose partner has gone is left alone\n"
    "  --safety-dir DIR\n"
    "                  move the copies under DIR, which mirrors each file's absolute path, instead of deleting\n"
    "                  them; DIR is created if its parent exists; a copy that cannot be moved there (its place\n"
    "                  taken, the disk full, a link in the way) stays where it is and is reported, never deleted\n"
    "  --trash         move the copies to the desktop's Trash instead of deleting them, where a file manager can\n"
    "                  restore them: the home Trash, or the Trash at the top of the copy's own mount; a copy whose\n"
    "                  mount has no usable Trash stays where it is and is reported, never copied elsewhere\n"
    "  --yes           remove without asking; otherwise the question is asked on the terminal and the removal\n"
    "                  is refused when standard input is not a terminal\n"
    "  --help          show this text\n"
    "  --version       show the version\n"
    "\n"
    "Output: one line per pair: name, directory 1, directory 2, size in bytes and the packed date, separated by\n"
    "tabs; backslash, tab, line feed and carriage return are written as \\\\, \\t, \\n and \\r.\n"
    "With --same-content, standard error says \"unreadable: N\" and \"changed: N\" before the counts.\n"
    "Standard error ends with the file counts of both locations and the number of pairs; after a removal the\n"
    "counts are lowered by the files removed and a last line says \"N files was deleted from total of T\".\n"
    "Before the counts, a line \"not removed: PATH: REASON\" names each copy the removal left where it is, or\n"
    "found gone already.\n"
    "A copy is removed only while it and its partner are still the files the search found, two different\n"
    "files, reached without following a symbolic link.\n"
    "\n"
    "Exit status:\n"
    "  0  success; a removal left nothing behind but copies whose partner had gone, or that had gone\n"
    "  1  a removal left a copy for another reason (see the \"not removed\" lines), or the output failed\n"
    "  2  a usage error, a location that is not a directory, or a removal that was not confirmed\n"
    "  130  interrupted\n";

volatile std::sig_atomic_t g_interrupted = 0;

void onInterrupt(int)
{
    g_interrupted = 1;
}

struct Options
{
    bool ignoreDate = false;
    bool ignoreSize = false;
    bool json = false;
    bool deleteLocation2 = false;
    bool sameContent = false;
    bool hasSafetyDir = false;
    std::string safetyDir;
    bool trash = false;
    bool yes = false;
    unsigned threads = 0; ///< 0: the session's default
    std::vector<std::string> locations;
};

// Progress on a terminal: a line on standard error, redrawn at most ten times a second and erased at the end.
class ScanHost : public CommandHost
{
public:
    ScanHost(SearchSession& session, const Options& options)
        : m_session(session), m_options(options), m_terminal(isatty(STDERR_FILENO) == 1)
    {
    }

    void serviceEvents() override
    {
        if (m_removing)
            return;
        if (g_interrupted)
            m_session.cancel();
        draw(false);
    }
    void showProgress(const Progress& progress) override
    {
        // The counter only moves every hundred files; the catalogue's own count is exact.
        if (progress.begins && progress.phase == Phase::Matching)
            m_filesCatalogued = static_cast<std::uint64_t>(m_session.filesInLocation1());
        m_progress = progress;
    }
    SearchCriteria criteria() const override
    {
        return {!m_options.ignoreDate, !m_options.ignoreSize, m_options.sameContent};
    }

    RemovalTarget removalTarget() const override
    {
        if (m_options.trash)
            return MoveToTrash{};
        if (m_options.hasSafetyDir)
            return MoveToSafetyDirectory{m_options.safetyDir};
        return Delete{};
    }
    bool confirm(std::string_view question) override
    {
        if (m_options.yes)
            return true;
        std::fprintf(stderr, "%.*s [y/N] ", static_cast<int>(question.size()), question.data());
        std::fflush(stderr);
        std::string answer;
        if (!std::getline(std::cin, answer))
            return false;
        return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes" || answer == "YES";
    }
    void inform(std::string_view message) override { m_message = message; }
    void reportKept(const std::vector<KeptFile>& kept) override { m_kept = kept; }

    void removalStarted() { m_removing = true; }
    const std::string& message() const { return m_message; }
    const std::vector<KeptFile>& kept() const { return m_kept; }

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
        std::fprintf(stderr, "\r\033[K%s", progressLine(m_progress, m_filesCatalogued).c_str());
        m_drawn = true;
    }

    SearchSession& m_session;
    const Options& m_options;
    bool m_terminal;
    bool m_drawn = false;
    bool m_removing = false;
    std::string m_message;
    std::vector<KeptFile> m_kept;
    Progress m_progress = Progress::beginning(Phase::Cataloguing);
    std::uint64_t m_filesCatalogued = 0;
    std::chrono::steady_clock::time_point m_lastDraw{};
};

int usageError(const std::string& message)
{
    std::fprintf(stderr, "twinspotter-scan: %s (see --help)\n", message.c_str());
    return 2;
}

/// The checks of a whole command line: options that go together, the locations, and whether a removal can be
/// asked about; makes a relative safety directory absolute. An exit status when the command line is refused.
std::optional<int> checkOptions(Options& options)
{
    if ((options.hasSafetyDir || options.trash || options.yes) && !options.deleteLocation2)
        return usageError("--safety-dir, --trash and --yes only go with --delete-location2");
    if (options.hasSafetyDir && options.trash)
        return usageError("--safety-dir and --trash exclude each other");
    if (options.hasSafetyDir && options.safetyDir.empty())
        return usageError("the safety directory is empty");
    if (options.locations.empty())
        return usageError("LOCATION1 is missing");
    if (options.locations.size() > 2)
        return usageError("too many locations: at most two can be compared");
    for (std::size_t i = 0; i < options.locations.size(); ++i) {
        const std::string& location = options.locations[i];
        const std::string which = "location " + std::to_string(i + 1);
        if (location.empty())
            return usageError(which + " is empty");
        if (!realFileSystem().directoryIdentity(location)) {
            if (!realFileSystem().exists(location))
                return usageError(which + " does not exist: " + location);
            return usageError(which + " is not a directory: " + location);
        }
    }

    // Refused before the search, so a script never waits for a question nobody can answer.
    if (options.deleteLocation2 && !options.yes && isatty(STDIN_FILENO) != 1)
        return usageError("--delete-location2 asks on a terminal; standard input is none, so give --yes");
    // A relative safety directory is the shell's, as the user typed it; one given whole is left exactly as given.
    if (options.hasSafetyDir && !isAbsolutePath(options.safetyDir))
        options.safetyDir = absoluteFilePath(options.safetyDir, realFileSystem());

    return std::nullopt;
}

/// Reads the command line into \p options and checks it, locations included; an exit status when the program
/// ends here (help, version, a usage error).
std::optional<int> readCommandLine(int argc, char** argv, Options& options)
{
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!optionsEnded && arg == "--version") {
            std::printf("twinspotter-scan %s\n", kVersion);
            return 0;
        } else if (!optionsEnded && arg == "--ignore-date") {
            options.ignoreDate = true;
        } else if (!optionsEnded && arg == "--ignore-size") {
            options.ignoreSize = true;
        } else if (!optionsEnded && arg == "--same-content") {
            options.sameContent = true;
        } else if (!optionsEnded && arg == "--trash") {
            options.trash = true;
        } else if (!optionsEnded && arg == "--json") {
            options.json = true;
        } else if (!optionsEnded && arg == "--delete-location2") {
            options.deleteLocation2 = true;
        } else if (!optionsEnded && arg == "--yes") {
            options.yes = true;
        } else if (!optionsEnded && arg == "--threads") {
            char* end = nullptr;
            const unsigned long threads = i + 1 < argc ? std::strtoul(argv[i + 1], &end, 10) : 0;
            if (i + 1 == argc || end == argv[i + 1] || *end != '\0' || threads < 1 || threads > 256)
                return usageError("--threads needs a number from 1 to 256");
            options.threads = static_cast<unsigned>(threads);
            ++i;
        } else if (!optionsEnded && arg == "--safety-dir") {
            if (i + 1 == argc)
                return usageError("--safety-dir needs a directory");
            options.hasSafetyDir = true;
            options.safetyDir = argv[++i];
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option " + arg);
        } else {
            options.locations.push_back(arg);
        }
    }
    return checkOptions(options);
}

} // namespace

int scanMain(int argc, char** argv)
{
    Options options;
    if (const std::optional<int> status = readCommandLine(argc, argv, options))
        return *status;

    std::signal(SIGINT, onInterrupt);
    SearchSession session;
    if (options.threads > 0)
        session.setWalkThreads(options.threads);
    const std::string location2 = options.locations.size() > 1 ? options.locations[1] : std::string();
    ScanHost host(session, options);
    session.search(options.locations[0], location2, host);
    host.erase();

    static char outBuffer[1 << 16];
    std::setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);
    if (options.json) {
        writePairsJson(stdout, session.pairs(), session.filesInLocation1(), session.filesInLocation2());
    } else {
        for (const FileRecord& pair : session.pairs()) {
            const std::string line = pairLine(pair);
            std::fwrite(line.data(), 1, line.size(), stdout);
        }
    }
    // A listing that could not be written is no record of what a removal would take: remove nothing then.
    const bool listed = std::fflush(stdout) == 0 && !std::ferror(stdout);
    if (options.deleteLocation2 && !listed)
        std::fprintf(stderr, "twinspotter-scan: the pairs could not be written, so nothing was removed\n");

    bool refused = false;
    bool failed = false;
    if (options.deleteLocation2 && listed && !g_interrupted) {
        // The removal has no stopping point of its own: an interrupt now ends the program at once. A move cut
        // short leaves its source in place and, across file systems, no partial copy in the safety directory.
        std::signal(SIGINT, SIG_DFL);
        if (options.hasSafetyDir)
            ensureSafetyDirectory(options.safetyDir, realFileSystem());
        host.removalStarted();
        const RemovalReport report = session.removeAllLocation2Copies(host);
        refused = !report.ran;
        failed = report.failed();
    }
    if (options.sameContent)
        std::fprintf(stderr, "unreadable: %lld\nchanged: %lld\n",
                     static_cast<long long>(session.lastSearch().content.unreadable),
                     static_cast<long long>(session.lastSearch().content.changed));
    for (const KeptFile& file : host.kept())
        std::fprintf(stderr, "not removed: %s: %s\n", escapeField(file.path).c_str(), file.text().c_str());
    std::fprintf(stderr, "files in location 1: %d\nfiles in location 2: %d\npairs: %zu\n", session.filesInLocation1(),
                 session.filesInLocation2(), session.pairs().size());
    if (!host.message().empty())
        std::fprintf(stderr, "%s\n", host.message().c_str());
    if (g_interrupted)
        return 130;
    if (refused)
        return 2;
    return failed || !listed || std::ferror(stdout) ? 1 : 0;
}

#ifdef _WIN32
// The arguments as UTF-16, made the core's UTF-8; the output as bytes, with no carriage return added before each line
// feed, so a script reads what it reads on Linux.
int wmain(int argc, wchar_t** argv)
{
    std::vector<std::string> texts;
    for (int i = 0; i < argc; ++i)
        texts.push_back(twinspotter::fromWide(argv[i]));
    std::vector<char*> args;
    for (std::string& text : texts)
        args.push_back(text.data());
    args.push_back(nullptr);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    return scanMain(argc, args.data());
}
#else
int main(int argc, char** argv)
{
    return scanMain(argc, argv);
}
#endif
