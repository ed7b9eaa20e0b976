// Values that many records share, kept once with a count of their users:
// the shared pools and the pads' layer tables.
#include "engine/Model.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <span>
#include <vector>

namespace corvane {

namespace {

// Values that many records hold alike, each distinct value kept once with
// the count of its users; a value no one uses is freed and its number reused.
// `Traits` hashes a key (what a caller looks a value up by), tells whether a
// kept value equals it and makes the value from it.
template <class Value, class Key, class Traits> struct CountedPool {
    struct Entry {
        Value value{};
        uint64_t hash = 0;
        uint32_t users = 0;
        bool kept = false; // holds a value (false: its number is free)
        bool idle = false; // waits among the values no one uses
    };
    std::vector<Entry> entries;
    std::vector<uint32_t> freeIds;
    FlatCells byHash; // hash -> the numbers of the values with that hash
    size_t live = 0;  // values with users
    // The values used last: records made one after another often match one
    // of the few before them (the pins of a footprint, the two texts of a
    // component), which a comparison finds without hashing the key.
    static constexpr uint32_t kRecent = 4;
    std::array<uint32_t, kRecent> recent{};
    uint32_t nextRecent = 0;
    // A value whose last user lets go stays a while, oldest first out: the
    // pads of one padstack each pass through the same short-lived values,
    // which keep their numbers (and the changes known between them) that way.
    static constexpr size_t kIdleKept = 256;
    std::deque<uint32_t> idle;
    // How many values were freed so far: a number stands for the same value
    // for as long as this does not change.
    uint64_t frees = 0;

    // The number of the value equal to `key`, with one more user.
    uint32_t Use(const Key& key) {
        for (const uint32_t id : recent)
            if (id < entries.size() && entries[id].kept && Traits::Same(entries[id].value, key)) {
                Retain(id);
                return id;
            }
        const uint64_t h = Traits::Hash(key);
        const uint32_t found =
            byHash.Find(h, [&](uint32_t id) { return Traits::Same(entries[id].value, key); });
        if (found != kNone) {
            Retain(found);
            Remember(found);
            return found;
        }
        uint32_t id;
        if (!freeIds.empty()) {
            id = freeIds.back();
            freeIds.pop_back();
        } else {
            id = static_cast<uint32_t>(entries.size());
            entries.emplace_back();
        }
        Entry& e = entries[id];
        e.value = Traits::Make(key);
        e.hash = h;
        e.users = 1;
        e.kept = true;
        byHash.Add(h, id);
        ++live;
        Remember(id);
        return id;
    }
    void Remember(uint32_t id) {
        recent[nextRecent] = id;
        nextRecent = (nextRecent + 1) % kRecent;
    }
    void Retain(uint32_t id) {
        if (entries[id].users++ == 0)
            ++live;
    }
    void Drop(uint32_t id) {
        Entry& e = entries[id];
        if (--e.users > 0)
            return;
        --live;
        if (!e.idle) {
            e.idle = true;
            idle.push_back(id);
        }
        while (idle.size() > kIdleKept) {
            const uint32_t oldest = idle.front();
            idle.pop_front();
            entries[oldest].idle = false;
            if (entries[oldest].users == 0)
                Free(oldest);
        }
    }
    bool Kept(uint32_t id) const { return id < entries.size() && entries[id].kept; }

private:
    void Free(uint32_t id) {
        Entry& e = entries[id];
        byHash.Erase(e.hash, [id](uint32_t kept) { return kept == id; });
        e.value = Value{};
        e.kept = false;
        freeIds.push_back(id);
        ++frees;
    }
};

uint64_t Mix(uint64_t h, uint32_t word) {
    return (h ^ word) * 0x9E3779B97F4A7C15ull;
}

// A pad's per-layer table, looked up by its runs.
struct RunTraits {
    using Runs = std::span<const PadLayerTable::Run>;
    static uint64_t Hash(Runs runs) {
        uint64_t h = runs.size();
        for (const PadLayerTable::Run& r : runs)
            for (int32_t v : {r.first, r.entry.shape, r.entry.xSize, r.entry.ySize, r.entry.crPct})
                h = Mix(h, static_cast<uint32_t>(v));
        return h ^ (h >> 29);
    }
    static bool Same(const std::vector<PadLayerTable::Run>& kept, Runs runs) {
        if (kept.size() != runs.size())
            return false;
        for (size_t i = 0; i < runs.size(); ++i)
            if (kept[i].first != runs[i].first || !(kept[i].entry == runs[i].entry))
                return false;
        return true;
    }
    static std::vector<PadLayerTable::Run> Make(Runs runs) { return {runs.begin(), runs.end()}; }
};
using TablePool = CountedPool<std::vector<PadLayerTable::Run>, RunTraits::Runs, RunTraits>;

// The table of a new pad: round entries with 50 % corners on layers 1..32,
// of size 0: a layer the pad is given no size on carries no copper.
constexpr PadLayerTable::Run kNewPadRuns[] = {PadLayerTable::Run{0, PadLayerEntry{}},
                                              PadLayerTable::Run{1, PadLayerEntry{1, 0, 0, 50}},
                                              PadLayerTable::Run{33, PadLayerEntry{}}};

// The pool keeps the table of a new pad for good: every pad starts with it
// and most leave it at their first write, which would otherwise free it and
// make it again for the next pad.
struct PinnedTablePool : TablePool {
    uint32_t newPadId = Use(kNewPadRuns);
};

PinnedTablePool& Tables() {
    static PinnedTablePool* pool = new PinnedTablePool; // lives as long as the process
    return *pool;
}

// A group of shared record fields, compared and hashed by its bytes.
template <class T> struct BytesTraits {
    static uint64_t Hash(const T& value) {
        static_assert(sizeof(T) % 4 == 0);
        uint32_t words[sizeof(T) / 4];
        std::memcpy(words, &value, sizeof(T));
        uint64_t h = sizeof(T);
        for (uint32_t w : words)
            h = Mix(h, w);
        return h ^ (h >> 29);
    }
    static bool Same(const T& kept, const T& value) {
        return std::memcmp(&kept, &value, sizeof(T)) == 0;
    }
    static T Make(const T& value) { return value; }
};

// The default group is never freed.
template <class T> struct SharedPool : CountedPool<T, T, BytesTraits<T>> {
    uint32_t defaultId = this->Use(T{});
};

template <class T> SharedPool<T>& SharedPoolOf() {
    static SharedPool<T>* pool = new SharedPool<T>; // lives as long as the process
    return *pool;
}

} // namespace

template <class T> uint32_t Shared<T>::DefaultId() {
    return SharedPoolOf<T>().defaultId;
}
template <class T> uint32_t Shared<T>::Use(const T& value) {
    return SharedPoolOf<T>().Use(value);
}
template <class T> const T& Shared<T>::At(uint32_t id) {
    return SharedPoolOf<T>().entries[id].value;
}
template <class T> void Shared<T>::Retain(uint32_t id) {
    SharedPoolOf<T>().Retain(id);
}
template <class T> void Shared<T>::Release(uint32_t id) {
    SharedPoolOf<T>().Drop(id);
}
template <class T> size_t Shared<T>::PooledCount() {
    return SharedPoolOf<T>().live;
}
template class Shared<PadShared>;
template class Shared<TextShared>;
template class Shared<ComponentShared>;
template class Shared<TrackShared>;
template class Shared<NetShared>;

namespace {
// Room for the runs a table change works on. Kept per thread and reused: a
// fresh array would set each of its entries first, for every pad written.
struct RunScratch {
    PadLayerTable::Run first[kLayerCount + 2];
    PadLayerTable::Run second[kLayerCount + 2];
};
RunScratch& Scratch() {
    static RunScratch scratch; // the store is used from one thread at a time
    return scratch;
}
} // namespace

PadLayerTable::PadLayerTable() : id_(Tables().newPadId) {
    Retain(id_);
}

void PadLayerTable::Retain(uint32_t id) {
    Tables().Retain(id);
}

void PadLayerTable::Release(uint32_t id) {
    Tables().Drop(id);
}

size_t PadLayerTable::PooledCount() {
    return Tables().live;
}

int PadLayerTable::RunCount() const {
    return static_cast<int>(Tables().entries[id_].value.size());
}

const PadLayerTable::Run* PadLayerTable::Runs() const {
    return Tables().entries[id_].value.data();
}

const PadLayerEntry& PadLayerTable::At(int layer) const {
    const Run* runs = Runs();
    int i = RunCount() - 1;
    while (i > 0 && runs[i].first > layer)
        --i;
    return runs[i].entry;
}

void PadLayerTable::Expand(PadLayers& out) const {
    const Run* runs = Runs();
    const int count = RunCount();
    for (int i = 0; i < count; ++i) {
        const int end = i + 1 < count ? runs[i + 1].first : kLayerCount;
        for (int l = runs[i].first; l < end; ++l)
            out[l] = runs[i].entry;
    }
}

void PadLayerTable::Assign(const PadLayers& all) {
    Run* runs = Scratch().first;
    int32_t count = 0;
    for (int l = 0; l < kLayerCount; ++l)
        if (count == 0 || !(runs[count - 1].entry == all[l]))
            runs[count++] = Run{l, all[l]};
    Assign(runs, count);
}

void PadLayerTable::Assign(const Run* runs, int32_t count) {
    const uint32_t id = Tables().Use(RunTraits::Runs(runs, static_cast<size_t>(count)));
    Release(id_);
    id_ = id;
}

bool PadLayerTable::AssignRuns(const Run* runs, int32_t count) {
    if (count < 1 || count > kLayerCount || runs[0].first != 0)
        return false;
    Run* joined = Scratch().first;
    int32_t n = 0;
    for (int32_t i = 0; i < count; ++i) {
        if (i > 0 && (runs[i].first <= runs[i - 1].first || runs[i].first >= kLayerCount))
            return false;
        if (n == 0 || !(joined[n - 1].entry == runs[i].entry))
            joined[n++] = runs[i];
    }
    Assign(joined, n);
    return true;
}

// Every layer from..to takes change(its entry); the runs are cut where the
// range starts and ends and joined where neighbours come out equal. `out`
// holds kLayerCount + 2 runs; answers how many it took.
template <class F>
int32_t PadLayerTable::ChangeRuns(const Run* runs, int32_t count, int from, int to, F&& change,
                                  Run* out) {
    int32_t n = 0;
    auto emit = [&](int first, const PadLayerEntry& e) {
        if (n > 0 && out[n - 1].entry == e)
            return;
        out[n++] = Run{first, e};
    };
    for (int i = 0; i < count; ++i) {
        const int start = runs[i].first;
        const int end = i + 1 < count ? runs[i + 1].first : kLayerCount; // exclusive
        const PadLayerEntry& e = runs[i].entry;
        if (end <= from || start > to) {
            emit(start, e);
            continue;
        }
        if (start < from)
            emit(start, e);
        PadLayerEntry changed = e;
        change(changed);
        emit(std::max(start, from), changed);
        if (end > to + 1)
            emit(to + 1, e);
    }
    return n;
}

template <class F> void PadLayerTable::Change(int from, int to, F&& change) {
    Run* out = Scratch().first;
    const int32_t n = ChangeRuns(Runs(), RunCount(), from, to, change, out);
    Assign(out, n);
}

void PadLayerTable::Set(int layer, const PadLayerEntry& entry) {
    if (At(layer) == entry)
        return;
    Change(layer, layer, [&](PadLayerEntry& e) { e = entry; });
}

void PadLayerTable::SetShapeAndSize(int from, int to, int32_t shape, int32_t xSize, int32_t ySize) {
    const ShapeAndSize change{from, to, shape, xSize, ySize};
    SetShapesAndSizes(&change, 1);
}

namespace {

// Recent table changes: pads of one padstack start from the same table and
// take the same sizes, so the table a change made is found again by the
// table it started from and the change. An entry holds while the pool has
// freed nothing since it was made: until then neither number can stand for
// another table.
struct TableChange {
    static constexpr int kMostChanges = 3;
    uint32_t from = kNone;
    uint32_t to = kNone;
    uint64_t frees = 0;
    int count = 0;
    PadLayerTable::ShapeAndSize changes[kMostChanges];
};

bool SameChange(const TableChange& known, uint32_t from, const PadLayerTable::ShapeAndSize* changes,
                int count) {
    if (known.from != from || known.count != count || known.frees != Tables().frees)
        return false;
    for (int c = 0; c < count; ++c) {
        const PadLayerTable::ShapeAndSize& a = known.changes[c];
        const PadLayerTable::ShapeAndSize& b = changes[c];
        if (a.from != b.from || a.to != b.to || a.shape != b.shape || a.xSize != b.xSize ||
            a.ySize != b.ySize)
            return false;
    }
    return true;
}

TableChange& KnownChange(uint32_t from, const PadLayerTable::ShapeAndSize* changes, int count) {
    static constexpr size_t kEntries = 256;
    static std::array<TableChange, kEntries> known;
    uint64_t h = Mix(from, static_cast<uint32_t>(count));
    for (int c = 0; c < count; ++c)
        for (int32_t v :
             {changes[c].from, changes[c].to, changes[c].shape, changes[c].xSize, changes[c].ySize})
            h = Mix(h, static_cast<uint32_t>(v));
    return known[(h ^ (h >> 32)) % kEntries];
}

} // namespace

void PadLayerTable::SetShapesAndSizes(const ShapeAndSize* changes, int count) {
    if (count <= 0)
        return;
    const uint32_t from = id_;
    TableChange* known = nullptr;
    if (count <= TableChange::kMostChanges) {
        known = &KnownChange(from, changes, count);
        if (SameChange(*known, from, changes, count)) {
            Retain(known->to);
            Release(id_);
            id_ = known->to;
            return;
        }
    }
    // Each change works on the runs the one before left; only the last
    // result becomes a table of the pool.
    Run* buffers[2] = {Scratch().first, Scratch().second};
    const Run* runs = Runs();
    int32_t n = RunCount();
    for (int c = 0; c < count; ++c) {
        const ShapeAndSize& change = changes[c];
        Run* out = buffers[c % 2];
        n = ChangeRuns(
            runs, n, change.from, change.to,
            [&](PadLayerEntry& e) {
                e.shape = change.shape;
                e.xSize = change.xSize;
                e.ySize = change.ySize;
            },
            out);
        runs = out;
    }
    Assign(runs, n);
    if (known && Tables().Kept(from)) {
        known->from = from;
        known->to = id_;
        known->frees = Tables().frees;
        known->count = count;
        std::copy_n(changes, count, known->changes);
    }
}

namespace {
// The last whole-layer change: the pads of one padstack take the same
// values, one after another. It holds while the pool has freed nothing since.
struct LayersChange {
    uint32_t from = kNone;
    uint32_t to = kNone;
    uint64_t frees = 0;
    int first = 0, count = 0;
    bool taken = false;
    std::array<int32_t, kLayerCount> shapes{}, xSizes{}, ySizes{}, crPcts{};

