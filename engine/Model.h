// The Corvane board database: boards, objects and their records, the indexes
// that let a walk by kind, layer, net or component touch only what it returns,
// and the validated handles through which the outside world names them.
#pragma once

#include "engine/FlatCells.h"
#include "engine/RecordBodies.h"

#include "sdk/HugePages.h"
#include "sdk/ObjectKinds.h"
#include "sdk/PcbApi.h"

#include <algorithm>
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

// ----------------------------------------------------------------- objects

// The true copper of a pad whose shape the per-layer entries cannot hold (a
// polygon, a path with corners): pieces on the pad's entry layers (the layers
// its per-layer table is read by, as its mode says), each a point, a segment
// or a polygon grown by a radius, in host units about the pad's centre before
// its rotation. Pads made from one padstack share one outline.
struct PadOutlinePiece {
    int32_t entry = 0; // the per-layer table entry it replaces
    double radius = 0;
    std::vector<PcbApiPoint> points;
};
struct PadOutline {
    std::vector<PadOutlinePiece> pieces; // by entry, then in the order given
    bool HasEntry(int32_t entry) const {
        for (const PadOutlinePiece& p : pieces)
            if (p.entry == entry)
                return true;
        return false;
    }
};

// The bit fields and index of an object, which few objects set, and a pad's
// true outline, which only pads of some shapes have: the store keeps them
// apart, for the objects that hold any.
struct ObjectExtras {
    uint16_t bitField = 0;
    uint16_t bitField3 = 0;
    uint16_t index = 0;
    uint8_t bitField2 = 0;
    // The outline is mirrored (y to -y before the rotation) on a pad turned
    // over with its component.
    bool outlineMirrored = false;
    std::shared_ptr<const PadOutline> outline;
    bool Empty() const {
        return bitField == 0 && bitField3 == 0 && index == 0 && bitField2 == 0 && !outline;
    }
};

// The extras of the objects that hold any, by slot: kept in one array, found
// through a flat table, so that a pad copied with its bit fields costs no
// allocation of its own.
class ExtrasBySlot {
public:
    const ObjectExtras* Find(uint32_t slot) const {
        const uint32_t cell = where_.Find(slot);
        return cell == kNone ? nullptr : &cells_[cell];
    }
    void Set(uint32_t slot, const ObjectExtras& extras) {
        const uint32_t found = where_.Find(slot);
        if (found != kNone) {
            cells_[found] = extras;
            return;
        }
        uint32_t cell;
        if (free_.empty()) {
            cell = static_cast<uint32_t>(cells_.size());
            cells_.push_back(extras);
        } else {
            cell = free_.back();
            free_.pop_back();
            cells_[cell] = extras;
        }
        where_.Add(slot, cell);
    }
    void Erase(uint32_t slot) {
        uint32_t cell = kNone;
        const auto take = [&](uint32_t found) {
            cell = found;
            return true;
        };
        if (!where_.Erase(slot, take))
            return;
        cells_[cell] = ObjectExtras{}; // lets go of an outline
        free_.push_back(cell);
        if (where_.size() == 0) {
            cells_.clear();
            free_.clear();
        }
    }

private:
    FlatTable<uint32_t> where_; // slot -> cell
    std::vector<ObjectExtras> cells_;
    std::vector<uint32_t> free_;
};

// The board an object is on, as a 16-bit slot: a store holds at most
// kMaxBoards boards at once. Reads as a 32-bit slot, kNone for none.
constexpr uint32_t kMaxBoards = 0xFFFF;
class BoardField {
public:
    operator uint32_t() const { return slot_ == kNoBoard ? kNone : slot_; }
    BoardField& operator=(uint32_t slot) {
        slot_ = slot >= kMaxBoards ? kNoBoard : static_cast<uint16_t>(slot);
        return *this;
    }

private:
    static constexpr uint16_t kNoBoard = 0xFFFF;
    uint16_t slot_ = kNoBoard;
};

