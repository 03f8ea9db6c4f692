// Same content: every distinct file of the candidate pairs read once, and only pairs whose bytes agree kept.
//
// A file's digest is XXH3-128 over the digests of its 1 MiB chunks, a chunk of zeros standing for itself without
// being hashed, so the holes of a sparse file need no reading. Every hash of one comparison is keyed with a secret of
// 192 random bytes drawn for that comparison alone: XXH3 is no cryptographic hash, and under a secret known in
// advance (its default one) two different files can be made to agree in closed form. Under a secret nobody can see,
// two files of equal size count as holding the same bytes when their digests are equal, which two different files
// do about once in 2^128 comparisons, however they were made.
#pragma once

#include "core/FileSystem.h"
#include "core/HashCombine.h"
#include "core/walk.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace twinspotter {

/// The secret every digest of one comparison is keyed with, drawn from the system's random source when it is made
/// and shared by all the comparison's readers. Digests made under two keys cannot be compared.
class ContentKey
{
public:
    static constexpr std::size_t kSize = 192;

    ContentKey();
    const unsigned char* secret() const { return m_random; }
    /// What stands for a chunk of zeros (of the length that a file's size gives it), unread: as secret as the
    /// hashes, so no chunk of data can be made to hash to it.
    std::uint64_t zeroChunkHigh() const;
    std::uint64_t zeroChunkLow() const;

private:
    unsigned char m_random[kSize + 16];
};

/// The files a content comparison left out of the pairs, each counted once.
struct ContentReport
{
    std::int64_t unreadable = 0; ///< could not be read
    std::int64_t changed = 0;    ///< were no longer the files the search listed when read
};

/// The files a content comparison read, with what reading each gave.
class ContentDigests
{
public:
    /// Adds the file of \p stamp unless it is known; returns its place.
    std::uint32_t add(const FileStamp& stamp);
    /// The digest of the file recorded with \p stamp, when it was read whole as that very file; null otherwise.
    const ContentDigest* find(const FileStamp& stamp) const;

    std::size_t size() const { return m_stamps.size(); }
    ContentDigest& result(std::uint32_t file) { return m_results[file]; }
    const ContentDigest& result(std::uint32_t file) const { return m_results[file]; }

private:
    struct IdHash
    {
        std::size_t operator()(const FileId& id) const { return hashCombine(id.inode, id.device); }
    };
    std::unordered_map<FileId, std::uint32_t, IdHash> m_index;
    std::vector<FileStamp> m_stamps;
    std::vector<ContentDigest> m_results;
};

/// What compareContents decided.
struct ContentComparison
{
    ContentDigests digests;
    std::vector<bool> kept; ///< per pair: decided, and its two files hold the same bytes
    bool complete = false;  ///< every pair was decided (no cancel)
    ContentReport report;

    /// Replaces \p pairs by the pairs kept, in their order.
    void keepConfirmed(FileList& pairs) const;
};

/// Reads each distinct file of the pairs whose two files have equal sizes once, in large blocks on a few worker
/// threads, and decides the pairs in list order: a pair is kept when both files were read whole, up to an end
/// where they held nothing more, as the files the search listed, and their bytes agree. The digests are keyed
/// with a ContentKey of this comparison's own. Reports progress and services events after every pair and while it
/// waits; a cancel stops the readers at once and leaves the pairs decided before it. Changes nothing on disk.
ContentComparison compareContents(const FileList& pairs, std::span<const LocationRoot> locations, WalkEnv& env);

/// The reading behind the real file system's readContent, one per back end (core/posix/, core/windows/).
ContentDigest readContentOnDisk(const ContentRequest& request);

/// Files are read and digested in chunks of this size: large enough that a read costs little beyond its copy, small
/// enough to stay in the core's cache for the hash.
inline constexpr std::uint64_t kContentChunk = 1 << 20;

/// The keyed digest of one file, fed its chunks in order by a back end's reader: the part of reading a file both back
/// ends share, so equal bytes give equal digests whichever reads them. One at a time per thread (they share the
/// thread's read buffer).
class ChunkDigester
{
public:
    explicit ChunkDigester(const ContentRequest& request);
    /// False when the digest's state could not be made.
    bool ready() const { return m_ready; }
    /// kContentChunk bytes of this thread's own to read into.
    static char* buffer();
    /// A whole chunk of \p length zeros that needed no reading (a hole). False when the reader is asked to stop.
    bool addZeros(std::uint64_t length);
    /// A chunk read; one of zeros counts as a hole, so a file digests alike however sparse it is.
    bool addData(const char* data, std::size_t length);
    ContentDigest digest() const;

private:
    bool add(std::uint64_t high, std::uint64_t low, std::uint64_t length);

    const ContentRequest& m_request;
    struct StateFree
    {
        void operator()(void* state) const;
    };
    std::unique_ptr<void, StateFree> m_state; ///< the XXH3 state, one per file: a few hundred bytes
    bool m_ready = false;
};

} // namespace twinspotter
