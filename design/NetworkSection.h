// The "network" section: nets, classes, groups and from-tos.
#pragma once

#include "design/FileSection.h"
#include "rules/SpecctraNetRltd.h"
#include "sdk/AsciiText.h"
#include "specctra/NameIndex.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Named objects kept in name order, names compared with regard to case
// (byte by byte). A second object of a name already present is not taken.
// Look-ups are hashed; the order is made when first asked for. A listed
// object keeps its name.
//
// One index serves both look-ups: it is keyed by the name without regard to
// case and holds every object, so that an exact look-up walks the same short
// probe as one in any case, and taking an object touches one table (a board
// of a million nets meets each table slot as a cache miss).
template <class T> class TCaseSortedList {
public:
    // Takes the object unless its name is present. Answers the object kept,
    // or none, in which case `object` still holds the refused object.
    T* Add(std::unique_ptr<T>& object) {
        T* raw = object.get();
        const std::string_view name = raw->NameID;
        const auto position = static_cast<uint32_t>(FItems.size());
        if (FByName.FindOrInsert(AnyCaseNameHash(name), position,
                                 [&](uint32_t i) { return FItems[i]->NameID == name; }) >= 0)
            return nullptr;
        FItems.push_back(std::move(object));
        FOrderValid = false;
        return raw;
    }
    // Starts loading the index slot where a look-up of `name` begins, so
    // that an Add or Find made a little later finds it in the cache.
    void Prefetch(std::string_view name) const { FByName.Prefetch(AnyCaseNameHash(name)); }
    // The object of exactly that name, or none.
    T* Find(std::string_view name) const {
        const int64_t found = FByName.Find(AnyCaseNameHash(name),
                                           [&](uint32_t i) { return FItems[i]->NameID == name; });
        return found < 0 ? nullptr : FItems[found].get();
    }
    // The object of that name in any case (the first taken), or none.
    T* FindAnyCase(std::string_view name) const {
        const int64_t found = FByName.FindLowest(AnyCaseNameHash(name), [&](uint32_t i) {
            return HostSdk::SameTextAscii(FItems[i]->NameID, name);
        });
        return found < 0 ? nullptr : FItems[found].get();
    }
    std::size_t Count() const { return FItems.size(); }
    // Once every object is in: gives back the index slots kept for more.
    void Compact() { FByName.Shrink(); }
    // Hands every object to `visit`, in the order taken.
    template <class TVisit> void ForEachTaken(TVisit&& visit) const {
        for (const auto& item : FItems)
            visit(item.get());
    }
    // Lets go of the name order, which is made again when next asked for: a
    // network of a million nets needs it only while the nets are written.
    void ForgetOrder() {
        std::vector<T*>().swap(FOrdered);
        FOrderValid = false;
    }
    // The objects in name order.
    const std::vector<T*>& Ordered() const {
        if (!FOrderValid) {
            FOrdered.clear();
            FOrdered.reserve(FItems.size());
            SortByName(FItems, FOrdered);
            FOrderValid = true;
        }
        return FOrdered;
    }

private:
    using TItems = std::vector<std::unique_ptr<T>, TTableAllocator<std::unique_ptr<T>>>;

    // Sorts by the first eight bytes of each name, held beside the object so
    // that most comparisons read neither the object nor its name; names
    // equal in those bytes compare in full.
    static void SortByName(const TItems& items, std::vector<T*>& out) {
        struct TKeyed {
            uint64_t Key;
            T* Item;
        };
        std::vector<TKeyed, TTableAllocator<TKeyed>> keyed;
        keyed.reserve(items.size());
        for (const auto& item : items)
            keyed.push_back(TKeyed{NamePrefixKey(item->NameID), item.get()});
        std::sort(keyed.begin(), keyed.end(), [](const TKeyed& a, const TKeyed& b) {
            return a.Key != b.Key ? a.Key < b.Key : a.Item->NameID < b.Item->NameID;
        });
        for (const TKeyed& entry : keyed)
            out.push_back(entry.Item);
    }

    TItems FItems;              // in the order taken
    TNamePositionIndex FByName; // every object, by its name in any case
    mutable std::vector<T*> FOrdered;
    mutable bool FOrderValid = true;
};

class TSpecctraAbstractNetworkDescriptor : public TSpecctraFileSectionDescriptor {
public:
    explicit TSpecctraAbstractNetworkDescriptor(TSpecctraObject* owner)
        : TSpecctraFileSectionDescriptor(owner) {}
    const char* ClassName() const override { return "TSpecctraAbstractNetworkDescriptor"; }

    // The abstract network holds no nets.
    TSpecctraObject* Get_NetByName(const std::string&) override { return nullptr; }
    // The net of a pin reference from the design-wide pin-to-net index.
    TSpecctraNet* GetState_NetByPinName(std::string_view pin) const { return NetOfPin(pin); }
    // Frees what only the components' pins read, once they are on the board.
    virtual void ReleasePins() {}
};

// The network of a design file.
class TSpecctraDsnNetworkDescriptor : public TSpecctraAbstractNetworkDescriptor {
public:
    explicit TSpecctraDsnNetworkDescriptor(TSpecctraObject* owner);
    ~TSpecctraDsnNetworkDescriptor() override;
    const char* ClassName() const override { return "TSpecctraDsnNetworkDescriptor"; }

    // The net of that name; a name that matches no net exactly finds the
    // net whose name differs only in letter case.
    TSpecctraObject* Get_NetByName(const std::string& name) override;
    TSpecctraNet* GetState_NetByName(std::string_view name) const;
    TSpecctraFromToClass* GetState_GroupByName(std::string_view name) const {
        return Groups.Find(name);
    }

    bool ImportFromFile() override;
    // Writes the nets, classes, groups, group sets and from-tos; then lets go
    // of the nets' own pin lists (the pin-to-net index stays).
    bool ExportToPCB() override;
    // Frees what the components' pins read of the nets (their pin lists and
    // the pin-to-net index) once the components and the rules are on the
    // board: the wiring needs only the nets themselves.
    void ReleasePins() override;

    TCaseSortedList<TSpecctraNet> Nets;
    // The pin references of the nets (and of nets read but not listed).
    TPinReferenceBlock PinBlock;
    std::unique_ptr<TSpecctraList> Classes; // file order
    TCaseSortedList<TSpecctraFromToClass> Groups;
    TCaseSortedList<TSpecctraFromToSuperClass> GroupSets;
    std::unique_ptr<TSpecctraList> Pairs;
    std::unique_ptr<TSpecctraList> Bundles;
    std::unique_ptr<TSpecctraList> ClassPairs;

private:
    bool ReadNet();
    bool ReadClass();
    template <class T> bool ReadNamed(TCaseSortedList<T>& list, const char* what);
    template <class T> bool ReadKept(std::unique_ptr<TSpecctraList>& list);
    bool ReadClassPair();
    // A net defined again: its pins and from-tos join the first definition.
    void MergeNet(TSpecctraNet& first, std::unique_ptr<TSpecctraNet> again);

    // Objects read but not listed, kept alive for the rules they hold.
    std::vector<std::unique_ptr<TSpecctraObject>> FMerged;
};
