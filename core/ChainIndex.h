// A hash index over catalogue positions that keeps, per key, the chain of entries in ascending order.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

namespace twinspotter {

inline constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

// Open addressing over catalogue indexes; a slot holds the first and the last entry of one key's chain,
// and next[] links each entry to the following entry of the same key in ascending order.
struct ChainIndex
{
    struct Slot
    {
        std::uint32_t head = kNone;
        std::uint32_t tail = kNone;
        std::uint32_t tag = 0; ///< high bits of the key's hash: most other keys are passed over without comparing
    };
    /// Twelve bytes a slot rather than sixteen: the index of half a million catalogue entries is 4 MB smaller.
    static std::uint32_t tagOf(std::size_t hash)
    {
        return static_cast<std::uint32_t>(hash >> 32) ^ std::uint32_t(hash);
    }
    std::vector<Slot> buckets;
    std::vector<std::uint32_t> next;
    std::size_t mask = 0;

    void init(std::size_t entries)
    {
        const std::size_t capacity = std::bit_ceil(std::max<std::size_t>(16, entries * 2));
        buckets.assign(capacity, Slot{});
        next.assign(entries, kNone);
        mask = capacity - 1;
    }

    template <typename Equal> const Slot* find(std::size_t hash, Equal&& equal) const
    {
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            const Slot& s = buckets[i];
            if (s.head == kNone)
                return &s;
            if (s.tag == tagOf(hash) && equal(s.head))
                return &s;
        }
    }
    template <typename Equal> Slot* find(std::size_t hash, Equal&& equal)
    {
        return const_cast<Slot*>(std::as_const(*this).find(hash, std::forward<Equal>(equal)));
    }

    template <typename Equal> void add(std::uint32_t index, std::size_t hash, Equal&& equal)
    {
        Slot* s = find(hash, equal);
        if (s->head == kNone) {
            s->head = s->tail = index;
            s->tag = tagOf(hash);
        } else {
            next[s->tail] = index;
            s->tail = index;
        }
    }
};

} // namespace twinspotter