// One per object of the store, so kept small: the generation and two flags
// share a word, a kind, a layer (0..82) and the board slot share another, and
// the rarely set bit fields live apart. An object off any board is in no
// kind list, so its kind link holds the generation of the net it names; a
// component's container link and a net's net link hold the ends of the list
// it owns (OwnedList).
struct ObjectRec {
    uint32_t gen : 28 = 0;
    uint32_t moveable : 1 = 1;
    uint32_t hasExtras : 1 = 0; // the store keeps ObjectExtras for it
    uint32_t hasFar : 1 = 0;    // the store keeps far links for it
    uint8_t kind = 0;           // 0: free slot
    uint8_t layer = 0;
    BoardField board;
    uint32_t container = kNone; // component slot
    // The store's NetTie of the object (kNone for none): the net it names and
    // its net links, which only the objects that name a net and the nets
    // that have members need.
    uint32_t tie = kNone;
    int32_t x1 = 0, y1 = 0;
    BodyBox body;
    std::array<NearLink, kNearFamilyCount> near{}; // kind, layer and container links
    // The generation of the net slot `net` names, while the object is on no
    // board (on a board, the net is on it too and lists the object). Kept in
    // the kind link, which an object off the boards does not use.
    uint32_t FreeNetGen() const {
        return static_cast<uint16_t>(near[kByKind].prev) |
               uint32_t{static_cast<uint16_t>(near[kByKind].next)} << 16;
    }
    void SetFreeNetGen(uint32_t gen) {
        near[kByKind].prev = static_cast<int16_t>(gen & 0xFFFFu);
        near[kByKind].next = static_cast<int16_t>(gen >> 16);
    }
};
static_assert(kKindCount <= UINT8_MAX && kLayerCount <= UINT8_MAX);
static_assert(sizeof(ObjectRec) <= 40);

// The net an object names (kNone for none) and its links in the net's member
// list; a net's own holds the ends of that list (OwnedList).
struct NetTie {
    uint32_t net = kNone;
    Link link{};
    bool Empty() const { return net == kNone && link.prev == kNone && link.next == kNone; }
};

