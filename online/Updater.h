// Download and start of the separate updater program.
#pragma once

#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace twinspotter {

/// Where the updater goes: the program directory D, the updater P and its backup B.
struct UpdaterPaths
{
    std::filesystem::path directory; ///< D, ending in "/"
    std::filesystem::path updater;   ///< P: D + the address's last segment, cut at its first "?"
    std::filesystem::path backup;    ///< B: P with its extension replaced by (or, lacking one, followed by) ".BAK"
};

/// The most an updater may weigh; a larger answer is refused before it is written.
inline constexpr std::size_t kMaxUpdaterBytes = 64 * 1024 * 1024;

/// The update could not be installed or started, and the program goes on running; the text says where the new
/// version can be had.
class UpdateNotStartedError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// True when directory lies in a hierarchy that the system's package manager or its administrator owns (/usr, /opt,
/// /etc and the like): the program writes nothing there at run time, also when it runs with root's rights.
bool isSystemDirectory(const std::filesystem::path& directory);

/// True when bytes begin like a program this machine can run: an ELF image of the running program's own class,
/// byte order and machine, or a "#!" script.
bool isProgramForThisMachine(std::string_view bytes);

/// The paths for url (placeholder still in it) under programDirectory. The last segment is what follows the last
/// "/", "\" or ":" of the address as received.
UpdaterPaths updaterPathsFor(const std::string& url, const std::filesystem::path& programDirectory);

/// Downloads insertTimestamp(url) with redirects followed, no Authorization header and the download's time rule,
/// checks the body (not empty, a program for this machine), writes it to a new temporary file beside P, moves an
/// earlier updater P to B, renames the new file to P, deletes B, starts P through the host and asks the host to quit
/// (the caller still runs to its end). P and B are only renamed or removed, never opened. A 404 sends the
/// "UpdateError" report with url as received and returns; any other HTTP status returns quietly; in both cases, as
/// after every failure, the earlier P is still in place. Throws UpdateNotStartedError, touching nothing, when D is
/// not the user's own to write (a system directory, another user's, read-only), when P or B is anything but a
/// regular file, and when the body fails its checks; and, with P saved but no quit asked, when P does not start.
/// Every other failure (look-up, connection, transfer, a body over kMaxUpdaterBytes, writing, the report itself)
/// propagates, and so does WaitCancelled.
void downloadUpdater(const std::string& url);

} // namespace twinspotter
