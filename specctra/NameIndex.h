// An open-addressed index from names to positions in a list kept elsewhere,
// and the two name hashes it is used with.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "sdk/HugePages.h"

// Room for the tables of the name indexes: a table of a large board spans
// tens of megabytes and is probed at random, so that large ones are backed
// by huge pages where the system allows.
template <class T> using TTableAllocator = HostSdk::TableAllocator<T>;

// A slot holds the upper half of the name's hash and the position + 1; 0 is
// a free slot. The upper half also chooses the slot where a probe starts,
// so growing the table reads no name. The names themselves stay with the
// listed objects: an entry costs no allocation, and a board of a million
// names fills it without a million small blocks.
class TNamePositionIndex {
public:
    // The position of the name whose hash is `hash` and for which
    // `same(position)` holds, or -1.
    template <class TSame> int64_t Find(uint64_t hash, TSame&& same) const {
        const std::size_t slot = SlotOf(hash, same);
        return slot == kNone ? -1 : static_cast<int64_t>(static_cast<uint32_t>(FSlots[slot]) - 1);
    }
    // The lowest position for which `same` holds among the names whose hash
    // is `hash`, or -1: the index may hold several names that `same` takes
    // (names equal without regard to case, under a hash that ignores case),
    // and the probe order need not be the order they were entered in.
    template <class TSame> int64_t FindLowest(uint64_t hash, TSame&& same) const {
        if (FSlots.empty())
            return -1;
        const std::size_t mask = FSlots.size() - 1;
        const uint64_t tag = hash & 0xFFFFFFFF00000000ull;
        int64_t lowest = -1;
        for (std::size_t i = (hash >> 32) & mask;; i = (i + 1) & mask) {
            const uint64_t slot = FSlots[i];
            if (slot == 0)
                return lowest;
            const auto position = static_cast<int64_t>(static_cast<uint32_t>(slot) - 1);
            if (slot != kRemoved && (slot & 0xFFFFFFFF00000000ull) == tag &&
                (lowest < 0 || position < lowest) && same(static_cast<uint32_t>(position)))
                lowest = position;
        }
    }
    // The position of the name as Find finds it; when there is none, enters
    // the name at `position` and answers -1. One probe does both.
    template <class TSame> int64_t FindOrInsert(uint64_t hash, uint32_t position, TSame&& same) {
        if ((FUsed + 1) * 2 > FSlots.size())
            Grow(FLive + 1);
        const std::size_t mask = FSlots.size() - 1;
        const uint64_t tag = hash & 0xFFFFFFFF00000000ull;
        std::size_t free = kNone;
        std::size_t i = (hash >> 32) & mask;
        for (;; i = (i + 1) & mask) {
            const uint64_t slot = FSlots[i];
            if (slot == 0)
                break;
            if (slot == kRemoved) {
                if (free == kNone)
                    free = i;
            } else if ((slot & 0xFFFFFFFF00000000ull) == tag &&
                       same(static_cast<uint32_t>(slot) - 1)) {
                return static_cast<uint32_t>(slot) - 1;
            }
        }
        if (free == kNone) {
            free = i;
            ++FUsed;
        }
        FSlots[free] = tag | (uint64_t{position} + 1);
        ++FLive;
        return -1;
    }
    // Takes out the name found as Find finds it; its slot stays marked
    // until the table next grows, so that later probes pass over it.
    template <class TSame> void Erase(uint64_t hash, TSame&& same) {
        const std::size_t slot = SlotOf(hash, same);
        if (slot == kNone)
            return;
        FSlots[slot] = kRemoved;
        --FLive;
    }
    // Starts loading the slot where a probe for `hash` begins, so that a
    // look-up made soon after waits for no memory.
    void Prefetch(uint64_t hash) const {
        if (!FSlots.empty())
            __builtin_prefetch(&FSlots[(hash >> 32) & (FSlots.size() - 1)]);
    }
    std::size_t SlotCount() const { return FSlots.size(); }
    // Room for `count` names without growing.
    void Reserve(std::size_t count) {
        if (count * 2 > FSlots.size())
            Grow(count);
    }
    void Clear() {
        FSlots.clear();
        FUsed = FLive = 0;
    }
    // For an index that is complete: gives back the slots beyond what keeps
    // it at most three quarters full (half full is what adding keeps, so that
    // a probe for a new name ends soon). A table of a million names probed at
    // random is touched all over: every slot freed is memory given back. The
    // next name added grows the table again.
    void Shrink() {
        std::size_t size = 16;
        while (size * 3 < FLive * 4)
            size *= 2;
        if (size < FSlots.size())
            Rehash(size);
    }

private:
    static constexpr uint64_t kRemoved = ~uint64_t{0};
    static constexpr std::size_t kNone = ~std::size_t{0};

