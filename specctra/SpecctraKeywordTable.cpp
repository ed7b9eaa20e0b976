// The keyword table of the reader: keywords by their upper-case text, shared
// between readers until one adds a keyword.
#include "specctra/SpecctraParser2.h"

#include "board/PCBProcs.h"
#include "sdk/AsciiText.h"
#include "specctra/HostHooks.h"
#include "specctra/NameIndex.h"
#include "specctra/SpecctraHelpers.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// ---------------------------------------------------------------------------
// TKeywordTable

TKeywordTable::TKeywordTable(TFresh) : FStore(std::make_shared<TStore>()) {
    FStore->Slots.resize(1024);
    Add("DR", 0);
}

// Every table starts as the same one-entry table, shared until a keyword is
// added: a parser made for a short piece of text costs no table of its own.
TKeywordTable::TKeywordTable() {
    static const TKeywordTable initial{TFresh{}};
    FStore = initial.FStore;
}

TKeywordTable::TKey TKeywordTable::KeyOfView(std::string_view text) {
    char buffer[16] = {};
    std::memcpy(buffer, text.data(), std::min<std::size_t>(text.size(), sizeof buffer));
    return KeyOf(buffer, text.size());
}

namespace {

// The slot index of a key: two multiplications, no branch on its length.
// Keys longer than 16 bytes that share their first 16 share a hash; the
// look-up compares their rest.
inline std::size_t KeyHash(uint64_t head, uint64_t tail, std::size_t length) {
    uint64_t h = (head * 0x9E3779B97F4A7C15ull) ^ (tail * 0xC2B2AE3D27D4EB4Full) ^ length;
    h ^= h >> 32;
    h ^= h >> 15;
    return static_cast<std::size_t>(h);
}

} // namespace

inline std::size_t TKeywordTable::SlotOf(const TKey& key, std::string_view upperKey) const {
    const TStore& store = *FStore;
    const TSlot* slots = store.Slots.data();
    const std::size_t mask = store.Slots.size() - 1;
    std::size_t i = KeyHash(key.Head, key.Tail, key.Length) & mask;
    for (;; i = (i + 1) & mask) {
        const TSlot& slot = slots[i];
        if (!slot.Used) {
            return i;
        }
        if (((slot.Head ^ key.Head) | (slot.Tail ^ key.Tail) | (slot.Length ^ key.Length)) != 0) {
            continue;
        }
        if (key.Length <= 16 || std::memcmp(store.Keys.data() + slot.KeyOffset + 16,
                                            upperKey.data() + 16, key.Length - 16) == 0) {
            return i;
        }
    }
}

void TKeywordTable::Grow() {
    std::vector<TSlot> old(FStore->Slots.size() * 2);
    old.swap(FStore->Slots);
    const std::size_t mask = FStore->Slots.size() - 1;
    for (const TSlot& slot : old) {
        if (slot.Used) {
            // Keys are unique: the first free slot is the place.
            std::size_t i = KeyHash(slot.Head, slot.Tail, slot.Length) & mask;
            while (FStore->Slots[i].Used)
                i = (i + 1) & mask;
            FStore->Slots[i] = slot;
        }
    }
}

bool TKeywordTable::Add(std::string_view keyword, int32_t id) {
    const std::string upper = UpperAscii(keyword);
    if (upper.size() > UINT16_MAX) {
        return false; // no keyword is that long
    }
    const TKey key = KeyOfView(upper);
    if (FStore->Slots[SlotOf(key, upper)].Used) {
        return false;
    }
    if (FStore.use_count() > 1) {
        FStore = std::make_shared<TStore>(*FStore); // shared with a copy: this one changes
    }
    TStore& store = *FStore;
    if ((store.Count + 1) * 2 > store.Slots.size()) {
        Grow();
    }
    TSlot& slot = store.Slots[SlotOf(key, upper)];
    slot.KeyOffset = static_cast<uint32_t>(store.Keys.size());
    slot.Length = static_cast<uint16_t>(upper.size());
    store.Keys += upper;
    slot.Spelling = static_cast<uint32_t>(store.Spellings.size());
    store.Spellings.emplace_back(keyword);
    slot.Head = key.Head;
    slot.Tail = key.Tail;
    slot.Id = id;
    slot.Used = true;
    ++store.Count;
    if (!upper.empty()) {
        const char first = upper.front();
        store.NumberLikeKeys = store.NumberLikeKeys || (first >= '0' && first <= '9') ||
                               first == '-' || first == '+' || first == '.';
        store.Lengths[static_cast<unsigned char>(upper.front()) & 63]
                     [static_cast<unsigned char>(upper.back()) & 63] |=
            uint64_t{1} << std::min<std::size_t>(upper.size(), 63);
    }
    return true;
}

bool TKeywordTable::FindKeyOf(const TKey& key, std::string_view upperWord, int32_t& id) const {
    const TSlot& slot = FStore->Slots[SlotOf(key, upperWord)];
    if (!slot.Used) {
        return false;
    }
    id = slot.Id;
    return true;
}

bool TKeywordTable::FindHashed(std::string_view upperWord, int32_t& id) const {
    return FindKeyOf(KeyOfView(upperWord), upperWord, id);
}

bool TKeywordTable::FindKeyInData(const char* text, std::size_t length, bool lower,
                                  int32_t& id) const {
    TKey key = KeyOf(text, length);
    if (lower) {
        key.Head = UpperAsciiWord(key.Head);
        key.Tail = UpperAsciiWord(key.Tail);
    }
    return FindKeyOf(key, std::string_view(text, length), id);
}

bool TKeywordTable::Find(std::string_view word, int32_t& id) const {
    return FindUpper(UpperAscii(word), id);
}

std::vector<std::pair<std::string, int32_t>> TKeywordTable::Sorted() const {
    std::vector<std::pair<std::string, int32_t>> result;
    std::vector<const TSlot*> used;
    for (const auto& slot : FStore->Slots) {
        if (slot.Used) {
            used.push_back(&slot);
        }
    }
    const std::string_view keys = FStore->Keys;
    std::sort(used.begin(), used.end(), [keys](const TSlot* a, const TSlot* b) {
        return keys.substr(a->KeyOffset, a->Length) < keys.substr(b->KeyOffset, b->Length);
    });
    for (const TSlot* slot : used) {
        result.emplace_back(FStore->Spellings[slot->Spelling], slot->Id);
    }
    return result;
}
