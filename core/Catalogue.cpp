// The catalogue's entries and its name arena.
#include "core/Catalogue.h"

#include <cstring>
#include <stdexcept>

namespace twinspotter {

namespace {

// Big enough that a million names take a few dozen blocks, small enough that the last one wastes little.
constexpr std::uint32_t kNameBlock = 1 << 20;

} // namespace

void Catalogue::add(const PathString* dir, std::string_view name, std::int32_t date, const FileStamp& stamp)
{
    // A file name is at most 255 bytes on Linux; a name is never cut, which could make it another file's.
    if (name.size() > 0xFFFF)
        throw std::length_error("a file name longer than 65535 bytes");
    const auto length = static_cast<std::uint16_t>(name.size());
    if (m_names.empty() || m_nameUsed + length > kNameBlock) {
        m_names.push_back(std::make_unique_for_overwrite<char[]>(kNameBlock));
        m_nameUsed = 0;
    }
    std::memcpy(m_names.back().get() + m_nameUsed, name.data(), length);
    m_entries.push_back(Entry{dir, stamp, m_nameUsed, static_cast<std::uint16_t>(m_names.size() - 1), length, date});
    m_nameUsed += length;
}

void Catalogue::append(const FileRecord& record)
{
    FileStamp stamp = record.stamp1;
    stamp.size = record.size;
    add(record.directory1, record.name, record.date, stamp);
}

FileRecord Catalogue::operator[](std::size_t i) const
{
    FileRecord record;
    record.directory1 = directory(i);
    record.name = PathString(name(i));
    record.size = fileSize(i);
    record.date = date(i);
    record.stamp1 = stamp(i);
    return record;
}

} // namespace twinspotter