// Records in fixed chunks: growing never moves a record, and a large board
// never needs one block twice its size.
template <class T> class ChunkedTable {
public:
    T& operator[](uint32_t slot) { return chunks_[slot >> kShift][slot & kMask]; }
    const T& operator[](uint32_t slot) const { return chunks_[slot >> kShift][slot & kMask]; }
    size_t size() const { return size_; }
    // Frees every record and chunk.
    void Clear() {
        chunks_.clear();
        chunks_.shrink_to_fit();
        size_ = 0;
    }
    uint32_t Add() { // a new default record at the end
        if (size_ == chunks_.size() << kShift)
            chunks_.push_back(std::make_unique<T[]>(kChunk));
        return size_++;
    }
    // Rearranges the records of the slots first .. first + n - 1 (n > 0, all
    // below size()): the record that ends in slot first + k is the one that
    // was in slot first + source[k]. `source` holds each of 0 .. n - 1 once.
    // The records are moved into other chunks, and each old chunk serves as
    // a new one as soon as its last record has left it, so the table never
    // holds much more than one copy of its records (with a gathering buffer
    // of all of them, a large board's open would need twice their memory at
    // once). The chunks the moves need beyond those they empty are counted
    // and made first: once a record has moved, nothing can fail.
    void Permute(uint32_t first, uint32_t n, const std::vector<uint32_t>& source) {
        const uint32_t firstChunk = first >> kShift;
        const uint32_t chunkCount = ((first + n - 1) >> kShift) + 1 - firstChunk;
        // Every record of every chunk in the range leaves its chunk once: as
        // the source of a slot in the range, or, outside the range (in the
        // first and last chunk), to the same slot of the new chunk.
        std::vector<uint32_t> left(chunkCount, kChunk);
        int64_t spare = 0, fewest = 0;
        EachMove(
            first, n, source, [&](uint32_t) { fewest = std::min(fewest, --spare); },
            [&](uint32_t, uint32_t from) {
                if (--left[(from >> kShift) - firstChunk] == 0)
                    ++spare;
            });
        std::vector<std::unique_ptr<T[]>> pool, built(chunkCount);
        pool.reserve(static_cast<size_t>(-fewest) + chunkCount);
        for (int64_t i = 0; i < -fewest; ++i)
            pool.push_back(std::make_unique<T[]>(kChunk));
        std::fill(left.begin(), left.end(), kChunk);
        T* chunk = nullptr;
        EachMove(
            first, n, source,
            [&](uint32_t c) {
                built[c - firstChunk] = std::move(pool.back());
                pool.pop_back();
                chunk = built[c - firstChunk].get();
            },
            [&](uint32_t i, uint32_t from) {
                std::unique_ptr<T[]>& old = chunks_[from >> kShift];
                chunk[i] = std::move(old[from & kMask]);
                if (--left[(from >> kShift) - firstChunk] == 0)
                    pool.push_back(std::move(old));
            });
        for (uint32_t c = 0; c < chunkCount; ++c)
            chunks_[firstChunk + c] = std::move(built[c]);
    }

private:
    static constexpr uint32_t kShift = 12;
    static constexpr uint32_t kChunk = 1u << kShift;
    static constexpr uint32_t kMask = kChunk - 1;
    std::vector<std::unique_ptr<T[]>> chunks_;
    uint32_t size_ = 0;

    // The moves of Permute in their order: each new chunk (`chunk(c)`),
    // then each of its slots i from the slot `from` (`move(i, from)`).
    template <class OnChunk, class OnMove>
    static void EachMove(uint32_t first, uint32_t n, const std::vector<uint32_t>& source,
                         OnChunk chunk, OnMove move) {
        const uint32_t endChunk = ((first + n - 1) >> kShift) + 1;
        for (uint32_t c = first >> kShift; c < endChunk; ++c) {
            chunk(c);
            const uint64_t base = uint64_t{c} << kShift;
            // The chunk's slots in the range: i from `low` to `high`.
            const uint32_t low = static_cast<uint32_t>(std::max<uint64_t>(base, first) - base);
            const uint32_t high = static_cast<uint32_t>(
                std::min<uint64_t>(base + kChunk, uint64_t{first} + n) - base);
            for (uint32_t i = 0; i < low; ++i)
                move(i, static_cast<uint32_t>(base + i));
            const uint32_t* from = source.data() + (base + low - first);
            for (uint32_t i = low; i < high; ++i)
                move(i, first + *from++);
            for (uint32_t i = high; i < kChunk; ++i)
                move(i, static_cast<uint32_t>(base + i));
        }
    }
};
using ObjectTable = ChunkedTable<ObjectRec>;

struct LayerRec {
    std::string name;
    int32_t copperThickness = 14000;
    PcbApiDielectric dielectric{};
    int32_t isDisplayed = 1;
    int32_t mechanicalEnabled = 0;
    int32_t prev = 0, next = 0;
    bool inStack = false;
    std::string planeNet;
};

struct LayerPairRec {
    std::string name;
    int32_t low = 0, high = 0, drillDrawing = 0, drillGuide = 0;
    std::string substack;
    int32_t backDrill = 0;
};

struct Grids {
    std::array<double, 13> v{};
};

// The nets of a board by name: net slots by 32 bits of their name's hash,
// with the names read from the nets themselves, so a net costs a few bytes
// here rather than a heap node and a second copy of its name, and a probe
// reads the names of few nets.
class NetIndex {
public:
    uint32_t Find(std::string_view name) const; // kNone when absent
    // Adds a net whose name is not in the index yet.
    void Insert(std::string_view name, uint32_t slot);
    // Removes the net in `slot` if the index holds it under `name`.
    void Erase(std::string_view name, uint32_t slot);
    bool Contains(std::string_view name) const { return Find(name) != kNone; }
    size_t size() const { return slots_.size(); }

private:
    FlatTable<uint32_t> slots_;
};

