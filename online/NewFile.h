// Files the online services write whole: under a new name of their own first, so that a full disk or a crash never
// leaves half a file where the program looks, and a link in the way is never followed.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string_view>

namespace twinspotter {

struct NewFile
{
    std::filesystem::path name; ///< the file written, or the last name tried
    int error = 0;              ///< the error number of a failure, 0 on success
    bool created = false;       ///< a failure came after the file was created (and removed again)
};

/// Writes \p bytes to a new file beside \p target named ".NAME.PID.N" followed by \p suffix, created exclusively
/// with \p mode without following a link, and flushed to the disk. On failure nothing is left behind.
NewFile writeNewFileBeside(const std::filesystem::path& target, std::string_view bytes, mode_t mode,
                           std::string_view suffix);

} // namespace twinspotter
