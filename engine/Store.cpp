#include "engine/Model.h"

#include "sdk/HugePages.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <new>
#include <span>
#include <type_traits>
#include <unistd.h>

namespace corvane {

namespace {

// Board handles stay below 2^31 so that a host may pass them as 32-bit
// integers: bit 30 set, a 14-bit generation and a 16-bit slot number + 1.
constexpr intptr_t kBoardBit = intptr_t{1} << 30;
constexpr uint32_t kBoardGenMask = 0x3FFFu;

intptr_t MakeBoardHandle(uint32_t gen, uint32_t slot) {
    return kBoardBit | (static_cast<intptr_t>(gen & kBoardGenMask) << 16) |
           static_cast<intptr_t>(slot + 1);
}

bool SplitBoardHandle(intptr_t handle, uint32_t& gen, uint32_t& slot) {
    if (handle <= 0 || handle >= (kBoardBit << 1) || (handle & kBoardBit) == 0 ||
        (handle & 0xFFFF) == 0)
        return false;
    slot = static_cast<uint32_t>(handle & 0xFFFF) - 1;
    gen = static_cast<uint32_t>((handle >> 16) & kBoardGenMask);
    return true;
}

uint32_t NextGen(uint32_t gen) {
    uint32_t g = (gen + 1) & kGenMask;
    return g == 0 ? 1 : g;
}

int32_t FlipLayer(int32_t layer) {
    switch (layer) {
    case 1:
        return 32;
    case 32:
        return 1;
    case 33:
        return 34;
    case 34:
        return 33;
    case 35:
        return 36;
    case 36:
        return 35;
    case 37:
        return 38;
    case 38:
        return 37;
    default:
        return layer;
    }
}

double NormalizeAngle(double a) {
    a = std::fmod(a, 360.0);
    if (a < 0)
        a += 360.0;
    return a;
}

struct Transform {
    // Applied in order: mirror about x = cx (when flip), rotate by `angle`
    // about (cx, cy), then move by (dx, dy). The rotation's kind and sine
    // and cosine are worked out once for all the points it moves.
    Transform(bool flip_, double angle_, int64_t cx_, int64_t cy_, int64_t dx_, int64_t dy_)
        : flip(flip_), angle(NormalizeAngle(angle_)), cx(cx_), cy(cy_), dx(dx_), dy(dy_) {
        if (angle == 90.0)
            turn = kQuarter;
        else if (angle == 180.0)
            turn = kHalf;
        else if (angle == 270.0)
            turn = kThreeQuarters;
        else if (angle != 0.0) {
            turn = kAny;
            const double r = angle * M_PI / 180.0;
            cosA = std::cos(r);
            sinA = std::sin(r);
        }
    }
    bool flip;
    double angle; // 0 <= angle < 360
    int64_t cx, cy, dx, dy;
    enum Turn { kNoTurn, kQuarter, kHalf, kThreeQuarters, kAny } turn = kNoTurn;
    double cosA = 1.0, sinA = 0.0;