struct BoardRec {
    uint32_t gen = 0;
    bool live = false;
    std::string fileName;
    bool modified = true;
    int32_t isLibrary = 0;
    int32_t originX = 0, originY = 0, cursorX = 0, cursorY = 0;
    int32_t displayUnit = 1;
    PcbApiDielectric dielTop{}, dielBottom{};
    int32_t currentLayer = 1;
    int32_t drillGuideHoleSize = 0;
    uint32_t outline = kNone;
    std::array<LayerRec, kLayerCount> layers;
    std::vector<LayerPairRec> pairs;
    Grids grids;
    std::array<ListHead, kKindCount> byKind{};
    std::array<ListHead, kLayerCount> byLayer{};
    NetIndex netByName;
    // What a host keeps with the board for itself, by key; saved with the
    // document and never read by the engine.
    std::map<std::string, std::string> hostData;
};

struct IteratorRec {
    uint32_t gen = 0;
    bool live = false;
    std::vector<intptr_t> items;
    size_t pos = 0;
    uint32_t board = kNone;
    uint32_t boardGen = 0; // a walk of a closed board finds nothing
    int32_t kind = 0;
    intptr_t filter = 0;
    int32_t layer = 0;
    bool built = false;
};

PcbApiDielectric DefaultDielectric();
// `path` made absolute against the working folder (no symlink resolution).
std::string AbsolutePath(const std::string& path);
void ResetBoardDefaults(BoardRec& b);

// Object and iterator handles: a tag in the top bits, the slot's generation
// (28 bits) and the slot number + 1; a stale handle's generation no longer
// matches its slot.
constexpr int kTagShift = 60;
constexpr intptr_t kTagObject = 1;
constexpr intptr_t kTagIterator = 3;
constexpr uint32_t kGenMask = 0x0FFFFFFFu;

inline intptr_t MakeHandle(intptr_t tag, uint32_t gen, uint32_t slot) {
    return (tag << kTagShift) | (static_cast<intptr_t>(gen & kGenMask) << 32) |
           static_cast<intptr_t>(static_cast<uint64_t>(slot) + 1);
}

inline bool SplitHandle(intptr_t handle, intptr_t tag, uint32_t& gen, uint32_t& slot) {
    if (handle <= 0 || (handle >> kTagShift) != tag)
        return false;
    const uint64_t low = static_cast<uint64_t>(handle) & 0xFFFFFFFFull;
    if (low == 0)
        return false;
    slot = static_cast<uint32_t>(low - 1);
    gen = static_cast<uint32_t>((static_cast<uint64_t>(handle) >> 32) & kGenMask);
    return true;
}

// ----------------------------------------------------------------- the store

class Store {
public:
    // The process's store, made on first use. Every entry point starts here,
    // so the made store is a plain load away.
    static Store& Get() {
        Store* made = made_.load(std::memory_order_acquire);
        return made != nullptr ? *made : Make();
    }

    // Handles
    intptr_t ObjectHandle(uint32_t slot) const {
        if (slot >= objects_.size() || objects_[slot].kind == 0)
            return 0;
        return MakeHandle(kTagObject, objects_[slot].gen, slot);
    }
    intptr_t BoardHandle(uint32_t slot) const;
    ObjectRec* Object(intptr_t handle) {
        const uint32_t slot = ObjectSlot(handle);
        return slot == kNone ? nullptr : &objects_[slot];
    }
    uint32_t ObjectSlot(intptr_t handle) const { // kNone when invalid
        uint32_t gen = 0, slot = 0;
        if (!SplitHandle(handle, kTagObject, gen, slot) || slot >= objects_.size())
            return kNone;
        const ObjectRec& o = objects_[slot];
        if (o.kind == 0 || (o.gen & kGenMask) != gen)
            return kNone;
        return slot;
    }
    BoardRec* Board(intptr_t handle);
    uint32_t BoardSlot(intptr_t handle) const;
    ObjectRec& At(uint32_t slot) { return objects_[slot]; }
    BoardRec& BoardAt(uint32_t slot) { return *boards_[slot]; }
    size_t BoardSlotCount() const { return boards_.size(); }
    // Objects alive in the store, on a board or free.
    size_t LiveObjectCount() const { return objects_.size() - freeObjects_.size(); }
    // One past the highest object slot ever used.
    size_t ObjectSlotCount() const { return objects_.size(); }

