// The owning name-keyed list of model objects.
#pragma once

#include "specctra/NameIndex.h"
#include "specctra/RecycledBlocks.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class TSpecctraObject;

// An owning list of (name, object) pairs. Names are looked up without regard
// to ASCII case through an index. A sorted list keeps its entries ordered by
// name (a newly added duplicate goes before the equal names already there);
// it sorts lazily, when an entry is first asked for by position, so that
// filling it costs O(n log n) however adds and look-ups by name interleave.
class TSpecctraList : public TRecycled {
public:
    explicit TSpecctraList(bool sorted = false) : FSorted(sorted) {}
    ~TSpecctraList();

    TSpecctraList(const TSpecctraList&) = delete;
    TSpecctraList& operator=(const TSpecctraList&) = delete;

    // Appends (object's NameID, object); the list owns the object. Returns it.
    TSpecctraObject* Add(std::unique_ptr<TSpecctraObject> object);
    template <class T> T* AddNew(std::unique_ptr<T> object) {
        T* raw = object.get();
        Add(std::move(object));
        return raw;
    }
    int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
    bool Sorted() const { return FSorted; }
    // The object at an index, or none outside 0 .. Count() - 1.
    TSpecctraObject* GetState_SpecctraObject(int32_t index) const;
    // Replaces the object at a valid index and hands the old one back; an
    // invalid index changes nothing and hands the new object back.
    std::unique_ptr<TSpecctraObject>
    SetState_SpecctraObject(int32_t index, std::unique_ptr<TSpecctraObject> object);
    // The name stored with the entry at an index.
    const std::string& NameAt(int32_t index) const;
    // Index by identity, or -1.
    int32_t IndexOf(const TSpecctraObject* object) const;
    // Index of the first entry with that name (any case), or -1.
    int32_t IndexOfName(std::string_view name) const;
    TSpecctraObject* Find(std::string_view name) const;
    // Removes the entry and hands its object back.
    std::unique_ptr<TSpecctraObject> Extract(int32_t index);
    // Frees every object and empties the list.
    void Clear();
    // Gives back the room kept for more entries.
    void Compact() { FItems.shrink_to_fit(); }

private:
    struct TEntry {
        std::string Name;
        std::unique_ptr<TSpecctraObject> Object;
        uint64_t Seq = 0; // order of adding
    };
    // Names compare and hash without regard to ASCII case, so that a look-up
    // needs no upper-case copy of the name.
    struct TNameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view name) const noexcept;
    };
    struct TNameEqual {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const noexcept;
    };
    void EnsureOrder() const;
    // Brings the index by name / by identity up to date. Both are filled
    // lazily: entries appended since the last look-up are added then (a list
    // that is never searched costs no index at all).
    void Reindex() const;
    void ReindexIdentity() const;

    bool FSorted;
    // The placement of a large board lists a million components: its room
    // is taken as the name tables take theirs.
    mutable std::vector<TEntry, TRecycledAllocator<TEntry, TTableAllocator<TEntry>>> FItems;
    mutable bool FOrderValid = true;
    uint64_t FNextSeq = 0;
    // The look-up tables, made on first need: most lists (the shapes of a
    // wire, the pins of an image) are only walked.
    struct TIndexes {
        // Name -> the first entry of that name, a position in FItems: the
        // names stay with the entries (an entry costs no allocation here).
        TNamePositionIndex ByName;
        std::unordered_map<const TSpecctraObject*, int32_t> ByIdentity;
        // Sorted lists: name -> the entry that sorts first among its equals
        // (the newest), kept while nothing is replaced or removed.
        std::unordered_map<std::string, TSpecctraObject*, TNameHash, TNameEqual> Newest;
    };
    TIndexes& Indexes() const;
    mutable std::unique_ptr<TIndexes> FIndexes;
    // Entries 0 .. FNamesIndexed - 1 are in ByName, 0 .. FIdentitiesIndexed - 1
    // in ByIdentity; false when the order changed and both start over.
    mutable bool FIndexValid = true;
    mutable std::size_t FNamesIndexed = 0;
    mutable std::size_t FIdentitiesIndexed = 0;
    bool FNewestValid = true;
};
