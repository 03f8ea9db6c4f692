// The files of location 1 as the walk found them, packed for matching: a search over a million files keeps half of
// them here, so every byte of an entry counts.
#pragma once

#include "core/FileRecord.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string_view>
#include <vector>

namespace twinspotter {

/// Ordered, append-only list of catalogued files: 56 bytes a file, and its name once in a shared arena.
class Catalogue
{
public:
    Catalogue() : m_pool(std::make_shared<DirectoryPool>()) {}

    std::size_t size() const { return m_entries.size(); }
    bool empty() const { return m_entries.empty(); }

    /// Adds a file the walk found: \p dir is a text of this catalogue's pool, \p stamp what the file was.
    void add(const PathString* dir, std::string_view name, std::int32_t date, const FileStamp& stamp);
    /// Adds a record as a catalogue entry (its directory1, name, date, size and stamp1).
    void append(const FileRecord& record);

    std::string_view name(std::size_t i) const
    {
        return {m_names[m_entries[i].nameBlock].get() + m_entries[i].nameAt, m_entries[i].nameLength};
    }
    const PathString* directory(std::size_t i) const { return m_entries[i].directory; }
    std::int64_t fileSize(std::size_t i) const { return m_entries[i].stamp.size; }
    std::int32_t date(std::size_t i) const { return m_entries[i].date; }
    const FileStamp& stamp(std::size_t i) const { return m_entries[i].stamp; }

    /// The entry as a record of its own (directory1, name, date, size, stamp1), for reading it whole.
    FileRecord operator[](std::size_t i) const;

    class Iterator
    {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = FileRecord;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = FileRecord;

        Iterator(const Catalogue& catalogue, std::size_t at) : m_catalogue(&catalogue), m_at(at) {}
        FileRecord operator*() const { return (*m_catalogue)[m_at]; }
        Iterator& operator++()
        {
            ++m_at;
            return *this;
        }
        bool operator==(const Iterator& other) const { return m_at == other.m_at; }

    private:
        const Catalogue* m_catalogue;
        std::size_t m_at;
    };
    Iterator begin() const { return {*this, 0}; }
    Iterator end() const { return {*this, size()}; }

    const std::shared_ptr<DirectoryPool>& pool() const { return m_pool; }
    const PathString* addDirectory(PathString dir) { return m_pool->add(std::move(dir)); }

private:
    struct Entry
    {
        const PathString* directory;
        FileStamp stamp; ///< its size is the file's size
        std::uint32_t nameAt;
        std::uint16_t nameBlock;
        std::uint16_t nameLength;
        std::int32_t date;
    };

    std::vector<Entry> m_entries;
    // Names back to back in blocks that never move, so a block is filled once and never copied while it grows.
    std::vector<std::unique_ptr<char[]>> m_names;
    std::uint32_t m_nameUsed = 0;
    std::shared_ptr<DirectoryPool> m_pool;
};

} // namespace twinspotter