    bool Same(uint32_t id, int f, int n, const int32_t* s, const int32_t* x, const int32_t* y,
              const int32_t* c) const {
        const size_t bytes = sizeof(int32_t) * static_cast<size_t>(n);
        return from == id && frees == Tables().frees && first == f && count == n &&
               std::memcmp(shapes.data(), s, bytes) == 0 &&
               std::memcmp(xSizes.data(), x, bytes) == 0 &&
               std::memcmp(ySizes.data(), y, bytes) == 0 &&
               std::memcmp(crPcts.data(), c, bytes) == 0;
    }
};
} // namespace

bool PadLayerTable::SetLayers(int first, int count, const int32_t* shapes, const int32_t* xSizes,
                              const int32_t* ySizes, const int32_t* crPcts) {
    static LayersChange last;
    if (last.Same(id_, first, count, shapes, xSizes, ySizes, crPcts)) {
        Retain(last.to);
        Release(id_);
        id_ = last.to;
        return last.taken;
    }
    const uint32_t from = id_;
    static PadLayers all; // Expand sets every entry
    Expand(all);
    bool taken = true;
    for (int i = 0; i < count; ++i) {
        PadLayerEntry& e = all[static_cast<size_t>(first + i)];
        if (shapes[i] >= 0 && shapes[i] <= 9)
            e.shape = shapes[i];
        else
            taken = false;
        if (xSizes[i] >= 0 && ySizes[i] >= 0) {
            e.xSize = xSizes[i];
            e.ySize = ySizes[i];
        } else
            taken = false;
        if (crPcts[i] >= 0 && crPcts[i] <= 100)
            e.crPct = crPcts[i];
        else
            taken = false;
    }
    Assign(all);
    if (Tables().Kept(from)) {
        const size_t n = static_cast<size_t>(count);
        last.from = from;
        last.to = id_;
        last.frees = Tables().frees;
        last.first = first;
        last.count = count;
        last.taken = taken;
        std::copy_n(shapes, n, last.shapes.begin());
        std::copy_n(xSizes, n, last.xSizes.begin());
        std::copy_n(ySizes, n, last.ySizes.begin());
        std::copy_n(crPcts, n, last.crPcts.begin());
    }
    return taken;
}

} // namespace corvane
