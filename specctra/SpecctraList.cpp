#include "specctra/SpecctraList.h"

#include "specctra/NameIndex.h"
#include "specctra/SpecctraHelpers.h"
#include "specctra/SpecctraObject.h"

#include <algorithm>

namespace {

// Ordering of a sorted list: by name without regard to ASCII case.
bool NameLess(const std::string& a, const std::string& b) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(HostSdk::UpperAscii(a[i]));
        const auto y = static_cast<unsigned char>(HostSdk::UpperAscii(b[i]));
        if (x != y)
            return x < y;
    }
    return a.size() < b.size();
}

} // namespace

std::size_t TSpecctraList::TNameHash::operator()(std::string_view name) const noexcept {
    return static_cast<std::size_t>(AnyCaseNameHash(name));
}

bool TSpecctraList::TNameEqual::operator()(std::string_view a, std::string_view b) const noexcept {
    return SameNameAnyCase(a, b);
}

TSpecctraList::TIndexes& TSpecctraList::Indexes() const {
    if (!FIndexes)
        FIndexes = std::make_unique<TIndexes>();
    return *FIndexes;
}

TSpecctraList::~TSpecctraList() {
    Clear();
}

TSpecctraObject* TSpecctraList::Add(std::unique_ptr<TSpecctraObject> object) {
    TSpecctraObject* raw = object.get();
    // The name is copied once, from the object, and moved into the entry.
    const TEntry& entry = FItems.emplace_back(
        TEntry{raw ? raw->NameID : std::string(), std::move(object), FNextSeq++});
    if (FSorted) {
        if (FNewestValid)
            Indexes().Newest.insert_or_assign(entry.Name, raw);
        FOrderValid = false;
        FIndexValid = false;
    }
    return raw;
}

void TSpecctraList::EnsureOrder() const {
    if (FOrderValid)
        return;
    // By name; among equal names the newest first.
    std::sort(FItems.begin(), FItems.end(), [](const TEntry& a, const TEntry& b) {
        if (NameLess(a.Name, b.Name))
            return true;
        if (NameLess(b.Name, a.Name))
            return false;
        return a.Seq > b.Seq;
    });
    FOrderValid = true;
    FIndexValid = false;
}

namespace {

// Starts both indexes over when the entries changed places.
template <class TIdentities>
void RestartIndexes(bool& valid, TNamePositionIndex& names, std::size_t& namesIndexed,
                    TIdentities& identities, std::size_t& identitiesIndexed) {
    if (valid)
        return;
    names.Clear();
    identities.clear();
    namesIndexed = 0;
    identitiesIndexed = 0;
    valid = true;
}

// Adds the entries appended since the index was last brought up to date; an
// index keeps the first entry of each key.
template <class TIndex, class TItems, class TKeyOf>
void ExtendIndex(TIndex& index, std::size_t& indexed, const TItems& items, TKeyOf keyOf) {
    if (indexed == items.size())
        return;
    index.reserve(items.size());
    for (std::size_t i = indexed; i < items.size(); ++i)
        index.emplace(keyOf(items[i]), static_cast<int32_t>(i));
    indexed = items.size();
}

} // namespace

void TSpecctraList::Reindex() const {
    EnsureOrder();
    TIndexes& indexes = Indexes();
    RestartIndexes(FIndexValid, indexes.ByName, FNamesIndexed, indexes.ByIdentity,
                   FIdentitiesIndexed);
    if (FNamesIndexed == FItems.size())
        return;
    indexes.ByName.Reserve(FItems.size());
    // The first entry of a name stays: a later one of the same name is not
    // entered.
    for (std::size_t i = FNamesIndexed; i < FItems.size(); ++i) {
        const std::string& name = FItems[i].Name;
        indexes.ByName.FindOrInsert(
            AnyCaseNameHash(name), static_cast<uint32_t>(i),
            [&](uint32_t at) { return SameNameAnyCase(FItems[at].Name, name); });
    }
    FNamesIndexed = FItems.size();
}

void TSpecctraList::ReindexIdentity() const {
    EnsureOrder();
    TIndexes& indexes = Indexes();
    RestartIndexes(FIndexValid, indexes.ByName, FNamesIndexed, indexes.ByIdentity,
                   FIdentitiesIndexed);
    ExtendIndex(indexes.ByIdentity, FIdentitiesIndexed, FItems,
                [](const TEntry& entry) { return entry.Object.get(); });
}

TSpecctraObject* TSpecctraList::GetState_SpecctraObject(int32_t index) const {
    if (index < 0 || index >= Count())
        return nullptr;
    EnsureOrder();
    return FItems[static_cast<std::size_t>(index)].Object.get();
}

std::unique_ptr<TSpecctraObject>
TSpecctraList::SetState_SpecctraObject(int32_t index, std::unique_ptr<TSpecctraObject> object) {
    if (index < 0 || index >= Count())
        return object;
    EnsureOrder();
    FNewestValid = false;
    std::unique_ptr<TSpecctraObject> old =
        std::move(FItems[static_cast<std::size_t>(index)].Object);
    FItems[static_cast<std::size_t>(index)].Object = std::move(object);
    FIndexValid = false;
    return old;
}

const std::string& TSpecctraList::NameAt(int32_t index) const {
    if (index < 0 || index >= Count())
        return NoText();
    EnsureOrder();
    return FItems[static_cast<std::size_t>(index)].Name;
}

int32_t TSpecctraList::IndexOf(const TSpecctraObject* object) const {
    ReindexIdentity();
    const auto& byIdentity = FIndexes->ByIdentity;
    auto it = byIdentity.find(object);
    return it == byIdentity.end() || !object ? -1 : it->second;
}

int32_t TSpecctraList::IndexOfName(std::string_view name) const {
    Reindex();
    return static_cast<int32_t>(FIndexes->ByName.Find(AnyCaseNameHash(name), [&](uint32_t at) {
        return SameNameAnyCase(FItems[at].Name, name);
    }));
}

TSpecctraObject* TSpecctraList::Find(std::string_view name) const {
    if (FSorted && FNewestValid) {
        const auto& newest = Indexes().Newest;
        auto it = newest.find(name);
        return it == newest.end() ? nullptr : it->second;
    }
    return GetState_SpecctraObject(IndexOfName(name));
}

std::unique_ptr<TSpecctraObject> TSpecctraList::Extract(int32_t index) {
    if (index < 0 || index >= Count())
        return nullptr;
    EnsureOrder();
    FNewestValid = false;
    std::unique_ptr<TSpecctraObject> object =
        std::move(FItems[static_cast<std::size_t>(index)].Object);
    FItems.erase(FItems.begin() + index);
    FIndexValid = false;
    return object;
}

void TSpecctraList::Clear() {
    // Free the newest first, so that objects made later (which may refer to
    // earlier ones) go first.
    if (FSorted)
        std::sort(FItems.begin(), FItems.end(),
                  [](const TEntry& a, const TEntry& b) { return a.Seq < b.Seq; });
    while (!FItems.empty())
        FItems.pop_back();
    FIndexes.reset();
    FIndexValid = true;
    FNamesIndexed = 0;
    FIdentitiesIndexed = 0;
    FOrderValid = true;
    FNewestValid = true;
}

// ---------------------------------------------------------------------------
