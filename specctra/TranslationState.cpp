#include "specctra/TranslationState.h"

#include <algorithm>

TTranslationState TranslationDetail::GState;

void ResetTranslationState() {
    TranslationState().Reset();
}

namespace {

unsigned char FoldAscii(unsigned char c) {
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c;
}

} // namespace

uint64_t TPinToNetIndex::Hash(std::string_view pin) {
    // FNV-1a over the upper-cased bytes, its bits mixed once more: the slot
    // comes from the low bits, the tag kept in the slot from the high ones.
    uint64_t hash = 14695981039346656037ull;
    for (char c : pin) {
        hash ^= FoldAscii(static_cast<unsigned char>(c));
        hash *= 1099511628211ull;
    }
    hash ^= hash >> 29;
    hash *= 0xbf58476d1ce4e5b9ull;
    hash ^= hash >> 32;
    return hash;
}

std::size_t TPinToNetIndex::Probe(std::string_view pin, uint64_t hash) const {
    const std::size_t mask = FSlots.size() - 1;
    const uint64_t tag = hash & 0xFFFFFFFF00000000ull;
    std::size_t removed = FSlots.size();
    for (std::size_t i = (hash >> 32) & mask;; i = (i + 1) & mask) {
        const uint64_t slot = FSlots[i];
        if (slot == 0)
            return removed < FSlots.size() ? removed : i;
        if (slot == kRemoved) {
            if (removed == FSlots.size())
                removed = i;
            continue;
        }
        if ((slot & 0xFFFFFFFF00000000ull) != tag)
            continue;
        const TEntry& entry = FEntries[(slot & 0xFFFFFFFFull) - 1];
        if (entry.Length != pin.size())
            continue;
        const char* text = FText.data() + entry.Offset;
        std::size_t k = 0;
        while (k < pin.size() && FoldAscii(static_cast<unsigned char>(text[k])) ==
                                     FoldAscii(static_cast<unsigned char>(pin[k])))
            ++k;
        if (k == pin.size())
            return i;
    }
}

void TPinToNetIndex::Grow(std::size_t entries) {
    // At most half the slots in use, so that every probe ends soon.
    std::size_t size = 64;
    while (size < entries * 2)
        size *= 2;
    if (size <= FSlots.size())
        return;
    std::vector<uint64_t> old(size, 0);
    old.swap(FSlots);
    FUsedSlots = 0;
    for (const uint64_t slot : old) {
        if (slot == 0 || slot == kRemoved)
            continue;
        // The home slot comes from the hash's upper half, which the slot
        // keeps: growing touches no reference text.
        std::size_t i = (slot >> 32) & (FSlots.size() - 1);
        while (FSlots[i] != 0)
            i = (i + 1) & (FSlots.size() - 1);
        FSlots[i] = slot;
        ++FUsedSlots;
    }
}

void TPinToNetIndex::Reserve(std::size_t count) {
    FEntries.reserve(count);
    Grow(count);
}

void TPinToNetIndex::Clear() {
    FSlots.clear();
    FEntries.clear();
    FText.clear();
    FCount = 0;
    FUsedSlots = 0;
}

bool TPinToNetIndex::Add(std::string_view pin, TSpecctraObject* net) {
    if (FUsedSlots + 1 > FSlots.size() / 2)
        Grow(std::max(FUsedSlots + 1, FSlots.size()));
    const uint64_t hash = Hash(pin);
    const std::size_t i = Probe(pin, hash);
    const uint64_t slot = FSlots[i];
    if (slot != 0 && slot != kRemoved)
        return FEntries[(slot & 0xFFFFFFFFull) - 1].Net == net;
    FEntries.push_back(
        TEntry{static_cast<uint32_t>(FText.size()), static_cast<uint32_t>(pin.size()), net});
    FText.append(pin);
    if (slot == 0)
        ++FUsedSlots;
    FSlots[i] = (hash & 0xFFFFFFFF00000000ull) | FEntries.size();
    ++FCount;
    return true;
}

TSpecctraObject* TPinToNetIndex::Find(std::string_view pin) const {
    if (FCount == 0)
        return nullptr;
    const uint64_t slot = FSlots[Probe(pin, Hash(pin))];
    return slot == 0 || slot == kRemoved ? nullptr : FEntries[(slot & 0xFFFFFFFFull) - 1].Net;
}

void TPinToNetIndex::Remove(std::string_view pin, const TSpecctraObject* net) {
    if (FCount == 0)
        return;
    const std::size_t i = Probe(pin, Hash(pin));
    const uint64_t slot = FSlots[i];
    if (slot == 0 || slot == kRemoved)
        return;
    TEntry& entry = FEntries[(slot & 0xFFFFFFFFull) - 1];
    if (entry.Net != net)
        return;
    entry.Net = nullptr;
    FSlots[i] = kRemoved;
    --FCount;
}

std::size_t THandleSet::Slot(intptr_t handle) const {
    // Handles met one after the other mostly differ in their low bits: kept
    // as they are, neighbours stay neighbours in the table (few cache
    // misses on a large board); the high bits are folded in.
    const auto key = static_cast<uint64_t>(handle);
    return static_cast<std::size_t>(key ^ (key >> 24) ^ (key >> 48)) & (FSlots.size() - 1);
}

bool THandleSet::insert(intptr_t handle) {
    if (handle == 0)
        return false;
    // At most half full, so that every probe ends soon.
    if ((FSize + 1) * 2 > FSlots.size()) {
        std::vector<intptr_t> old(std::max<std::size_t>(64, FSlots.size() * 2), 0);
        old.swap(FSlots);
        FSize = 0;
        for (intptr_t kept : old)
            if (kept != 0)
                insert(kept);
    }
    for (std::size_t i = Slot(handle);; i = (i + 1) & (FSlots.size() - 1)) {
        if (FSlots[i] == handle)
            return false;
        if (FSlots[i] == 0) {
            FSlots[i] = handle;
            ++FSize;
            return true;
        }
    }
}

std::size_t THandleSet::count(intptr_t handle) const {
    if (handle == 0 || FSlots.empty())
        return 0;
    for (std::size_t i = Slot(handle);; i = (i + 1) & (FSlots.size() - 1)) {
        if (FSlots[i] == handle)
            return 1;
        if (FSlots[i] == 0)
            return 0;
    }
}

void THandleSet::clear() {
    FSlots.clear();
    FSize = 0;
}
