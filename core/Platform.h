// The few rules and calls that differ between the two file-system back ends (core/posix/, core/windows/) but that
// shared code needs: what an absolute path is, how a path is mirrored under the safety directory, the packed local
// date, wildcard masks, the cores, random bytes, the words for an error, and reading the start of a small file. Each
// back end defines them.
#pragma once

#include "core/FileRecord.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace twinspotter {

/// True when \p path names the same place whatever the working directory ("/x"; "C:\x" or "\\server\share" on
/// Windows).
bool isAbsolutePath(const PathString& path);

/// \p path with "." and ".." resolved by text and repeated separators joined.
PathString lexicallyNormal(const PathString& path);

/// The part of the absolute \p path that is appended to the safety directory: the whole path on Linux, the path less
/// its drive ("D:") on Windows, so "D:\photos\a.jpg" goes to "SAFETY\photos\a.jpg". Begins with the separator.
PathString mirroredPart(const PathString& absolutePath);

/// The uses of a thread's scratch memory.
enum class ScratchSlot {
    ReadBuffer,    ///< one chunk of a file's content
    ListingBuffer, ///< one batch of a folder's entries (Windows)
    Count
};

/// \p size bytes aligned to 64 for the calling thread alone, the same for every call with \p slot on that thread (the
/// first call's \p size counts): made at the first call, freed when the thread ends; null when it cannot be made.
/// MinGW destroys a thread_local object only after the emulated thread storage holding it has been freed, so objects
/// with destructors must not be thread_local in code that runs on Windows.
void* threadScratch(ScratchSlot slot, std::size_t size);

/// What the C library's error number \p error means, as the reason a file stayed gives it.
std::string errorText(int error);

/// Fills \p size bytes at \p out from the system's random source; false when it refuses.
bool fillRandom(unsigned char* out, std::size_t size);

/// At most \p limit bytes from the start of the regular file \p fileName; nothing when it cannot be opened or is no
/// regular file.
std::optional<std::vector<unsigned char>> readFilePrefix(const PathString& fileName, std::size_t limit);

} // namespace twinspotter
