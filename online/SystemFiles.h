// The few file operations of the online services that differ between the systems (posix/SystemFiles.cpp,
// windows/SystemFiles.cpp). Errors are errno numbers on both.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace twinspotter {

/// What stands at a name: nothing, a regular file, or something else (a link or reparse point, a FIFO, a folder, a
/// device). A name that cannot be examined counts as something else.
enum class NameHolds { Nothing, RegularFile, Other };
NameHolds whatIsAt(const std::filesystem::path& path);

/// The beginning of a file, read without following a link and only from a regular file.
struct FileStart
{
    enum class Outcome { Read, NotARegularFile, OpenFailed, ReadFailed };
    Outcome outcome = Outcome::Read;
    int error = 0;     ///< the errno of OpenFailed and ReadFailed
    std::string bytes; ///< at most maxBytes, ending at or after the first newline when one came
};
/// Reads the start of the file at \p path: up to \p maxBytes, stopping once a newline is in. A FIFO, a device, a
/// folder or a link (a reparse point on Windows) is NotARegularFile and is never read or waited for.
FileStart readFileStart(const std::filesystem::path& path, std::size_t maxBytes);

/// Renames \p from to \p to, atomically replacing a file there. 0, or the errno of the failure.
int renameReplacing(const std::filesystem::path& from, const std::filesystem::path& to);
/// Removes the file at \p path; a failure is not looked at.
void removeFile(const std::filesystem::path& path);

/// True when this user may write into \p directory: not a system directory (isSystemDirectory), and on Linux the
/// user's own and writable. A folder that cannot be examined is left to the write itself, which then names its reason.
bool mayWriteInto(const std::filesystem::path& directory);

} // namespace twinspotter