    bool Moves() const { return flip || turn != kNoTurn || dx != 0 || dy != 0; }
    void Point(int32_t& x, int32_t& y) const {
        int64_t px = x, py = y;
        if (flip)
            px = 2 * cx - px;
        const int64_t rx = px - cx, ry = py - cy;
        switch (turn) {
        case kNoTurn:
            break;
        case kQuarter:
            px = cx - ry;
            py = cy + rx;
            break;
        case kHalf:
            px = cx - rx;
            py = cy - ry;
            break;
        case kThreeQuarters:
            px = cx + ry;
            py = cy - rx;
            break;
        case kAny:
            px = cx + std::llround(rx * cosA - ry * sinA);
            py = cy + std::llround(rx * sinA + ry * cosA);
            break;
        }
        x = static_cast<int32_t>(px + dx);
        y = static_cast<int32_t>(py + dy);
    }
    double Angle(double a) const {
        if (flip)
            a = 180.0 - a;
        return NormalizeAngle(a + angle);
    }
};

} // namespace

// ----------------------------------------------------------------- names

const char* KindName(int32_t kind) {
    return PcbApiKindName(kind);
}

const char* LayerDefaultName(int32_t layer) {
    static const std::array<std::string, kLayerCount> names = [] {
        std::array<std::string, kLayerCount> n;
        n[0] = "No Layer";
        n[1] = "Top Layer";
        for (int i = 1; i <= 30; ++i)
            n[i + 1] = "Mid-Layer " + std::to_string(i);
        n[32] = "Bottom Layer";
        n[33] = "Top Overlay";
        n[34] = "Bottom Overlay";
        n[35] = "Top Paste";
        n[36] = "Bottom Paste";
        n[37] = "Top Solder";
        n[38] = "Bottom Solder";
        for (int i = 1; i <= 16; ++i)
            n[i + 38] = "Internal Plane " + std::to_string(i);
        n[55] = "Drill Guide";
        n[56] = "Keep-Out Layer";
        for (int i = 1; i <= 16; ++i)
            n[i + 56] = "Mechanical " + std::to_string(i);
        n[73] = "Drill Drawing";
        n[74] = "Multi-Layer";
        n[75] = "Connections";
        n[76] = "Background";
        n[77] = "DRC Errors";
        n[78] = "Highlights";
        n[79] = "Visible Grid 1";
        n[80] = "Visible Grid 10";
        n[81] = "Pad Holes";
        n[82] = "Via Holes";
        return n;
    }();
    return layer >= 0 && layer < kLayerCount ? names[layer].c_str() : "";
}

namespace {
struct TextPool {
    std::deque<std::string> texts{std::string()};
    std::unordered_map<std::string_view, uint32_t> ids{{std::string_view(), 0u}};
};
TextPool& Texts() {
    static TextPool* pool = new TextPool; // outlives every record
    return *pool;
}
} // namespace

uint32_t Interned::Intern(std::string_view s) {
    if (s.empty())
        return 0;
    TextPool& pool = Texts();
    auto found = pool.ids.find(s);
    if (found != pool.ids.end())
        return found->second;
    const auto id = static_cast<uint32_t>(pool.texts.size());
    pool.texts.emplace_back(s);
    pool.ids.emplace(pool.texts.back(), id);
    return id;
}

const std::string& Interned::str() const {
    return Texts().texts[id_];
}

const std::vector<const char*>& ConstraintNames(int32_t ruleKind) {
    static const std::vector<const char*> none;
    static const std::vector<const char*> clearance{"Gap"};
    static const std::vector<const char*> parallel{"Gap", "Limit"};
    static const std::vector<const char*> width{"MaxWidth", "MinWidth", "PreferredWidth"};
    static const std::vector<const char*> stub{"StubLength"};
    static const std::vector<const char*> topology{"Topology"};
    static const std::vector<const char*> layers = [] {
        static std::vector<std::string> keep;
        std::vector<const char*> n;
        for (int i = 1; i <= PCBAPI_ROUTING_LAYER_COUNT; ++i)
            keep.push_back("Layer" + std::to_string(i));
        for (auto& s : keep)
            n.push_back(s.c_str());
        return n;
    }();
    static const std::vector<const char*> viaStyle{"MinHoleWidth",       "MinWidth",
                                                   "MaxHoleWidth",       "MaxWidth",
                                                   "PreferredHoleWidth", "PreferredWidth"};
    static const std::vector<const char*> allowed{"Allowed"};
    static const std::vector<const char*> count{"MaximumViaCount"};
    static const std::vector<const char*> distance{"Distance"};
    switch (ruleKind) {
    case 0:
        return clearance;
    case 1:
        return parallel;
    case 2:
        return width;
    case 5:
        return stub;
    case 7:
        return topology;
    case 9:
        return layers;
    case 11:
        return viaStyle;
    case 17:
        return allowed;
    case 18:
        return count;
    case 23:
        return distance;
    case kHoleToHoleRule:
        return clearance;
    default:
        return none;
    }
}

std::vector<int32_t> DefaultConstraints(int32_t ruleKind) {
    switch (ruleKind) {
    case 0:
        return {100000};
    case 1:
        return {100000, 100000000};
    case 2:
        return {100000, 100000, 100000};
    case 5:
        return {10000000};
    case 7:
        return {0};
    case 9: {
        std::vector<int32_t> v(PCBAPI_ROUTING_LAYER_COUNT, 0);
        v[0] = 1;
        v[31] = 2;
        return v;
    }
    case 11:
        return {280000, 500000, 280000, 500000, 280000, 500000};
    case 17:
        return {0};
    case 18:
        return {1000};
    case 23:
        return {0};
    case kHoleToHoleRule:
        return {kDefaultHoleGap};
    default:
        return {};
    }
}

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
    std::unordered_multimap<uint64_t, uint32_t> byHash;
    size_t live = 0; // values with users
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
        for (auto [at, end] = byHash.equal_range(h); at != end; ++at)
            if (Traits::Same(entries[at->second].value, key)) {
                Retain(at->second);
                Remember(at->second);
                return at->second;
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
        byHash.emplace(h, id);
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
        for (auto [at, end] = byHash.equal_range(e.hash); at != end; ++at)
            if (at->second == id) {
                byHash.erase(at);
                break;
            }
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

// Record arenas: one per record type, its cells in chunks of whole huge
// pages (2 MiB) that never move. The first chunk of a type is left to ordinary
// pages, so that a small board costs only the pages it touches; later chunks
// ask for huge pages, so that a large board's records do not cost a page
// fault per 4 KiB. A freed cell keeps the number of the next free one.
namespace {
constexpr size_t kChunkBytes = HostSdk::kHugePageBytes;
constexpr uint32_t kMaxPagesPerChunk = 7;

struct ChunkFree {
    void operator()(std::byte* p) const { std::free(p); }
};

class BodyArena {
public:
    // Cells take the record's size rounded up to its alignment (4 or 8).
    BodyArena(int type, size_t recordBytes, size_t recordAlign) : type_(type) {
        const size_t bytes = kCheckedHeap ? sizeof(Body*) : recordBytes;
        const size_t align = kCheckedHeap ? alignof(Body*) : recordAlign;
        cellBytes_ = static_cast<uint32_t>((bytes + align - 1) / align * align);
        // A whole number of huge pages per chunk: with cells of 4 * m * 2^k
        // bytes (m odd), 2^(19 - k) cells take m pages. Large records, which
        // boards hold few of, take chunks of at most one page instead.
        uint32_t k = 0;
        while ((cellBytes_ >> (2 + k)) % 2 == 0 && k < 19)
            ++k;
        if ((cellBytes_ >> (2 + k)) <= kMaxPagesPerChunk) {
            shift_ = 19 - k;
            chunkBytes_ = (size_t{1} << shift_) * cellBytes_;
        } else {
            while ((size_t{2} << shift_) * cellBytes_ <= kChunkBytes)
                ++shift_;
            chunkBytes_ = kChunkBytes;
        }
        Publish();
    }
    uint32_t Take() {
        if constexpr (kCheckedHeap) {
            if (!freeCells_.empty()) {
                const uint32_t cell = freeCells_.back();
                freeCells_.pop_back();
                return cell;
            }
        } else if (free_ != kNone) {
            const uint32_t cell = free_;
            std::memcpy(&free_, At(cell), sizeof free_);
            return cell;
        }
        if (used_ == size_t{chunks_.size()} << shift_) {
            if (used_ + (size_t{1} << shift_) > size_t{kBodyCellMask} + 1)
                throw std::bad_alloc();
            NewChunk();
        }
        return used_++;
    }
    void Give(uint32_t cell) {
        if constexpr (kCheckedHeap) {
            freeCells_.push_back(cell);
        } else {
            std::memcpy(At(cell), &free_, sizeof free_);
            free_ = cell;
        }
    }
    std::byte* At(uint32_t cell) const {
        return addresses_[cell >> shift_] + size_t{cell & ((1u << shift_) - 1)} * cellBytes_;
    }

private:
    int type_;
    uint32_t cellBytes_ = 8;
    uint32_t shift_ = 0;
    size_t chunkBytes_ = 0; // a multiple of kChunkBytes
    uint32_t used_ = 0;
    uint32_t free_ = kNone;
    std::vector<uint32_t> freeCells_; // checked builds keep free cells here
    std::vector<std::unique_ptr<std::byte, ChunkFree>> chunks_;
    std::vector<std::byte*> addresses_; // of the chunks, for the view

    void NewChunk() {
        auto* p = static_cast<std::byte*>(
            HostSdk::AllocateHugePageBlock(chunkBytes_, /*advise=*/!chunks_.empty()));
        chunks_.emplace_back(p);
        addresses_.push_back(p);
        Publish();
    }
    void Publish() {
        gBodyArenas[static_cast<size_t>(type_)] =
            BodyArenaView{addresses_.data(), cellBytes_, shift_};
    }
};

// Record types, numbered from 1, and the first kind of each.
constexpr std::array<int32_t, 15> kTypeKind = {0,    kTrack,  kArc,      kFill,      kVia,
                                               kPad, kRegion, kText,     kComponent, kPolygon,
                                               kNet, kFromTo, kEmbedded, kClass,     kRule};
static_assert(kTypeKind.size() <= (size_t{1} << kBodyTypeBits));

BodyArena& ArenaOf(int type, size_t recordBytes, size_t recordAlign) {
    // Lives as long as the process: records are freed into it at exit.
    static auto* arenas = new std::array<std::unique_ptr<BodyArena>, kTypeKind.size()>;
    auto& arena = (*arenas)[static_cast<size_t>(type)];
    if (!arena)
        arena = std::make_unique<BodyArena>(type, recordBytes, recordAlign);
    return *arena;
}

template <class T> uint32_t Place(int type) {
    static_assert(alignof(T) >= 4 && alignof(T) <= 8);
    BodyArena& arena = ArenaOf(type, sizeof(T), alignof(T));
    const uint32_t cell = arena.Take();
    try {
        if constexpr (kCheckedHeap)
            *reinterpret_cast<Body**>(arena.At(cell)) = new T();
        else
            new (arena.At(cell)) T();
    } catch (...) {
        arena.Give(cell);
        throw;
    }
    return static_cast<uint32_t>(type) << kBodyCellBits | cell;
}
} // namespace

BodyBox BodyBox::Make(int32_t kind) {
    BodyBox box;
    switch (kind) {
    case kTrack:
        box.ref_ = Place<TrackBody>(1);
        break;
    case kArc:
        box.ref_ = Place<ArcBody>(2);
        break;
    case kFill:
        box.ref_ = Place<FillBody>(3);
        break;
    case kVia:
        box.ref_ = Place<ViaBody>(4);
        break;
    case kPad:
        box.ref_ = Place<PadBody>(5);
        break;
    case kRegion:
        box.ref_ = Place<RegionBody>(6);
        break;
    case kText:
        box.ref_ = Place<TextBody>(7);
        break;
    case kComponent:
        box.ref_ = Place<ComponentBody>(8);
        break;
    case kPolygon:
    case kSplitPlane:
    case kBoardOutline:
        box.ref_ = Place<PolygonBody>(9);
        break;
    case kNet:
        box.ref_ = Place<NetBody>(10);
        break;
    case kFromTo:
    case kManualFromTo:
        box.ref_ = Place<FromToBody>(11);
        break;
    case kEmbedded:
        box.ref_ = Place<EmbeddedBody>(12);
        break;
    case kClass:
        box.ref_ = Place<ClassBody>(13);
        break;
    case kRule:
        box.ref_ = Place<RuleBody>(14);
        break;
    default:
        break;
    }
    return box;
}

void BodyBox::reset() {
    if (ref_ == 0)
        return;
    const auto type = static_cast<int>(ref_ >> kBodyCellBits);
    Body* body = get();
    const uint32_t cell = ref_ & kBodyCellMask;
    ref_ = 0;
    VisitBody(kTypeKind[static_cast<size_t>(type)], body, [](auto& record) {
        using T = std::remove_reference_t<decltype(record)>;
        if constexpr (kCheckedHeap)
            delete &record;
        else
            record.~T();
    });
    ArenaOf(type, 0, 1).Give(cell); // made when the record was placed
}

bool IsPrimitiveKind(int32_t kind) {
    switch (kind) {
    case kTrack:
    case kArc:
    case kFill:
    case kVia:
    case kPad:
    case kRegion:
    case kText:
    case kComponent:
    case kPolygon:
    case kSplitPlane:
    case kBoardOutline:
        return true;
    default:
        return false;
    }
}

std::string AbsolutePath(const std::string& path) {
    if (path.empty() || path[0] == '/')
        return path;
    char buffer[4096];
    if (!getcwd(buffer, sizeof buffer))
        return path;
    return std::string(buffer) + "/" + path;
}

PcbApiDielectric DefaultDielectric() {
    PcbApiDielectric d{};
    d.Kind = 1;
    d.Height = 126000;
    d.Constant = 4.8;
    std::strncpy(d.Material, "FR-4", sizeof d.Material - 1);
    return d;
}

void ResetBoardDefaults(BoardRec& b) {
    b.dielTop = DefaultDielectric();
    b.dielBottom = DefaultDielectric();
    for (int l = 0; l < kLayerCount; ++l) {
        LayerRec& r = b.layers[l];
        r = LayerRec{};
        r.name = LayerDefaultName(l);
        r.dielectric = DefaultDielectric();
        r.mechanicalEnabled = 0;
    }
    b.layers[1].inStack = b.layers[32].inStack = true;
    b.layers[1].next = 32;
    b.layers[32].prev = 1;
    // Grids: imperial units, 5 mil snap, 20 mil visible, 100 mil big grid.
    b.grids.v = {1,     1,     1,     1000000, 200000, 50000, 50000,
                 50000, 50000, 50000, 200000,  200000, 200000};
}

Store& Store::Make() {
    static Store store;
    made_.store(&store, std::memory_order_release);
    return store;
}

// ----------------------------------------------------------------- handles

intptr_t Store::BoardHandle(uint32_t slot) const {
    if (slot >= boards_.size() || !boards_[slot]->live)
        return 0;
    return MakeBoardHandle(boards_[slot]->gen, slot);
}

uint32_t Store::BoardSlot(intptr_t handle) const {
    uint32_t gen = 0, slot = 0;
    if (!SplitBoardHandle(handle, gen, slot) || slot >= boards_.size())
        return kNone;
    const BoardRec& b = *boards_[slot];
    if (!b.live || (b.gen & kBoardGenMask) != gen)
        return kNone;
    return slot;
}

BoardRec* Store::Board(intptr_t handle) {
    uint32_t slot = BoardSlot(handle);
    return slot == kNone ? nullptr : boards_[slot].get();
}

// ----------------------------------------------------------------- lists

ListHead* Store::HeadFor(ObjectRec& o, LinkFamily f) {
    switch (f) {
    case kByKind:
        return o.board == kNone ? nullptr : &boards_[o.board]->byKind[o.kind];
    case kByLayer:
        if (o.board == kNone || o.layer <= 0 || o.layer >= kLayerCount)
            return nullptr;
        return &boards_[o.board]->byLayer[o.layer];
    default:
        return nullptr;
    }
}

void Store::SetFarEnd(uint32_t slot, LinkFamily f, bool next, int16_t& d, uint32_t target) {
    const int64_t distance = target == kNone ? 0 : static_cast<int64_t>(target) - slot;
    if (target == kNone ||
        (distance != 0 && distance >= -NearLink::kReach && distance <= NearLink::kReach)) {
        if (d == NearLink::kFar)
            far_.erase(FarKey(slot, f, next));
        d = static_cast<int16_t>(distance);
        return;
    }
    far_[FarKey(slot, f, next)] = target;
    d = NearLink::kFar;
    objects_[slot].hasFar = 1;
}

void Store::ForgetKeptApartSlow(uint32_t slot) {
    ObjectRec& o = objects_[slot];
    if (o.tie != kNone) {
        freeTies_.push_back(o.tie);
        o.tie = kNone;
    }
    if (!o.hasFar)
        return;
    for (int f = 0; f < kNearFamilyCount; ++f)
        for (const bool next : {false, true})
            far_.erase(FarKey(slot, static_cast<LinkFamily>(f), next));
    o.hasFar = 0;
}

// ----------------------------------------------------------------- net index

namespace {
uint32_t NameHash(std::string_view name) {
    return static_cast<uint32_t>(std::hash<std::string_view>{}(name));
}
std::string_view NetNameAt(uint32_t slot) {
    return static_cast<const NetBody*>(Store::Get().At(slot).body.get())->name;
}
} // namespace

uint32_t NetIndex::Find(std::string_view name) const {
    if (count_ == 0)
        return kNone;
    const size_t mask = cells_.size() - 1;
    const uint32_t h = NameHash(name);
    for (size_t i = h & mask;; i = (i + 1) & mask) {
        const Cell& c = cells_[i];
        if (c.slot == kNone)
            return kNone;
        if (c.slot != kGone && c.hash == h && NetNameAt(c.slot) == name)
            return c.slot;
    }
}

void NetIndex::Insert(std::string_view name, uint32_t slot) {
    if ((taken_ + 1) * 4 > cells_.size() * 3)
        Grow();
    const size_t mask = cells_.size() - 1;
    const uint32_t h = NameHash(name);
    size_t i = h & mask;
    while (cells_[i].slot != kNone && cells_[i].slot != kGone)
        i = (i + 1) & mask;
    if (cells_[i].slot == kNone)
        ++taken_;
    cells_[i] = Cell{slot, h};
    ++count_;
}

void NetIndex::Erase(std::string_view name, uint32_t slot) {
    if (count_ == 0)
        return;
    const size_t mask = cells_.size() - 1;
    for (size_t i = NameHash(name) & mask; cells_[i].slot != kNone; i = (i + 1) & mask)
        if (cells_[i].slot == slot) {
            cells_[i].slot = kGone;
            --count_;
            return;
        }
}

// Room for twice the live nets (at least 16 cells), removed entries dropped:
// the table is between a third and three quarters full, and a probe compares
// the hashes it passes before it reads a name.
void NetIndex::Grow() {
    size_t size = 16;
    while (size < (count_ + 1) * 2)
        size *= 2;
    std::vector<Cell, HostSdk::TableAllocator<Cell>> old(size);
    old.swap(cells_);
    const size_t mask = size - 1;
    for (const Cell& c : old)
        if (c.slot != kNone && c.slot != kGone) {
            size_t i = c.hash & mask;
            while (cells_[i].slot != kNone)
                i = (i + 1) & mask;
            cells_[i] = c;
        }
    taken_ = count_;
}

// ----------------------------------------------------------------- boards

uint32_t Store::NewBoard(const std::string& fileName) {
    uint32_t slot = kNone;
    for (uint32_t i = 0; i < boards_.size(); ++i)
        if (!boards_[i]->live) {
            slot = i;
            break;
        }
    if (slot == kNone) {
        if (boards_.size() >= kMaxBoards)
            return kNone;
        boards_.push_back(std::make_unique<BoardRec>());
        slot = static_cast<uint32_t>(boards_.size() - 1);
    }
    uint32_t gen = NextGen(boards_[slot]->gen);
    boards_[slot] = std::make_unique<BoardRec>();
    BoardRec& b = *boards_[slot];
    b.gen = gen;
    b.live = true;
    b.fileName = fileName;
    b.modified = true;
    ResetBoardDefaults(b);
    return slot;
}

void Store::CloseBoard(uint32_t boardSlot) {
    BoardRec& b = *boards_[boardSlot];
    // Every object on the board goes. The board's lists and the nets' and
    // components' lists all go with it, and no object off the board is
    // linked to one on it, so the objects are freed without unlinking them
    // one by one. The slots are walked in order rather than through the
    // lists: the records are read in sequence, and the freed slots come out
    // sorted without a sort.
    size_t onBoard = 0;
    for (int kind = 1; kind < kKindCount; ++kind)
        onBoard += b.byKind[kind].count;
    const size_t freeBefore = freeObjects_.size();
    freeObjects_.reserve(freeBefore + onBoard);
    for (uint32_t slot = 0; slot < objects_.size() && freeObjects_.size() - freeBefore < onBoard;
         ++slot) {
        ObjectRec& o = objects_[slot];
        if (o.board != boardSlot || o.kind == 0)
            continue;
        const uint32_t gen = o.gen;
        if (o.hasExtras)
            extras_.erase(slot);
        ForgetKeptApart(slot);
        o = ObjectRec{};
        o.gen = NextGen(gen); // the old handle is stale now
        freeObjects_.push_back(slot);
    }
    // Later objects take the freed slots lowest first (from the back), so
    // that an import fills memory in order.
    std::reverse(freeObjects_.begin() + static_cast<std::ptrdiff_t>(freeBefore),
                 freeObjects_.end());
    if (currentBoard == BoardHandle(boardSlot))
        currentBoard = 0;
    for (auto& it : iterators_)
        if (it.live && it.board == boardSlot)
            it.items.clear();
    uint32_t gen = b.gen;
    b = BoardRec{};
    b.gen = NextGen(gen);
    b.live = false;
}

uint32_t Store::FindBoardByFileName(const std::string& fileName) const {
    for (uint32_t i = 0; i < boards_.size(); ++i)
        if (boards_[i]->live && boards_[i]->fileName == fileName)
            return i;
    return kNone;
}

// ----------------------------------------------------------------- objects

uint32_t Store::CreateObject(int32_t kind, bool bare) {
    BodyBox body = MakeBody(kind);
    if (!body)
        return kNone;
    uint32_t slot;
    if (!freeObjects_.empty()) {
        slot = freeObjects_.back();
        freeObjects_.pop_back();
    } else {
        slot = objects_.Add();
    }
    {
        ForgetKeptApart(slot);
        ObjectRec& o = objects_[slot];
        uint32_t gen = NextGen(o.gen);
        o = ObjectRec{};
        o.gen = gen;
        o.kind = kind;
        o.body = std::move(body);
        switch (kind) {
        case kTrack:
        case kArc:
        case kFill:
        case kPolygon:
        case kRegion:
        case kComponent:
            o.layer = 1;
            break;
        case kText:
            o.layer = 33;
            break;
        case kPad:
        case kVia:
            o.layer = 74;
            break;
        case kSplitPlane:
            o.layer = 39;
            break;
        case kBoardOutline:
            o.layer = 56;
            break;
        default:
            o.layer = 0;
            break;
        }
        if (kind == kRule)
            static_cast<RuleBody*>(o.body.get())->values = DefaultConstraints(0);
    }
    if (kind == kComponent && !bare) {
        uint32_t nameText = CreateObject(kText);
        uint32_t commentText = CreateObject(kText);
        auto* comp = static_cast<ComponentBody*>(objects_[slot].body.get());
        comp->nameText.handle = ObjectHandle(nameText);
        comp->commentText.handle = ObjectHandle(commentText);
        static_cast<TextBody*>(objects_[nameText].body.get())->text = "Designator";
        static_cast<TextBody*>(objects_[commentText].body.get())->text = "Comment";
        AddToComponent(nameText, slot);
        AddToComponent(commentText, slot);
    }
    return slot;
}

ObjectExtras Store::KeptExtras(uint32_t slot) const {
    const auto found = extras_.find(slot);
    return found == extras_.end() ? ObjectExtras{} : found->second;
}

void Store::SetExtras(uint32_t slot, const ObjectExtras& extras) {
    ObjectRec& o = objects_[slot];
    if (extras.Empty()) {
        if (o.hasExtras)
            extras_.erase(slot);
        o.hasExtras = 0;
        return;
    }
    extras_[slot] = extras;
    o.hasExtras = 1;
}

bool Store::AttachToBoard(uint32_t slot, uint32_t boardSlot) {
    ObjectRec& o = objects_[slot];
    if (o.board != kNone)
        return false;
    BoardRec& b = *boards_[boardSlot];
    if (o.kind == kNet) {
        auto* net = static_cast<NetBody*>(o.body.get());
        if (b.netByName.Contains(net->name))
            return false;
        b.netByName.Insert(net->name, slot);
    }
    // The net goes with the object only when it is on this board already;
    // asked before the object is on a board, which changes how it reads.
    const uint32_t net = NetOf(o);
    const bool netHere = net != kNone && objects_[net].board == boardSlot;
    o.board = boardSlot;
    ListAppend(b.byKind[o.kind], slot, kByKind);
    if (ListHead* h = HeadFor(o, kByLayer))
        ListAppend(*h, slot, kByLayer);
    if (netHere)
        ListAppend(Members(net), slot, kByNet);
    else
        SetNetField(o, kNone);
    if (o.kind == kBoardOutline && b.outline == kNone)
        b.outline = slot;
    if (o.kind == kComponent) {
        // Attaching links the children into the board's lists, never into
        // another container's: the walk can go on through them.
        ForEach(Children(slot), kByContainer, [&](uint32_t c) { AttachToBoard(c, boardSlot); });
    }
    b.modified = true;
    return true;
}

void Store::DetachFromBoard(uint32_t slot) {
    ObjectRec& o = objects_[slot];
    if (o.board == kNone)
        return;
    BoardRec& b = *boards_[o.board];
    if (o.kind == kComponent) {
        std::vector<uint32_t> children;
        ForEach(Children(slot), kByContainer, [&](uint32_t c) { children.push_back(c); });
        for (uint32_t c : children)
            DetachFromBoard(c);
    }
    if (o.kind == kNet) {
        auto* net = static_cast<NetBody*>(o.body.get());
        std::vector<uint32_t> members;
        ForEach(Members(slot), kByNet, [&](uint32_t m) { members.push_back(m); });
        for (uint32_t m : members) {
            ListRemove(Members(slot), m, kByNet);
            SetNetField(objects_[m], kNone);
        }
        b.netByName.Erase(net->name, slot);
    }
    const uint32_t net = NetField(o);
    if (net != kNone)
        ListRemove(Members(net), slot, kByNet);
    if (ListHead* h = HeadFor(o, kByLayer))
        ListRemove(*h, slot, kByLayer);
    ListRemove(b.byKind[o.kind], slot, kByKind);
    if (b.outline == slot)
        b.outline = kNone;
    b.modified = true;
    o.board = kNone;
    if (net != kNone) // off the board, the object still names its net
        o.SetFreeNetGen(objects_[net].gen);
}

bool Store::AddToComponent(uint32_t slot, uint32_t componentSlot) {
    ObjectRec& o = objects_[slot];
    ObjectRec& c = objects_[componentSlot];
    if (c.kind != kComponent || !IsPrimitiveKind(o.kind) || o.kind == kComponent ||
        o.kind == kBoardOutline || o.container != kNone || slot == componentSlot)
        return false;
    if (o.board != kNone && o.board != c.board)
        return false;
    o.container = componentSlot;
    ListAppend(Children(componentSlot), slot, kByContainer);
    if (c.board != kNone && o.board == kNone)
        AttachToBoard(slot, c.board);
    MarkModified(c);
    return true;
}

void Store::DestroyObject(uint32_t slot) {
    if (objects_[slot].kind == kComponent) {
        std::vector<uint32_t> children;
        ForEach(Children(slot), kByContainer, [&](uint32_t c) { children.push_back(c); });
        for (uint32_t c : children)
            DestroyObject(c);
    }
    DetachFromBoard(slot);
    ObjectRec& o = objects_[slot];
    if (o.container != kNone) {
        ListRemove(Children(o.container), slot, kByContainer);
        o.container = kNone;
    }
    SetNetField(o, kNone); // a free object is in no net list
    uint32_t gen = o.gen;
    if (o.hasExtras)
        extras_.erase(slot);
    ForgetKeptApart(slot);
    o = ObjectRec{};
    o.gen = gen; // the next use bumps it; the old handle is stale now
    o.gen = NextGen(o.gen);
    freeObjects_.push_back(slot);
}

void Store::SetNet(uint32_t slot, uint32_t netSlot) {
    ObjectRec& o = objects_[slot];
    if (o.kind == kNet) // a net is in no net: its net link holds its members
        return;
    const uint32_t net = NetOf(o);
    if (net == kNone)
        SetNetField(o, kNone);
    if (net == netSlot)
        return;
    if (o.board == kNone) {
        NameNetOffBoard(o, netSlot);
        return;
    }
    if (net != kNone)
        ListRemove(Members(net), slot, kByNet);
    SetNetField(o, kNone);
    if (netSlot != kNone && objects_[netSlot].board == o.board) {
        SetNetField(o, netSlot);
        ListAppend(Members(netSlot), slot, kByNet);
    }
    MarkModified(o);
}

void Store::Rearrange(const std::vector<uint32_t>& from, const std::vector<uint32_t>& to) {
    const size_t n = from.size();
    std::vector<uint32_t> sorted(from);
    if (!std::is_sorted(sorted.begin(), sorted.end()))
        std::sort(sorted.begin(), sorted.end());
    // The place of a slot among the sorted ones. Slots read from one document
    // lie close together: a table over their range answers each in one step,
    // where a search would miss the cache at every halving.
    std::vector<uint32_t> placeOf;
    const uint32_t low = n ? sorted.front() : 0;
    if (n && sorted.back() - low < 4 * n) {
        placeOf.resize(sorted.back() - low + 1);
        for (size_t k = 0; k < n; ++k)
            placeOf[sorted[k] - low] = static_cast<uint32_t>(k);
    }
    auto indexOf = [&](uint32_t slot) {
        if (!placeOf.empty())
            return placeOf[slot - low];
        return static_cast<uint32_t>(std::lower_bound(sorted.begin(), sorted.end(), slot) -
                                     sorted.begin());
    };
    // By the place of a slot among the sorted ones: the place whose record
    // comes there.
    std::vector<uint32_t> source(n);
    for (size_t i = 0; i < n; ++i)
        source[indexOf(to[i])] = indexOf(from[i]);
    placeOf = {};
    std::vector<std::pair<uint32_t, ObjectExtras>> extras;
    for (size_t i = 0; i < n; ++i)
        if (objects_[from[i]].hasExtras) {
            extras.emplace_back(to[i], KeptExtras(from[i]));
            extras_.erase(from[i]);
        }
    // The records are gathered in their new order and put back. Both passes
    // read and write in long runs (the sources are a few runs of one kind
    // each, interleaved), where moving records around the permutation's cycles
    // would wait on the memory at every step. Each slot keeps its generation.
    std::vector<ObjectRec> moved;
    moved.reserve(n);
    for (size_t k = 0; k < n; ++k)
        moved.push_back(std::move(objects_[sorted[source[k]]]));
    source = {};
    for (size_t k = 0; k < n; ++k) {
        ObjectRec& here = objects_[sorted[k]];
        const uint32_t gen = here.gen;
        here = std::move(moved[k]);
        here.gen = gen;
    }
    for (const auto& [slot, kept] : extras)
        extras_[slot] = kept;
}

void Store::SetLayer(uint32_t slot, int32_t layer) {
    ObjectRec& o = objects_[slot];
    if (o.layer == layer)
        return;
    if (ListHead* h = HeadFor(o, kByLayer))
        ListRemove(*h, slot, kByLayer);
    o.layer = layer;
    if (ListHead* h = HeadFor(o, kByLayer))
        ListAppend(*h, slot, kByLayer);
    MarkModified(o);
}

bool Store::RenameNet(uint32_t netSlot, const std::string& name) {
    ObjectRec& o = objects_[netSlot];
    auto* net = static_cast<NetBody*>(o.body.get());
    if (net->name == name)
        return true;
    if (o.board != kNone) {
        BoardRec& b = *boards_[o.board];
        if (b.netByName.Contains(name))
            return false;
        b.netByName.Erase(net->name, netSlot);
        net->name = name;
        b.netByName.Insert(name, netSlot);
        b.modified = true;
        return true;
    }
    net->name = name;
    return true;
}

// ----------------------------------------------------------------- iterators

intptr_t Store::CreateIterator(uint32_t boardSlot, int32_t kind, intptr_t filter, int32_t layer) {
    uint32_t slot;
    if (!freeIterators_.empty()) {
        slot = freeIterators_.back();
        freeIterators_.pop_back();
    } else {
        iterators_.emplace_back();
        slot = static_cast<uint32_t>(iterators_.size() - 1);
    }
    IteratorRec& it = iterators_[slot];
    uint32_t gen = NextGen(it.gen);
    it = IteratorRec{};
    it.gen = gen;
    it.live = true;
    it.board = boardSlot;
    it.boardGen = boards_[boardSlot]->gen;
    it.kind = kind;
    it.filter = filter;
    it.layer = layer;
    return MakeHandle(kTagIterator, gen, slot);
}

IteratorRec* Store::Iterator(intptr_t handle) {
    uint32_t gen = 0, slot = 0;
    if (!SplitHandle(handle, kTagIterator, gen, slot) || slot >= iterators_.size())
        return nullptr;
    IteratorRec& it = iterators_[slot];
    if (!it.live || (it.gen & kGenMask) != gen)
        return nullptr;
    return &it;
}

void Store::DestroyIterator(intptr_t handle) {
    uint32_t gen = 0, slot = 0;
    if (!Iterator(handle) || !SplitHandle(handle, kTagIterator, gen, slot))
        return;
    IteratorRec& it = iterators_[slot];
    it.items = {};
    it.live = false;
    freeIterators_.push_back(slot);
}

void Store::BuildIterator(IteratorRec& it) {
    it.items.clear();
    it.pos = 0;
    it.built = true;
    if (it.board >= boards_.size() || !boards_[it.board]->live ||
        boards_[it.board]->gen != it.boardGen)
        return;
    BoardRec& b = *boards_[it.board];
    if (it.kind < 0 || it.kind >= kKindCount || it.layer < 0 || it.layer >= kLayerCount)
        return;
    auto take = [&](uint32_t s) {
        const ObjectRec& o = objects_[s];
        if ((it.kind == 0 || o.kind == it.kind) && (it.layer == 0 || o.layer == it.layer))
            it.items.push_back(MakeHandle(kTagObject, o.gen, s));
    };
    if (it.filter != 0) {
        uint32_t f = ObjectSlot(it.filter);
        if (f == kNone || objects_[f].board != it.board)
            return;
        if (objects_[f].kind == kNet)
            ForEach(Members(f), kByNet, take);
        else if (objects_[f].kind == kComponent)
            ForEach(Children(f), kByContainer, take);
        return;
    }
    if (it.layer != 0) {
        ForEach(b.byLayer[it.layer], kByLayer, take);
        return;
    }
    if (it.kind != 0) {
        it.items.reserve(b.byKind[it.kind].count);
        ForEach(b.byKind[it.kind], kByKind, take);
        return;
    }
    for (int k = 1; k < kKindCount; ++k)
        ForEach(b.byKind[k], kByKind, take);
}

// ----------------------------------------------------------------- placement

void Store::TransformChildren(uint32_t componentSlot, int32_t oldX, int32_t oldY, double oldAngle,
                              int32_t oldLayer, int32_t newX, int32_t newY, double newAngle,
                              int32_t newLayer) {
    const Transform t((oldLayer == 32) != (newLayer == 32), newAngle - oldAngle, oldX, oldY,
                      static_cast<int64_t>(newX) - oldX, static_cast<int64_t>(newY) - oldY);
    if (!t.Moves())
        return;
    // Moving a child changes none of the container links the walk follows.
    ForEach(Children(componentSlot), kByContainer, [&](uint32_t c) {
        ObjectRec& o = objects_[c];
        t.Point(o.x1, o.y1);
        switch (o.kind) {
        case kTrack: {
            auto* b = static_cast<TrackBody*>(o.body.get());
            t.Point(b->x2, b->y2);
            break;
        }
        case kFill: {
            auto* b = static_cast<FillBody*>(o.body.get());
            t.Point(b->x2, b->y2);
            break;
        }
        case kArc: {
            auto* b = static_cast<ArcBody*>(o.body.get());
            double a1 = b->angle1, a2 = b->angle2;
            if (t.flip)
                std::swap(a1, a2);
            bool full = std::fabs(b->angle2 - b->angle1) >= 360.0;
            b->angle1 = t.Angle(a1);
            b->angle2 = full ? b->angle1 + 360.0 : t.Angle(a2);
            break;
        }
        case kPad: {
            auto* b = static_cast<PadBody*>(o.body.get());
            PadShared s = b->shared.get();
            s.angle = t.Angle(s.angle);
            b->shared.set(s);
            if (t.flip && o.hasExtras) {
                ObjectExtras extras = KeptExtras(c);
                if (extras.outline) {
                    extras.outlineMirrored = !extras.outlineMirrored;
                    SetExtras(c, extras);
                }
            }
            break;
        }
        case kText: {
            auto* b = static_cast<TextBody*>(o.body.get());
            TextShared s = b->shared.get();
            s.angle = t.Angle(s.angle);
            if (t.flip)
                s.mirror = !s.mirror;
            b->shared.set(s);
            break;
        }
        case kRegion: {
            auto* b = static_cast<RegionBody*>(o.body.get());
            for (auto& p : b->contour)
                t.Point(p.x, p.y);
            for (auto& p : b->holePoints)
                t.Point(p.x, p.y);
            break;
        }
        case kPolygon:
        case kSplitPlane: {
            auto* b = static_cast<PolygonBody*>(o.body.get());
            for (auto& s : b->segments) {
                t.Point(s.vx, s.vy);
                t.Point(s.cx, s.cy);
            }
            break;
        }
        default:
            break;
        }
        if (t.flip) {
            if (o.kind == kVia) {
                auto* b = static_cast<ViaBody*>(o.body.get());
                int32_t low = FlipLayer(b->highLayer), high = FlipLayer(b->lowLayer);
                b->lowLayer = low;
                b->highLayer = high;
            }
            SetLayer(c, FlipLayer(o.layer));
        }
    });
    MarkModified(objects_[componentSlot]);
}

} // namespace corvane
