// The ground of the Corvane board database: object kinds, the texts records
// share, and the links that thread objects into lists.
#pragma once

#include "sdk/HugePages.h"
#include "sdk/ObjectKinds.h"
#include "sdk/PcbApi.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace corvane {

constexpr int kLayerCount = 83; // TV6_Layer 0..82
constexpr int kKindCount = PCBAPI_OBJECT_KIND_COUNT;
constexpr int kRuleKindCount = 67;
constexpr uint32_t kNone = 0xFFFFFFFFu;

enum Kind : int32_t {
#define CORVANE_KIND(name, ordinal) k##name = ordinal,
    PCBAPI_OBJECT_KINDS(CORVANE_KIND)
#undef CORVANE_KIND
};

const char* KindName(int32_t kind);
const char* LayerDefaultName(int32_t layer);

// A text most records share or leave empty (pad names, footprint and font
// names), kept once in a store-wide pool; the record holds its number.
class Interned {
public:
    Interned() = default;
    Interned(std::string_view s) : id_(Intern(s)) {}
    Interned& operator=(std::string_view s) {
        id_ = Intern(s);
        return *this;
    }
    const std::string& str() const;
    operator const std::string&() const { return str(); }
    bool operator==(std::string_view s) const { return str() == s; }

private:
    uint32_t id_ = 0; // 0: the empty text
    static uint32_t Intern(std::string_view s);
};

// Texts that few records set (a component's source designator and id): while
// all are empty they cost one pointer rather than a string each.
template <size_t N> class RareTexts {
public:
    RareTexts() = default;
    RareTexts(const RareTexts& other) { *this = other; }
    RareTexts& operator=(const RareTexts& other) {
        if (this != &other)
            texts_ = other.texts_ ? std::make_unique<std::array<std::string, N>>(*other.texts_)
                                  : nullptr;
        return *this;
    }
    const std::string& str(size_t i) const {
        static const std::string empty;
        return texts_ ? (*texts_)[i] : empty;
    }
    void set(size_t i, std::string_view s) {
        if (!texts_) {
            if (s.empty())
                return;
            texts_ = std::make_unique<std::array<std::string, N>>();
        }
        (*texts_)[i].assign(s);
        for (const std::string& t : *texts_)
            if (!t.empty())
                return;
        texts_.reset();
    }

private:
    std::unique_ptr<std::array<std::string, N>> texts_;
};

// A text in 16 bytes: up to 15 characters in place, a longer one in a block
// of its own. For texts most records of a kind set to a few characters (net
// names, designators), where a std::string would take twice the room.
class SmallText {
public:
    SmallText() = default;
    SmallText(std::string_view s) { Assign(s); }
    SmallText(const SmallText& other) { Assign(other.view()); }
    SmallText& operator=(const SmallText& other) { return *this = other.view(); }
    SmallText& operator=(std::string_view s) {
        SmallText made(s); // `s` may lie in this text
        std::swap(raw_, made.raw_);
        return *this;
    }
    ~SmallText() { delete[] Far(); }
    std::string_view view() const {
        if (raw_[kTag] == kFarTag) {
            uint32_t size = 0;
            std::memcpy(&size, raw_.data() + sizeof(char*), sizeof size);
            return {Far(), size};
        }
        return {raw_.data(), static_cast<size_t>(raw_[kTag])};
    }
    operator std::string_view() const { return view(); }
    std::string str() const { return std::string(view()); }
    bool operator==(std::string_view s) const { return view() == s; }

private:
    static constexpr size_t kTag = 15; // the in-place length, or kFarTag
    static constexpr char kFarTag = -1;
    // In place: the characters, then their count in the last byte. Far: the
    // block's address and the length, kFarTag in the last byte.
    // Kept unaligned (the address is copied in and out), so that a record
    // of a text and a few words takes no padding.
    std::array<char, 16> raw_{};

    char* Far() const {
        if (raw_[kTag] != kFarTag)
            return nullptr;
        char* far = nullptr;
        std::memcpy(&far, raw_.data(), sizeof far);
        return far;
    }
    void Assign(std::string_view s) {
        if (s.size() <= kTag) {
            std::memcpy(raw_.data(), s.data(), s.size());
            raw_[kTag] = static_cast<char>(s.size());
            return;
        }
        if (s.size() > UINT32_MAX)
            throw std::length_error("text too long");
        char* far = new char[s.size()];
        std::memcpy(far, s.data(), s.size());
        const auto size = static_cast<uint32_t>(s.size());
        std::memcpy(raw_.data(), &far, sizeof far);
        std::memcpy(raw_.data() + sizeof far, &size, sizeof size);
        raw_[kTag] = kFarTag;
    }
};
static_assert(sizeof(SmallText) == 16);

// Doubly linked list through object slots; each object carries one link pair
// per list family (kind, layer, container, net).
struct ListHead {
    uint32_t first = kNone;
    uint32_t last = kNone;
    uint32_t count = 0;
};
struct Link {
    uint32_t prev = kNone;
    uint32_t next = kNone;
};
enum LinkFamily { kByKind = 0, kByLayer = 1, kByContainer = 2, kByNet = 3, kFamilyCount = 4 };
// Families whose neighbours are made close together (a component's
// primitives, the objects of one kind or layer that an import makes one after
// another) keep each link as the 16-bit distance to the neighbour's slot; a
// neighbour farther away is kept in a table of far links. A net's members
// join from all over the board, so its links are whole slots.
constexpr int kNearFamilyCount = 3;
static_assert(kByNet == kNearFamilyCount);
struct NearLink {
    static constexpr int16_t kEmpty = 0;         // no neighbour
    static constexpr int16_t kFar = INT16_MIN;   // in the store's far links
    static constexpr int32_t kReach = INT16_MAX; // farthest distance kept here
    int16_t prev = kEmpty;
    int16_t next = kEmpty;
};
// The ends of a list an object owns (a component's primitives, a net's
// members on the board), kept in the owner's own link of that family, which
// the owner is never listed by: a component is in no component, a net in no
// net. `prev` is the last, `next` the first.
struct OwnedList {
    uint32_t owner;
    LinkFamily family;
};

} // namespace corvane
