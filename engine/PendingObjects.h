// The objects an open has read from a document and not yet put on the
// board, and the ids they were read under.
#pragma once

#include "engine/Model.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace corvane {

// Objects read from a document and not yet on the board. Unless kept, they
// are all destroyed when the reading ends, whichever way it ends; objects
// already on the board go with the board.
class PendingObjects {
public:
    explicit PendingObjects(Store& s) : s_(s) {}
    ~PendingObjects() {
        if (kept_)
            return;
        for (const Item& p : items_)
            if (s_.At(p.slot).kind != 0 && s_.At(p.slot).board == kNone)
                s_.DestroyObject(p.slot);
    }
    PendingObjects(const PendingObjects&) = delete;
    PendingObjects& operator=(const PendingObjects&) = delete;
    void Keep() { kept_ = true; }

    void Reserve(size_t n) { items_.reserve(n); }
    size_t Capacity() const { return items_.capacity(); }
    size_t Size() const { return items_.size(); }
    // The object read under `id` (above the last one's) into `slot`, naming
    // the component `container` and the net `net` (0: none).
    void Add(uint32_t slot, int64_t id, int64_t container, int64_t net) {
        const size_t i = items_.size();
        if (ids_.empty() && id != static_cast<int64_t>(i) + 1) {
            ids_.reserve(items_.capacity());
            for (size_t k = 0; k < i; ++k)
                ids_.push_back(static_cast<int64_t>(k) + 1);
        }
        if (!ids_.empty())
            ids_.push_back(id);
        items_.push_back({slot, Narrow(i, 0, container), Narrow(i, 1, net)});
    }
    int64_t Id(size_t i) const { return ids_.empty() ? static_cast<int64_t>(i) + 1 : ids_[i]; }
    int64_t LastId() const { return items_.empty() ? 0 : Id(items_.size() - 1); }
    int64_t Container(size_t i) const { return Wide(i, 0, items_[i].container); }
    int64_t Net(size_t i) const { return Wide(i, 1, items_[i].net); }
    uint32_t Slot(size_t i) const { return items_[i].slot; }
    void SetSlot(size_t i, uint32_t slot) { items_[i].slot = slot; }

    // The slot of the object read under `id`, or kNone. Documents number
    // their objects 1, 2, 3...: that id is found at its place at once.
    uint32_t SlotOf(int64_t id) const {
        if (id >= 1 && static_cast<uint64_t>(id) <= items_.size() && Id(id - 1) == id)
            return items_[id - 1].slot;
        if (ids_.empty())
            return kNone;
        auto at = std::lower_bound(ids_.begin(), ids_.end(), id);
        return at != ids_.end() && *at == id ? items_[at - ids_.begin()].slot : kNone;
    }

private:
    // Per object, 12 bytes: a large board's open holds millions of them at
    // once. The ids of a document this engine saved are 1, 2, 3..., which
    // the index gives; other ids are kept beside them, and a reference too
    // wide for 32 bits is kept apart.
    struct Item {
        uint32_t slot, container, net;
    };
    static constexpr uint32_t kWide = UINT32_MAX;
    uint32_t Narrow(size_t i, int which, int64_t id) {
        if (id >= 0 && id < kWide)
            return static_cast<uint32_t>(id);
        wide_[i * 2 + static_cast<size_t>(which)] = id;
        return kWide;
    }
    int64_t Wide(size_t i, int which, uint32_t id) const {
        return id != kWide ? id : wide_.at(i * 2 + static_cast<size_t>(which));
    }

    Store& s_;
    bool kept_ = false;
    std::vector<Item> items_;  // in ascending order of id
    std::vector<int64_t> ids_; // empty while the ids are 1, 2, 3...
    std::unordered_map<size_t, int64_t> wide_;
};

} // namespace corvane