    // Boards
    uint32_t NewBoard(const std::string& fileName);
    void CloseBoard(uint32_t boardSlot);
    uint32_t FindBoardByFileName(const std::string& fileName) const;

    // Objects
    // kNone for a kind that cannot be made. A component comes with its
    // designator and comment texts unless `bare`.
    uint32_t CreateObject(int32_t kind, bool bare = false);
    void DestroyObject(uint32_t slot); // detaches, frees children, stales the handle
    bool AttachToBoard(uint32_t slot, uint32_t boardSlot); // with contained primitives
    void DetachFromBoard(uint32_t slot);
    bool AddToComponent(uint32_t slot, uint32_t componentSlot);
    void SetNet(uint32_t slot, uint32_t netSlot);
    // The net an object names, or kNone. A free object may name a net that
    // was deleted since; its slot may hold another object by now.
    uint32_t NetOf(const ObjectRec& o) const {
        const uint32_t named = NetField(o);
        if (named == kNone || o.board != kNone)
            return named;
        if (named >= objects_.size())
            return kNone;
        const ObjectRec& net = objects_[named];
        return net.kind == kNet && net.gen == o.FreeNetGen() ? named : kNone;
    }
    // The net slot an object holds, valid or not (see NetOf).
    uint32_t NetField(const ObjectRec& o) const {
        return o.tie == kNone ? kNone : ties_[o.tie].net;
    }
    void SetNetField(ObjectRec& o, uint32_t netSlot) {
        if (o.tie == kNone && netSlot == kNone)
            return;
        TieOf(o).net = netSlot;
        KeepTieIfUsed(o);
    }
    // Names a net for an object on no board (kNone for none).
    void NameNetOffBoard(ObjectRec& o, uint32_t netSlot) {
        SetNetField(o, netSlot);
        o.SetFreeNetGen(netSlot == kNone ? 0 : objects_[netSlot].gen);
    }
    // Moves the records in from[i] to to[i] (the same slots in another
    // order), records of free objects in no list that no one holds a handle
    // of yet; each slot keeps its generation.
    void Rearrange(const std::vector<uint32_t>& from, const std::vector<uint32_t>& to);
    // The same for the run of slots low .. low + source.size() - 1: the
    // record that ends in slot low + k is the one that was in slot
    // low + source[k] (source holds each of 0 .. size - 1 once).
    void RearrangeRun(uint32_t low, const std::vector<uint32_t>& source);
    void SetLayer(uint32_t slot, int32_t layer);
    bool RenameNet(uint32_t netSlot, const std::string& name);
    void MarkModified(const ObjectRec& o) {
        if (o.board != kNone)
            boards_[o.board]->modified = true;
    }
    // The bit fields and index of an object (all 0 for most).
    ObjectExtras Extras(uint32_t slot) const {
        return objects_[slot].hasExtras ? KeptExtras(slot) : ObjectExtras{};
    }
    void SetExtras(uint32_t slot, const ObjectExtras& extras);

