#include "specctra/SpecctraList.h"

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

TSpecctraList::~TSpecctraList() {
    Clear();
}

TSpecctraObject* TSpecctraList::Add(std::unique_ptr<TSpecctraObject> object) {
    TSpecctraObject* raw = object.get();
    std::string name = raw ? raw->NameID : std::string();
    if (FSorted) {
        if (FNewestValid)
            FNewest[UpperAscii(name)] = raw;
        FItems.push_back(TEntry{std::move(name), std::move(object), FNextSeq++});
        FOrderValid = false;
        FIndexValid = false;
        return raw;
    }
    const int32_t index = Count();
    FItems.push_back(TEntry{std::move(name), std::move(object), FNextSeq++});
    if (FIndexValid) {
        FIndex.emplace(UpperAscii(FItems.back().Name), index); // keeps the first
        FIdentity.emplace(raw, index);
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

void TSpecctraList::Reindex() const {
    EnsureOrder();
    if (FIndexValid)
        return;
    FIndex.clear();
    FIdentity.clear();
    FIndex.reserve(FItems.size());
    FIdentity.reserve(FItems.size());
    for (std::size_t i = 0; i < FItems.size(); ++i) {
        FIndex.emplace(UpperAscii(FItems[i].Name), static_cast<int32_t>(i)); // keeps the first
        FIdentity.emplace(FItems[i].Object.get(), static_cast<int32_t>(i));
    }
    FIndexValid = true;
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
    static const std::string empty;
    if (index < 0 || index >= Count())
        return empty;
    EnsureOrder();
    return FItems[static_cast<std::size_t>(index)].Name;
}

int32_t TSpecctraList::IndexOf(const TSpecctraObject* object) const {
    Reindex();
    auto it = FIdentity.find(object);
    return it == FIdentity.end() || !object ? -1 : it->second;
}

int32_t TSpecctraList::IndexOfName(std::string_view name) const {
    Reindex();
    auto it = FIndex.find(UpperAscii(name));
    return it == FIndex.end() ? -1 : it->second;
}

TSpecctraObject* TSpecctraList::Find(std::string_view name) const {
    if (FSorted && FNewestValid) {
        auto it = FNewest.find(UpperAscii(name));
        return it == FNewest.end() ? nullptr : it->second;
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
    FIndex.clear();
    FIdentity.clear();
    FNewest.clear();
    FIndexValid = true;
    FOrderValid = true;
    FNewestValid = true;
}

// ---------------------------------------------------------------------------