    template <class TSame> std::size_t SlotOf(uint64_t hash, TSame& same) const {
        if (FSlots.empty())
            return kNone;
        const std::size_t mask = FSlots.size() - 1;
        const uint64_t tag = hash & 0xFFFFFFFF00000000ull;
        for (std::size_t i = (hash >> 32) & mask;; i = (i + 1) & mask) {
            const uint64_t slot = FSlots[i];
            if (slot == 0)
                return kNone;
            if (slot != kRemoved && (slot & 0xFFFFFFFF00000000ull) == tag &&
                same(static_cast<uint32_t>(slot) - 1))
                return i;
        }
    }
    // At most half the slots in use (names and removal marks), so that
    // every probe ends soon; the marks are dropped.
    void Grow(std::size_t names) {
        std::size_t size = 16;
        while (size < names * 2)
            size *= 2;
        Rehash(std::max(size, FLive * 4 >= FSlots.size() ? FSlots.size() * 2 : FSlots.size()));
    }
    // Every name into a table of `size` slots (a power of two above the
    // names' count); the removal marks are dropped. The slot a name starts
    // from comes from the hash bits its entry keeps.
    void Rehash(std::size_t size) {
        std::vector<uint64_t, TTableAllocator<uint64_t>> old(size, 0);
        old.swap(FSlots);
        const std::size_t mask = FSlots.size() - 1;
        FUsed = 0;
        for (const uint64_t slot : old) {
            if (slot == 0 || slot == kRemoved)
                continue;
            std::size_t i = (slot >> 32) & mask;
            while (FSlots[i] != 0)
                i = (i + 1) & mask;
            FSlots[i] = slot;
            ++FUsed;
        }
    }

    std::vector<uint64_t, TTableAllocator<uint64_t>> FSlots;
    std::size_t FUsed = 0; // names and removal marks
    std::size_t FLive = 0; // names
};

// Hashes of a name as it is and without regard to ASCII letter case, their
// bits mixed so that both halves serve the index.
uint64_t ExactNameHash(std::string_view name);
uint64_t AnyCaseNameHash(std::string_view name);
// Whether two names are the same without regard to ASCII letter case.
bool SameNameAnyCase(std::string_view a, std::string_view b);

// The first eight bytes of a name (zero after its end) as a number that
// orders names as a byte-by-byte comparison does: names whose keys differ
// compare as their keys; names with equal keys must be compared in full.
inline uint64_t NamePrefixKey(std::string_view name) {
    uint64_t key = 0;
    if (!name.empty())
        std::memcpy(&key, name.data(), std::min<std::size_t>(name.size(), 8));
    if constexpr (std::endian::native == std::endian::little)
        key = __builtin_bswap64(key);
    return key;
}

// Eight bytes with their ASCII lower-case letters in upper case: a byte is a
// lower-case letter when its low seven bits lie in 'a' .. 'z' and its high
// bit is clear; such bytes lose their 0x20 bit.
inline uint64_t UpperAsciiWord(uint64_t x) {
    constexpr uint64_t ones = 0x0101010101010101ull;
    const uint64_t low = x & (0x7F * ones);
    const uint64_t atLeastA = low + (0x80 - 'a') * ones;
    const uint64_t aboveZ = low + (0x80 - 'z' - 1) * ones;
    const uint64_t lower = atLeastA & ~aboveZ & ~x & (0x80 * ones);
    return x ^ (lower >> 2);
}
