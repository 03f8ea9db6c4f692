// The selected rows of a removal command matched to the pairs they show, made once for the whole command.
#pragma once

#include "core/ChainIndex.h"
#include "core/FileRecord.h"
#include "core/HashCombine.h"
#include "core/remove.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace twinspotter {

inline std::size_t rowHash(std::string_view directory, std::string_view name)
{
    return hashCombine(std::hash<std::string_view>{}(directory), std::hash<std::string_view>{}(name));
}

// The selected rows grouped by what they show, with the pairs each group can name in list order, made in one pass
// over the rows and two over the list: a row then finds its pair without looking at the list again.
class RowCandidates
{
public:
    RowCandidates(const std::vector<SelectedRow>& rows, const FileList& pairs, Side side) : m_groupOfRow(rows.size())
    {
        ChainIndex index;
        index.init(rows.size());
        for (std::uint32_t r = 0; r < rows.size(); ++r) {
            const SelectedRow& row = rows[r];
            ChainIndex::Slot* slot = index.find(rowHash(row.directory, row.name), [&](std::uint32_t other) {
                return rows[other].name == row.name && rows[other].directory == row.directory;
            });
            if (slot->head != kNone) {
                m_groupOfRow[r] = m_groupOfRow[slot->head];
                continue;
            }
            slot->head = slot->tail = r;
            slot->tag = ChainIndex::tagOf(rowHash(row.directory, row.name));
            m_groupOfRow[r] = m_groups++;
        }
        std::vector<std::uint32_t> groupOfPair(pairs.size(), kNone);
        m_start.assign(m_groups + 1, 0);
        for (std::uint32_t i = 0; i < pairs.size(); ++i) {
            const std::string_view directory = sideDirectory(pairs[i], side);
            const std::string_view name = pairs[i].name;
            const ChainIndex::Slot* slot = index.find(rowHash(directory, name), [&](std::uint32_t other) {
                return rows[other].name == name && rows[other].directory == directory;
            });
            if (slot->head == kNone)
                continue;
            groupOfPair[i] = m_groupOfRow[slot->head];
            ++m_start[groupOfPair[i] + 1];
        }
        for (std::uint32_t g = 0; g < m_groups; ++g)
            m_start[g + 1] += m_start[g];
        m_next.assign(m_start.begin(), m_start.end() - 1);
        m_pairs.resize(m_start.back());
        std::vector<std::uint32_t> fill(m_next);
        for (std::uint32_t i = 0; i < pairs.size(); ++i)
            if (groupOfPair[i] != kNone)
                m_pairs[fill[groupOfPair[i]]++] = i;
    }

    /// The first pair not marked deleted that row \p row names, or none.
    std::optional<std::size_t> pairOf(std::size_t row, const FileList& pairs)
    {
        const std::uint32_t group = m_groupOfRow[row];
        std::uint32_t& next = m_next[group];
        // Deleted marks are only ever set, so pairs passed over for one row stay passed over for the next.
        while (next < m_start[group + 1] && pairs[m_pairs[next]].deleted)
            ++next;
        if (next == m_start[group + 1])
            return std::nullopt;
        return m_pairs[next];
    }

private:
    std::vector<std::uint32_t> m_groupOfRow;
    std::uint32_t m_groups = 0;
    std::vector<std::uint32_t> m_start; ///< group -> its first place in m_pairs; one more for the end
    std::vector<std::uint32_t> m_next;  ///< group -> the first of its pairs not known to be deleted
    std::vector<std::uint32_t> m_pairs; ///< pair indexes, grouped, in list order within a group
};

} // namespace twinspotter
