#include "specctra/TranslationState.h"

#include "sdk/AsciiText.h"

#include <algorithm>

TTranslationState TranslationDetail::GState;

void ResetTranslationState() {
    TranslationState().Reset();
}

bool TPinToNetIndex::SameAs(uint32_t entry, std::string_view pin) const {
    const TEntry& e = FEntries[entry];
    return e.Length == pin.size() &&
           SameNameAnyCase(std::string_view(FText.data() + e.Offset, e.Length), pin);
}

const TPinToNetIndex::TEntry* TPinToNetIndex::Entry(std::string_view pin, uint64_t hash) const {
    const int64_t found = FSlots.Find(hash, [&](uint32_t i) { return SameAs(i, pin); });
    return found < 0 ? nullptr : &FEntries[found];
}

void TPinToNetIndex::Reserve(std::size_t count) {
    FEntries.reserve(count);
    FSlots.Reserve(count);
}

void TPinToNetIndex::Compact() {
    // A copy into fresh memory costs more than a little room left over.
    const auto shrink = [](auto& block) {
        if (block.capacity() - block.size() > block.size() / 8)
            block.shrink_to_fit();
    };
    shrink(FEntries);
    shrink(FText);
    FSlots.Shrink();
}

void TPinToNetIndex::Clear() {
    FSlots.Clear();
    FEntries.clear();
    FText.clear();
    FCount = 0;
}

bool TPinToNetIndex::Add(std::string_view pin, TSpecctraObject* net) {
    const int64_t found =
        FSlots.FindOrInsert(AnyCaseNameHash(pin), static_cast<uint32_t>(FEntries.size()),
                            [&](uint32_t i) { return SameAs(i, pin); });
    if (found >= 0)
        return FEntries[found].Net == net;
    FEntries.push_back(
        TEntry{static_cast<uint32_t>(FText.size()), static_cast<uint32_t>(pin.size()), net});
    FText.append(pin);
    ++FCount;
    return true;
}

TSpecctraObject* TPinToNetIndex::Find(std::string_view pin) const {
    const TEntry* entry = FCount == 0 ? nullptr : Entry(pin, AnyCaseNameHash(pin));
    return entry == nullptr ? nullptr : entry->Net;
}

void TPinToNetIndex::Prefetch(std::string_view pin) const {
    if (FCount != 0)
        FSlots.Prefetch(AnyCaseNameHash(pin));
}

bool TPinToNetIndex::Large() const {
    // 2^20 slots take 8 MB: below that, the table stays in the cache.
    return FSlots.SlotCount() >= (std::size_t{1} << 20);
}

void TPinToNetIndex::PrefetchWords(std::string_view text, int most) const {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    std::size_t at = 0;
    for (int words = 0; words < most; ++words) {
        while (at < text.size() && blank(text[at]))
            ++at;
        if (at == text.size() || text[at] == '(' || text[at] == ')' || text[at] == '"' ||
            text[at] == '\'' || text[at] == '#')
            return;
        const std::size_t start = at;
        while (at < text.size() && !blank(text[at]) && text[at] != '(' && text[at] != ')')
            ++at;
        Prefetch(text.substr(start, at - start));
    }
}

void TPinToNetIndex::Remove(std::string_view pin, const TSpecctraObject* net) {
    const uint64_t hash = AnyCaseNameHash(pin);
    const TEntry* entry = FCount == 0 ? nullptr : Entry(pin, hash);
    if (entry == nullptr || entry->Net != net)
        return;
    const uint32_t position = static_cast<uint32_t>(entry - FEntries.data());
    FSlots.Erase(hash, [&](uint32_t i) { return i == position; });
    FEntries[position].Net = nullptr;
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
        std::vector<intptr_t, TTableAllocator<intptr_t>> old(
            std::max<std::size_t>(64, FSlots.size() * 2), 0);
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
