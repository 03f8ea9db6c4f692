// The record that the whole program passes around: one catalogued file or one duplicate pair.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace twinspotter {

/// Paths are the file system's own bytes, never re-encoded, so any name can be found and removed.
using PathString = std::string;

#ifdef _WIN32
/// The separator paths are made with.
inline constexpr char kSeparator = '\\';
/// Every character that separates the components of a path the user gave.
inline constexpr std::string_view kSeparators = "\\/";
/// Whether ".desktop" files are followed as links.
inline constexpr bool kDesktopLinks = false;
#else
inline constexpr char kSeparator = '/';
inline constexpr std::string_view kSeparators = "/";
inline constexpr bool kDesktopLinks = true;
#endif

/// Identity of a file on disk; two entries with the same identity are one file seen twice.
struct FileId
{
    std::uint64_t device = 0; ///< the device; on Windows the volume serial number
    std::uint64_t inode = 0;  ///< the inode; on Windows the file ID (its lower half where it has 128 bits)
#ifdef _WIN32
    std::uint64_t inodeHigh = 0; ///< the upper half of a 128-bit file ID (ReFS)
#endif
    bool operator==(const FileId&) const = default;
};

/// What a file was when the search met it. A removal goes ahead only while the file still matches its stamp, so a
/// file replaced, rewritten or reached through a swapped folder since the search is left alone.
struct FileStamp
{
    FileId id;
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0; ///< last write, nanoseconds since the epoch
    /// Last change of data or metadata: a rewrite that puts the modification time back still moves it.
    std::int64_t ctimeNs = 0;
    bool operator==(const FileStamp&) const = default;
    bool recorded() const { return id.inode != 0; }
};

/// Directory texts, stored once and shared by every record that lies in them.
/// References stay valid while the pool lives (a deque never moves its elements).
class DirectoryPool
{
public:
    const PathString* add(PathString dir)
    {
        m_dirs.push_back(std::move(dir));
        return &m_dirs.back();
    }
    std::size_t size() const { return m_dirs.size(); }

private:
    std::deque<PathString> m_dirs;
};

const PathString& emptyDirectory();

/// One catalogued file, or one duplicate pair: the file in directory1 and its copy of the same name in directory2.
struct FileRecord
{
    const PathString* directory1 = &emptyDirectory(); ///< ends with the separator
    const PathString* directory2 = &emptyDirectory(); ///< empty in a catalogue entry
    PathString name;
    std::int64_t size = 0; ///< whole size in bytes
    std::int32_t date = 0; ///< local last-write time, packed MS-DOS date-time
    bool deleted = false;  ///< the pair has been dealt with; it stays in the list but no longer shows
    FileStamp stamp1;      ///< the file in directory1 (a catalogue entry's own file)
    FileStamp stamp2;      ///< the file in directory2; unset in a catalogue entry

    const PathString& dir1() const { return *directory1; }
    const PathString& dir2() const { return *directory2; }
    PathString path1() const { return *directory1 + name; }
    PathString path2() const { return *directory2 + name; }
};

/// Ordered, append-only list of records; records are marked deleted, never taken out.
/// Holds the pool its directory pointers point into, so a pair list outlives the catalogue it came from.
class FileList
{
public:
    FileList() : m_pool(std::make_shared<DirectoryPool>()) {}
    explicit FileList(std::shared_ptr<DirectoryPool> pool) : m_pool(std::move(pool)) {}

    std::size_t size() const { return m_items.size(); }
    bool empty() const { return m_items.empty(); }
    FileRecord& operator[](std::size_t i) { return m_items[i]; }
    const FileRecord& operator[](std::size_t i) const { return m_items[i]; }
    auto begin() { return m_items.begin(); }
    auto end() { return m_items.end(); }
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

    void append(FileRecord record) { m_items.push_back(std::move(record)); }
    void reserve(std::size_t n) { m_items.reserve(n); }
    /// Empties the list and starts a fresh pool shared with \p pool's owner.
    void reset(std::shared_ptr<DirectoryPool> pool)
    {
        m_items.clear();
        m_items.shrink_to_fit();
        m_pool = std::move(pool);
    }
    void clear() { reset(std::make_shared<DirectoryPool>()); }

    const std::shared_ptr<DirectoryPool>& pool() const { return m_pool; }
    const PathString* addDirectory(PathString dir) { return m_pool->add(std::move(dir)); }

private:
    std::vector<FileRecord> m_items;
    std::shared_ptr<DirectoryPool> m_pool;
};

/// Packs broken-down local time into the MS-DOS date-time format (two-second resolution);
/// years before 1980 or after 2107 are clamped to the format's first or last value.
std::int32_t packDosDateTime(int year, int month, int day, int hour, int minute, int second);

/// Converts seconds since the epoch to the packed local date.
std::int32_t dosDateTimeFromUnix(std::int64_t seconds);

struct DosDateTime
{
    int year, month, day, hour, minute, second;
};
DosDateTime unpackDosDateTime(std::int32_t packed);

/// A file as the search recorded it: the directory text the walk made (ending with the separator), its name and
/// its stamp.
struct RecordedFile
{
    const PathString& directory;
    const PathString& name;
    const FileStamp& stamp;
};

/// A location as a search walked it: its text, ending with the separator, and the directory it led to then.
struct LocationRoot
{
    PathString directory;
    FileId id;
    /// Where it led then: the absolute path with every link and ".." resolved, ending with the separator; empty when
    /// unknown. The safety directory and the Trash name a file by it.
    PathString resolved;
};

} // namespace twinspotter
