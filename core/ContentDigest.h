// A file's content as a digest, and the request to read one.
#pragma once

#include "core/FileRecord.h"

#include <cstdint>
#include <functional>
#include <span>

namespace twinspotter {

class DirectoryCache;

/// What reading a file for its content gave.
enum class ContentStatus : std::uint8_t {
    Digested,   ///< read whole; the digest stands for its bytes
    Changed,    ///< no longer the file the search listed (gone, replaced, rewritten, or changed while read)
    Unreadable, ///< it cannot be read (error), or it is no regular file
    Stopped     ///< the reader was asked to stop
};

/// A file's content as a 128-bit digest: equal digests mean equal bytes (see ContentCompare.h).
struct ContentDigest
{
    ContentStatus status = ContentStatus::Unreadable;
    int error = 0;
    std::uint64_t high = 0;
    std::uint64_t low = 0;

    bool sameBytes(const ContentDigest& other) const
    {
        return status == ContentStatus::Digested && other.status == ContentStatus::Digested && high == other.high &&
               low == other.low;
    }
};

class ContentKey;

/// One file to read for its content.
struct ContentRequest
{
    RecordedFile file;
    std::span<const LocationRoot> locations;
    /// The secret the digest is keyed with, the same for every file of one comparison (see ContentCompare.h). Required.
    const ContentKey* key = nullptr;
    /// The folders this reader has already reached; one per reading thread.
    DirectoryCache* cache = nullptr;
    /// Called after each block with the bytes it covered; reading stops when it returns false.
    std::function<bool(std::uint64_t bytes)> onBlock;
};

} // namespace twinspotter
