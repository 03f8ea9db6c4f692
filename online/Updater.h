// Download and start of the separate updater program.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

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

/// The paths for url (placeholder still in it) under programDirectory. The last segment is what follows the last
/// "/", "\" or ":" of the address as received.
UpdaterPaths UpdaterPathsFor(const std::string& url, const std::filesystem::path& programDirectory);

/// Moves an earlier updater P to B (deleting an older B first), downloads InsertTimestamp(url) with redirects
/// followed and no Authorization header, writes the body to P, deletes B, hands P to the host's "Open" action and
/// asks the host to quit (the caller still runs to its end). A 404 sends the "UpdateError" report with url as
/// received and returns; any other HTTP status returns quietly; every other failure (look-up, connection,
/// transfer, a body over kMaxUpdaterBytes, writing P, the report itself) propagates. Blocks for the whole download.
void DownloadUpdater(const std::string& url);

} // namespace twinspotter
