// A table from keys (hashes, or numbers of the store) to 32-bit values,
// several values to a key if the caller adds them: open addressing on a
// multiplicative hash of the key, a removed cell's followers moved up behind
// it, so that no probe passes dead cells and a probe reads one cache line
// where a node table reads several. A board of a million objects meets each
// cell as a cache miss: on huge pages it is not an address translation miss
// as well.
#pragma once

#include "engine/ModelBase.h"
#include "sdk/HugePages.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvane {

template <class Key> class FlatTable {
public:
    // The first value under `key` that `match` takes; kNone when none does.
    template <class Match> uint32_t Find(Key key, Match&& match) const {
        if (count_ == 0)
            return kNone;
        for (size_t i = Home(key); cells_[i].value != kNone; i = (i + 1) & mask_)
            if (cells_[i].key == key && match(cells_[i].value))
                return cells_[i].value;
        return kNone;
    }
    uint32_t Find(Key key) const {
        return Find(key, [](uint32_t) { return true; });
    }
    // Adds a value under `key` (a value, not kNone), beside any it holds
    // there.
    void Add(Key key, uint32_t value) {
        if ((count_ + 1) * 2 > cells_.size())
            Grow();
        size_t i = Home(key);
        while (cells_[i].value != kNone)
            i = (i + 1) & mask_;
        cells_[i] = Cell{key, value};
        ++count_;
    }
    // The value under `key`, the only one: replaced when there is one.
    void Set(Key key, uint32_t value) {
        if (count_ > 0)
            for (size_t i = Home(key); cells_[i].value != kNone; i = (i + 1) & mask_)
                if (cells_[i].key == key) {
                    cells_[i].value = value;
                    return;
                }
        Add(key, value);
    }
    // Removes the first value under `key` that `match` takes; false when none.
    template <class Match> bool Erase(Key key, Match&& match) {
        if (count_ == 0)
            return false;
        size_t hole = Home(key);
        for (;; hole = (hole + 1) & mask_) {
            if (cells_[hole].value == kNone)
                return false;
            if (cells_[hole].key == key && match(cells_[hole].value))
                break;
        }
        // A follower, up to the next empty cell, moves into the hole unless
        // its home lies between the hole and where it stands.
        for (size_t i = (hole + 1) & mask_; cells_[i].value != kNone; i = (i + 1) & mask_) {
            const size_t home = Home(cells_[i].key);
            if (((i - home) & mask_) >= ((i - hole) & mask_)) {
                cells_[hole] = cells_[i];
                hole = i;
            }
        }
        cells_[hole].value = kNone;
        --count_;
        return true;
    }
    bool Erase(Key key) {
        return Erase(key, [](uint32_t) { return true; });
    }
    size_t size() const { return count_; }
    // Gives the table's memory back when it holds nothing (the table of a
    // large board closed).
    void ReleaseIfEmpty() {
        if (count_ != 0)
            return;
        std::vector<Cell, HostSdk::TableAllocator<Cell>>().swap(cells_);
        mask_ = 0;
        shift_ = 63;
    }

private:
    struct Cell {
        Key key = 0;
        uint32_t value = kNone; // kNone: an empty cell
    };
    std::vector<Cell, HostSdk::TableAllocator<Cell>> cells_;
    size_t count_ = 0;
    size_t mask_ = 0;
    int shift_ = 63;

    size_t Home(Key key) const {
        return static_cast<size_t>((uint64_t{key} * 0x9E3779B97F4A7C15ull) >> shift_) & mask_;
    }
    void Grow() {
        const size_t size = cells_.empty() ? 64 : cells_.size() * 2;
        std::vector<Cell, HostSdk::TableAllocator<Cell>> old(size);
        old.swap(cells_);
        mask_ = size - 1;
        shift_ = 64 - std::countr_zero(size);
        count_ = 0;
        for (const Cell& c : old)
            if (c.value != kNone)
                Add(c.key, c.value);
    }
};

// Keys of 64 bits: full hashes, or a slot with the link it names.
using FlatCells = FlatTable<uint64_t>;

} // namespace corvane
