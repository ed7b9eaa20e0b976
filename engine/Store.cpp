#include "engine/Model.h"

#include "sdk/HugePages.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <new>
#include <optional>
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

// The pads of a component, turned with it. When the component turns or
// turns over, the pads of one padstack, which share one kept value, have it
// turned once: the next pads that hold it take the turned value as it is.
// The turned values of the last few are held here, their old values too, so
// that none is freed and made again as another value during the walk.
class PadTurner {
public:
    explicit PadTurner(const Transform& t)
        : t_(t), turns_(t.flip || t.turn != Transform::kNoTurn) {}
    void Turn(Shared<PadShared>& shared) {
        if (turns_)
            for (const Turned& e : turned_)
                if (e.before && *e.before == shared) {
                    shared = *e.after;
                    return;
                }
        // A move alone leaves the values as they are but for the angle's
        // normal form: nothing to hold.
        Turned* held = turns_ ? &turned_[next_++ % turned_.size()] : nullptr;
        if (held)
            held->before = shared;
        PadShared s = shared.get();
        s.angle = t_.Angle(s.angle);
        shared.set(s);
        if (held)
            held->after = shared;
    }

private:
    struct Turned {
        std::optional<Shared<PadShared>> before, after;
    };
    const Transform& t_;
    const bool turns_;
    std::array<Turned, 4> turned_;
    size_t next_ = 0;
};

} // namespace

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
    // Never destroyed: a host that ends with boards still open leaves them
    // to the process's end instead of freeing millions of objects one by one,
    // and the store stays reachable for checks of leaks at exit.
    alignas(Store) static std::byte place[sizeof(Store)];
    static Store* const store = ::new (place) Store;
    made_.store(store, std::memory_order_release);
    return *store;
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
            far_.Erase(FarKey(slot, f, next));
        d = static_cast<int16_t>(distance);
        return;
    }
    far_.Set(FarKey(slot, f, next), target);
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
            far_.Erase(FarKey(slot, static_cast<LinkFamily>(f), next));
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
    return slots_.Find(NameHash(name), [&](uint32_t slot) { return NetNameAt(slot) == name; });
}

void NetIndex::Insert(std::string_view name, uint32_t slot) {
    slots_.Add(NameHash(name), slot);
}

void NetIndex::Erase(std::string_view name, uint32_t slot) {
    slots_.Erase(NameHash(name), [slot](uint32_t kept) { return kept == slot; });
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
            extras_.Erase(slot);
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
    ReleaseIfEmpty();
}

// A store left without any object gives its tables' memory back once they
// hold a large board (a million objects: 40 MB of records, and their
// bodies): an editor that closes it should not keep hundreds of megabytes.
// Smaller tables stay for the next board, which would otherwise take fresh
// pages from the system for every board opened. The handles of the freed
// slots stay stale, since a slot made anew starts above every generation
// they can hold.
void Store::ReleaseIfEmpty() {
    constexpr size_t kReleaseFrom = size_t{1} << 20;
    if (freeObjects_.size() != objects_.size() || objects_.size() < kReleaseFrom)
        return;
    uint32_t highest = genFloor_;
    for (uint32_t slot = 0; slot < objects_.size(); ++slot)
        highest = std::max(highest, static_cast<uint32_t>(objects_[slot].gen));
    genFloor_ = highest;
    objects_.Clear();
    std::vector<uint32_t>().swap(freeObjects_);
    if (freeTies_.size() == ties_.size()) {
        ties_.Clear();
        std::vector<uint32_t>().swap(freeTies_);
    }
    far_.ReleaseIfEmpty();
    BodyBox::ReleaseIdleArenas();
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
        objects_[slot].gen = genFloor_;
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
    const ObjectExtras* found = extras_.Find(slot);
    return found ? *found : ObjectExtras{};
}

void Store::SetExtras(uint32_t slot, const ObjectExtras& extras) {
    ObjectRec& o = objects_[slot];
    if (extras.Empty()) {
        if (o.hasExtras)
            extras_.Erase(slot);
        o.hasExtras = 0;
        return;
    }
    extras_.Set(slot, extras);
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
        extras_.Erase(slot);
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
    if (n > 0 && sorted.back() - low == n - 1) {
        RearrangeRun(low, source);
        return;
    }
    std::vector<std::pair<uint32_t, ObjectExtras>> extras;
    for (size_t i = 0; i < n; ++i)
        if (objects_[from[i]].hasExtras) {
            extras.emplace_back(to[i], KeptExtras(from[i]));
            extras_.Erase(from[i]);
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
        extras_.Set(slot, kept);
}

// The slots of a fresh store's document are one run: its records go into new
// chunks, each old chunk let go once emptied, so that a large board's open
// never holds its records twice.
void Store::RearrangeRun(uint32_t low, const std::vector<uint32_t>& source) {
    const auto n = static_cast<uint32_t>(source.size());
    std::vector<std::pair<uint32_t, ObjectExtras>> extras;
    for (uint32_t k = 0; k < n; ++k) {
        const uint32_t from = low + source[k];
        if (objects_[from].hasExtras) {
            extras.emplace_back(low + k, KeptExtras(from));
            extras_.Erase(from);
        }
    }
    std::vector<uint32_t> gens(n);
    for (uint32_t k = 0; k < n; ++k)
        gens[k] = objects_[low + k].gen;
    objects_.Permute(low, n, source);
    for (uint32_t k = 0; k < n; ++k)
        objects_[low + k].gen = gens[k];
    for (const auto& [slot, kept] : extras)
        extras_.Set(slot, kept);
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
    PadTurner pads(t);
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
            pads.Turn(static_cast<PadBody*>(o.body.get())->shared);
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