    // Lists: a board's (ListHead) or an object's own (OwnedList).
    // A component's primitives, in the order they were added.
    static OwnedList Children(uint32_t componentSlot) { return {componentSlot, kByContainer}; }
    // The objects of a net on the board, in the order they joined it.
    static OwnedList Members(uint32_t netSlot) { return {netSlot, kByNet}; }
    template <class Head> void ListAppend(Head&& head, uint32_t slot, LinkFamily f) {
        const uint32_t last = Last(head);
        // The object is in no list of the family yet: its link holds nothing
        // to let go of.
        ClearLink(slot, f);
        SetPrev(slot, f, last);
        if (last != kNone)
            SetNext(last, f, slot);
        else
            SetFirst(head, slot);
        SetLast(head, slot);
        Counted(head, 1);
    }
    template <class Head> void ListRemove(Head&& head, uint32_t slot, LinkFamily f) {
        const uint32_t prev = Prev(slot, f), next = Next(slot, f);
        if (prev != kNone)
            SetNext(prev, f, next);
        else
            SetFirst(head, next);
        if (next != kNone)
            SetPrev(next, f, prev);
        else
            SetLast(head, prev);
        SetPrev(slot, f, kNone);
        SetNext(slot, f, kNone);
        Counted(head, -1);
    }
    template <class Head, class F> void ForEach(Head&& head, LinkFamily f, F&& fn) {
        for (uint32_t s = First(head); s != kNone;) {
            uint32_t next = Next(s, f);
            fn(s);
            s = next;
        }
    }
    // Far links kept apart (for tests and measurements).
    size_t FarLinkCount() const { return far_.size(); }

    // Iterators
    intptr_t CreateIterator(uint32_t boardSlot, int32_t kind, intptr_t filter, int32_t layer);
    IteratorRec* Iterator(intptr_t handle);
    void DestroyIterator(intptr_t handle);
    void BuildIterator(IteratorRec& it);

    // Component placement changes move their primitives.
    void TransformChildren(uint32_t componentSlot, int32_t oldX, int32_t oldY, double oldAngle,
                           int32_t oldLayer, int32_t newX, int32_t newY, double newAngle,
                           int32_t newLayer);

