#include "specctra/TranslationState.h"

#include <algorithm>

TTranslationState& TranslationState() {
    static TTranslationState state;
    return state;
}

void ResetTranslationState() {
    TranslationState().Reset();
}

namespace {

unsigned char FoldAscii(unsigned char c) {
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c;
}

} // namespace

std::size_t TPinToNetIndex::THash::operator()(std::string_view text) const noexcept {
    // FNV-1a over the upper-cased bytes.
    uint64_t hash = 14695981039346656037ull;
    for (char c : text) {
        hash ^= FoldAscii(static_cast<unsigned char>(c));
        hash *= 1099511628211ull;
    }
    return static_cast<std::size_t>(hash);
}

bool TPinToNetIndex::TEqual::operator()(std::string_view a, std::string_view b) const noexcept {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(static_cast<unsigned char>(a[i])) !=
            FoldAscii(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool TPinToNetIndex::Add(std::string_view pin, TSpecctraObject* net) {
    // One hashing: nearly every reference is new.
    const auto [it, entered] = FMap.try_emplace(std::string(pin), net);
    return entered || it->second == net;
}

TSpecctraObject* TPinToNetIndex::Find(std::string_view pin) const {
    auto it = FMap.find(pin);
    return it == FMap.end() ? nullptr : it->second;
}

void TPinToNetIndex::Remove(std::string_view pin, const TSpecctraObject* net) {
    auto it = FMap.find(pin);
    if (it != FMap.end() && it->second == net)
        FMap.erase(it);
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