    intptr_t currentBoard = 0;

private:
    static inline std::atomic<Store*> made_{nullptr};
    static Store& Make();
    ObjectTable objects_;
    std::vector<uint32_t> freeObjects_;
    // The generation a slot made anew starts from: above every generation a
    // handle to a slot of a released table can hold.
    uint32_t genFloor_ = 0;
    void ReleaseIfEmpty();
    ExtrasBySlot extras_;
    std::vector<std::unique_ptr<BoardRec>> boards_;
    std::vector<IteratorRec> iterators_;
    std::vector<uint32_t> freeIterators_;
    ChunkedTable<NetTie> ties_;
    std::vector<uint32_t> freeTies_;
    NetTie& TieOf(ObjectRec& o) { // made when the object has none
        if (o.tie == kNone) {
            if (freeTies_.empty()) {
                o.tie = ties_.Add();
            } else {
                o.tie = freeTies_.back();
                freeTies_.pop_back();
                ties_[o.tie] = NetTie{};
            }
        }
        return ties_[o.tie];
    }
    // Lets an object's tie go once it holds nothing.
    void KeepTieIfUsed(ObjectRec& o) {
        if (o.tie != kNone && ties_[o.tie].Empty()) {
            freeTies_.push_back(o.tie);
            o.tie = kNone;
        }
    }
    [[gnu::always_inline]] void SetNetEnd(ObjectRec& o, bool next, uint32_t target) {
        if (o.tie == kNone && target == kNone)
            return;
        Link& l = TieOf(o).link;
        (next ? l.next : l.prev) = target;
        KeepTieIfUsed(o);
    }
    // Links too far for a near family's 16 bits, by slot, family and end.
    FlatCells far_;
    ListHead* HeadFor(ObjectRec& o, LinkFamily f); // kByKind or kByLayer
    static uint64_t FarKey(uint32_t slot, LinkFamily f, bool next) {
        return uint64_t{slot} << 3 | static_cast<uint64_t>(f) << 1 | (next ? 1u : 0u);
    }
    [[gnu::always_inline]] uint32_t NearTarget(uint32_t slot, LinkFamily f, bool next,
                                               int16_t d) const {
        if (d == NearLink::kEmpty)
            return kNone;
        if (d == NearLink::kFar)
            return far_.Find(FarKey(slot, f, next));
        return static_cast<uint32_t>(static_cast<int64_t>(slot) + d);
    }
    // The previous (or, with `next`, the next) object in a list of family f.
    [[gnu::always_inline]] uint32_t End(uint32_t slot, LinkFamily f, bool next) const {
        const ObjectRec& o = objects_[slot];
        if (f == kByNet) {
            if (o.tie == kNone)
                return kNone;
            const Link& l = ties_[o.tie].link;
            return next ? l.next : l.prev;
        }
        return NearTarget(slot, f, next, next ? o.near[f].next : o.near[f].prev);
    }
    // A link that is or becomes far (or empty).
    void SetFarEnd(uint32_t slot, LinkFamily f, bool next, int16_t& d, uint32_t target);
    [[gnu::always_inline]] void SetEnd(uint32_t slot, LinkFamily f, bool next, uint32_t target) {
        ObjectRec& o = objects_[slot];
        if (f == kByNet) {
            SetNetEnd(o, next, target);
            return;
        }
        int16_t& d = next ? o.near[f].next : o.near[f].prev;
        const int64_t distance = static_cast<int64_t>(target) - slot;
        if (target != kNone && d != NearLink::kFar && distance != 0 &&
            distance >= -NearLink::kReach && distance <= NearLink::kReach)
            d = static_cast<int16_t>(distance);
        else
            SetFarEnd(slot, f, next, d, target);
    }
    [[gnu::always_inline]] uint32_t Prev(uint32_t slot, LinkFamily f) const {
        return End(slot, f, false);
    }
    [[gnu::always_inline]] uint32_t Next(uint32_t slot, LinkFamily f) const {
        return End(slot, f, true);
    }
    [[gnu::always_inline]] void SetPrev(uint32_t slot, LinkFamily f, uint32_t target) {
        SetEnd(slot, f, false, target);
    }
    [[gnu::always_inline]] void SetNext(uint32_t slot, LinkFamily f, uint32_t target) {
        SetEnd(slot, f, true, target);
    }
    // Empties a link of an object in no list of the family (whatever it held
    // meant nothing: the kind link of an object off the boards holds its net's
    // generation).
    void ClearLink(uint32_t slot, LinkFamily f) {
        ObjectRec& o = objects_[slot];
        if (f == kByNet) {
            if (o.tie != kNone) {
                ties_[o.tie].link = Link{};
                KeepTieIfUsed(o);
            }
        } else
            o.near[f] = NearLink{};
    }
    // Before a record is emptied: drops its far links and its net tie.
    void ForgetKeptApart(uint32_t slot) {
        const ObjectRec& o = objects_[slot];
        if (o.tie != kNone || o.hasFar)
            ForgetKeptApartSlow(slot);
    }
    void ForgetKeptApartSlow(uint32_t slot);
    static uint32_t First(const ListHead& h) { return h.first; }
    static uint32_t Last(const ListHead& h) { return h.last; }
    static void SetFirst(ListHead& h, uint32_t slot) { h.first = slot; }
    static void SetLast(ListHead& h, uint32_t slot) { h.last = slot; }
    static void Counted(ListHead& h, int change) { h.count += static_cast<uint32_t>(change); }
    uint32_t First(OwnedList h) const { return Next(h.owner, h.family); }
    uint32_t Last(OwnedList h) const { return Prev(h.owner, h.family); }
    void SetFirst(OwnedList h, uint32_t slot) { SetNext(h.owner, h.family, slot); }
    void SetLast(OwnedList h, uint32_t slot) { SetPrev(h.owner, h.family, slot); }
    static void Counted(OwnedList, int) {}
    ObjectExtras KeptExtras(uint32_t slot) const;
};

} // namespace corvane
