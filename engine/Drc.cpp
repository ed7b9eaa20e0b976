// The rule check: connectivity per net, open connections, clearances and
// shorts between nets, copper against the board outline and keep-outs.
#include "engine/Drc.h"

#include "clearance/ClearanceRules.h"
#include "engine/Connectivity.h"
#include "engine/Model.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

namespace corvane {
namespace {

// The clearance rules of a board and the gap they ask between two objects.
class Clearances {
public:
    Clearances(BoardRec& b, Copper& copper) : copper_(copper) {
        Store& s = Store::Get();
        s.ForEach(b.byKind[kClass], kByKind, [&](uint32_t slot) {
            const auto& c = *static_cast<const ClassBody*>(s.At(slot).body.get());
            if (c.memberKind == 0)
                rules_.AddClass(c.name, c.members);
        });
        s.ForEach(b.byKind[kRule], kByKind, [&](uint32_t slot) {
            const auto& r = *static_cast<const RuleBody*>(s.At(slot).body.get());
            if (r.ruleKind != 0 || r.values.empty() || r.attributes[1] != 0)
                return; // not a clearance between nets
            rules_.AddRule(r.scope1, r.scope2, r.values[0]);
        });
        for (int32_t l = 0; l < kLayerCount; ++l)
            layerNames_[static_cast<size_t>(l)] = Upper(b.layers[static_cast<size_t>(l)].name);
    }

    int32_t Board() const { return rules_.Board(); }
    int32_t Widest() const { return rules_.Widest(); }

    // The gap between objects a and b on `layer`.
    int32_t Between(uint32_t a, uint32_t b, int32_t layer) {
        const CopperObject& oa = copper_.objects[a];
        const CopperObject& ob = copper_.objects[b];
        if (rules_.Uniform())
            return rules_.Board();
        uint64_t key = 0;
        if (rules_.HoleSizeBlind()) {
            uint64_t ka = Key(oa), kb = Key(ob);
            if (ka > kb)
                std::swap(ka, kb);
            key = (ka << 34) ^ (kb << 7) ^ static_cast<uint64_t>(layer & 0x7F);
            auto it = cache_.find(key);
            if (it != cache_.end() && it->second.first == std::make_pair(ka, kb))
                return it->second.second;
            const int32_t gap = Decide(oa, ob, layer);
            cache_[key] = {{ka, kb}, gap};
            return gap;
        }
        return Decide(oa, ob, layer);
    }

private:
    Copper& copper_;
    clearance::Rules rules_;
    std::array<std::string, kLayerCount> layerNames_;
    std::map<uint64_t, std::pair<std::pair<uint64_t, uint64_t>, int32_t>> cache_;

    static std::string Upper(std::string s) {
        for (char& c : s)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return s;
    }

    // What a query can tell apart about an object: its net and its kind.
    static uint64_t Key(const CopperObject& o) {
        const uint64_t net = o.net == kNone ? 0 : uint64_t(o.net) + 1;
        uint64_t flags = static_cast<uint64_t>(o.kind) & 0x1F;
        flags |= uint64_t(o.smd) << 5 | uint64_t(o.testPoint) << 6 | uint64_t(o.holeSize > 0) << 7 |
                 uint64_t(o.role) << 8;
        return net << 10 | flags;
    }

    clearance::Subject SubjectOf(const CopperObject& o, int32_t layer) const {
        clearance::Subject s;
        s.kind = o.kind;
        s.smd = o.smd;
        s.testPoint = o.testPoint;
        s.keepout = o.role == CopperRole::kKeepOut;
        s.pour = o.role == CopperRole::kPour;
        s.holeSize = o.holeSize;
        if (o.net != kNone)
            s.net = static_cast<const NetBody*>(Store::Get().At(o.net).body.get())->name;
        s.layer = layerNames_[static_cast<size_t>(layer)];
        return s;
    }

    int32_t Decide(const CopperObject& oa, const CopperObject& ob, int32_t layer) const {
        return rules_.Between(SubjectOf(oa, layer), SubjectOf(ob, layer));
    }
};

// The board's drill-to-drill gap: its widest hole-to-hole rule, else 0.25 mm
// between hole edges.
int32_t HoleGap(const BoardRec& b) {
    Store& s = Store::Get();
    int32_t gap = 0;
    s.ForEach(b.byKind[kRule], kByKind, [&](uint32_t slot) {
        const auto& r = *static_cast<const RuleBody*>(s.At(slot).body.get());
        if (r.ruleKind == kHoleToHoleRule && !r.values.empty())
            gap = std::max(gap, r.values[0]);
    });
    return gap > 0 ? gap : kDefaultHoleGap;
}

int32_t Round(double v) {
    return static_cast<int32_t>(std::clamp(std::nearbyint(v), -2147483647.0, 2147483647.0));
}

// Tolerance on a clearance (see CORVANE_CHECK_STRICT).
constexpr double kStrictSlack = 10.0;
constexpr double kDesignSlack = 600.0;

struct Found {
    CorvaneViolation v;
    double actual;
};

// The index of the net in `netSlot` among the board's nets (`netIndex`, by
// slot), or -1.
int32_t NetIndexOf(const std::vector<int32_t>& netIndex, uint32_t netSlot) {
    return netSlot < netIndex.size() ? netIndex[netSlot] : -1;
}

// The groups of each net's copper, the open connections between them (a
// minimum spanning tree over the net's pads, pads of one group at distance
// 0), the violations in a fixed order and the counts. Long: one step after
// another over the same groups, each short.
void Finish(BoardCheck& check, Copper& copper, Groups& groups, std::vector<Found>& found,
            const std::vector<int32_t>& netIndex) {
    Store& s = Store::Get();
    CorvaneCheckSummary& sum = check.summary;
    // Groups numbered in object order, by their root.
    std::vector<int32_t> groupNumber(copper.objects.size(), -1);
    int32_t numbered = 0;
    check.groupOf.reserve(copper.objects.size());
    // The pads of each net, in object order: counted, then put in place.
    std::vector<std::pair<int32_t, uint32_t>> netPads; // net index, pad object
    for (uint32_t i = 0; i < copper.objects.size(); ++i) {
        const CopperObject& o = copper.objects[i];
        if (!Conducts(o.role))
            continue;
        ++sum.copperObjects;
        int32_t& number = groupNumber[groups.Find(i)];
        if (number < 0)
            number = numbered++;
        check.groupOf[s.ObjectHandle(o.slot)] = number;
        const int32_t net = NetIndexOf(netIndex, o.net);
        if (net >= 0 && o.kind == kPad)
            netPads.emplace_back(net, i);
    }
    std::vector<uint32_t> padsFrom(check.netNames.size() + 1, 0);
    for (const auto& [net, pad] : netPads)
        ++padsFrom[static_cast<size_t>(net) + 1];
    for (size_t n = 1; n < padsFrom.size(); ++n)
        padsFrom[n] += padsFrom[n - 1];
    std::vector<uint32_t> padsOfNets(netPads.size());
    {
        std::vector<uint32_t> next(padsFrom.begin(), padsFrom.end() - 1);
        for (const auto& [net, pad] : netPads)
            padsOfNets[next[static_cast<size_t>(net)]++] = pad;
    }
    netPads = {};
    std::vector<char> netted(copper.objects.size(), 0);
    for (uint32_t i = 0; i < copper.objects.size(); ++i)
        if (Conducts(copper.objects[i].role) && copper.objects[i].net != kNone) {
            char& seen = netted[groups.Find(i)];
            sum.groups += seen ? 0 : 1;
            seen = 1;
        }
    netted = {};

    // Per net, over its pads; kept from net to net. A group is reached in
    // the net being walked when its stamp is the net's.
    std::vector<double> best;
    std::vector<uint32_t> from;
    std::vector<char> done;
    std::vector<Point> where;
    std::vector<uint32_t> root;
    std::vector<uint32_t> reachedIn(copper.objects.size(), 0); // by root: net index + 1
    for (size_t n = 0; n + 1 < padsFrom.size(); ++n) {
        const std::span<const uint32_t> pads(padsOfNets.data() + padsFrom[n],
                                             padsFrom[n + 1] - padsFrom[n]);
        if (pads.empty())
            continue;
        ++sum.netsWithPads;
        // Prim's tree over the pads; a pad of a group already reached costs 0.
        const size_t count = pads.size();
        best.assign(count, 1e300);
        from.assign(count, kNone);
        done.assign(count, 0);
        const uint32_t stamp = static_cast<uint32_t>(n) + 1;
        auto at = [&](uint32_t object) {
            const ObjectRec& o = s.At(copper.objects[object].slot);
            return Point{static_cast<double>(o.x1), static_cast<double>(o.y1)};
        };
        where.resize(count);
        root.resize(count);
        for (size_t i = 0; i < count; ++i)
            where[i] = at(pads[i]), root[i] = groups.Find(pads[i]);
        best[0] = 0;
        bool connected = true;
        for (size_t step = 0; step < count; ++step) {
            size_t u = count;
            for (size_t i = 0; i < count; ++i)
                if (!done[i] && (u == count || best[i] < best[u]))
                    u = i;
            done[u] = 1;
            if (from[u] != kNone && reachedIn[root[u]] != stamp) {
                connected = false;
                const uint32_t v = from[u];
                CorvaneOpenConnection open{};
                open.net = static_cast<int32_t>(n);
                const CopperObject& a = copper.objects[pads[v]];
                const CopperObject& b = copper.objects[pads[u]];
                open.x1 = Round(where[v].x), open.y1 = Round(where[v].y);
                open.x2 = Round(where[u].x), open.y2 = Round(where[u].y);
                open.layer1 = a.layer == kMultiLayer ? kTopLayer : a.layer;
                open.layer2 = b.layer == kMultiLayer ? kTopLayer : b.layer;
                open.length = Round(std::hypot(where[u].x - where[v].x, where[u].y - where[v].y));
                open.from = {s.ObjectHandle(a.slot), a.kind, static_cast<int32_t>(n)};
                open.to = {s.ObjectHandle(b.slot), b.kind, static_cast<int32_t>(n)};
                check.opens.push_back(open);
            }
            reachedIn[root[u]] = stamp;
            for (size_t i = 0; i < count; ++i) {
                if (done[i])
                    continue;
                const double d = root[i] == root[u]
                                     ? 0.0
                                     : std::hypot(where[i].x - where[u].x, where[i].y - where[u].y);
                if (d < best[i])
                    best[i] = d, from[i] = static_cast<uint32_t>(u);
            }
        }
        if (connected)
            ++sum.netsConnected;
    }
    sum.opens = static_cast<int32_t>(check.opens.size());

    std::stable_sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        if (a.v.kind != b.v.kind)
            return a.v.kind < b.v.kind;
        if (a.v.layer != b.v.layer)
            return a.v.layer < b.v.layer;
        if (a.v.x != b.v.x)
            return a.v.x < b.v.x;
        return a.v.y < b.v.y;
    });
    for (const Found& f : found) {
        check.violations.push_back(f.v);
        switch (f.v.kind) {
        case CORVANE_VIOLATION_CLEARANCE:
            ++sum.clearances;
            break;
        case CORVANE_VIOLATION_SHORT:
            ++sum.shorts;
            break;
        case CORVANE_VIOLATION_OUTLINE:
            ++sum.outlines;
            break;
        case CORVANE_VIOLATION_HOLE:
            ++sum.holes;
            break;
        default:
            ++sum.keepouts;
            break;
        }
    }
    sum.violations = static_cast<int32_t>(check.violations.size());
}

} // namespace

// Long: each check is a block of its own over the same copper, and they all
// feed one list of findings through `record`.
BoardCheck CheckBoard(intptr_t board, int32_t flags, bool& ok) {
    BoardCheck check;
    Store& s = Store::Get();
    const uint32_t boardSlot = s.BoardSlot(board);
    ok = boardSlot != kNone;
    if (!ok)
        return check;
    if ((flags & CORVANE_CHECK_EVERYTHING) == 0)
        flags |= CORVANE_CHECK_EVERYTHING;
    const double kSlack = (flags & CORVANE_CHECK_STRICT) ? kStrictSlack : kDesignSlack;
    BoardRec& b = s.BoardAt(boardSlot);
    Copper copper(boardSlot, (flags & CORVANE_CHECK_OUTLINE) != 0);
    Clearances clearances(b, copper);
    CorvaneCheckSummary& sum = check.summary;
    sum.defaultClearance = clearances.Board();

    // Nets, in board order.
    std::vector<int32_t> netIndex(s.ObjectSlotCount(), -1); // by slot
    s.ForEach(b.byKind[kNet], kByKind, [&](uint32_t slot) {
        netIndex[slot] = static_cast<int32_t>(check.netNames.size());
        check.netNames.push_back(static_cast<const NetBody*>(s.At(slot).body.get())->name.str());
        check.netHandles.push_back(s.ObjectHandle(slot));
    });
    sum.nets = static_cast<int32_t>(check.netNames.size());
    auto netOf = [&](const CopperObject& o) { return NetIndexOf(netIndex, o.net); };
    auto who = [&](uint32_t object) {
        const CopperObject& o = copper.objects[object];
        return CorvaneCheckObject{s.ObjectHandle(o.slot), o.kind, netOf(o)};
    };

    // Touching copper, and the pairs of nets near each other.
    std::vector<Found> found;
    std::unordered_map<uint64_t, size_t> foundAt; // object pair -> entry
    auto record = [&](int32_t kind, uint32_t a, uint32_t b2, int32_t layer, const Gap& gap,
                      double actual, int32_t required) {
        // One entry per pair of objects and kind; a short and a clearance of
        // the same pair are one entry, the short.
        const uint64_t family =
            kind == CORVANE_VIOLATION_SHORT ? CORVANE_VIOLATION_CLEARANCE : kind;
        const uint64_t key = (uint64_t(std::min(a, b2)) << 32 | std::max(a, b2)) * 8 + family;
        auto [it, added] = foundAt.emplace(key, found.size());
        if (!added && found[it->second].actual <= actual)
            return;
        CorvaneViolation v{};
        v.kind = kind;
        v.layer = layer;
        v.x = Round(gap.at.x);
        v.y = Round(gap.at.y);
        v.actual = Round(actual);
        v.required = required;
        v.first = who(a);
        v.second = who(b2);
        if (added)
            found.push_back({v, actual});
        else
            found[it->second] = {v, actual};
    };
    Groups groups(copper.objects.size());
    const bool clearance = (flags & CORVANE_CHECK_CLEARANCE) != 0;
    Connect(copper, groups, clearance ? clearances.Widest() + kSlack : kTouch,
            [&](uint32_t i, uint32_t j, const Gap& gap) {
                if (!clearance)
                    return;
                const Piece& a = copper.pieces[i];
                const Piece& p = copper.pieces[j];
                const CopperObject& oa = copper.objects[a.object];
                const CopperObject& ob = copper.objects[p.object];
                const bool free = oa.net == kNone || ob.net == kNone;
                if (free && gap.distance <= kTouch)
                    return; // copper of no net on a net's copper carries that net
                if (oa.kind == kPad && ob.kind == kPad && oa.component != kNone &&
                    oa.component == ob.component)
                    return; // a footprint's own pads (spacing, net ties) are the library's
                const int32_t layer = a.layers.FirstShared(p.layers);
                if (!free && gap.distance <= kTouch) {
                    record(CORVANE_VIOLATION_SHORT, a.object, p.object, layer, gap, 0.0,
                           clearances.Between(a.object, p.object, layer));
                    return;
                }
                if (gap.distance >= clearances.Widest() - kSlack)
                    return;
                const int32_t required = clearances.Between(a.object, p.object, layer);
                if (gap.distance < required - kSlack)
                    record(CORVANE_VIOLATION_CLEARANCE, a.object, p.object, layer, gap,
                           gap.distance, required);
            });
    ConnectPlanes(copper, groups, boardSlot);

    // Holes: two drills (vias, pads on every layer) nearer than the board's
    // drill-to-drill gap between their edges, whatever their nets. A
    // footprint's own pads are the library's, and two drills of one net on
    // one centre are one hole.
    sum.holeGap = HoleGap(b);
    if (clearance) {
        struct Hole {
            uint32_t object;
            double x, y, r;
        };
        std::vector<Hole> holes;
        double widest = 0;
        for (uint32_t i = 0; i < copper.objects.size(); ++i) {
            const CopperObject& o = copper.objects[i];
            if (o.holeSize <= 0 || o.role != CopperRole::kCopper ||
                !(o.kind == kVia || (o.kind == kPad && !o.smd)))
                continue;
            const ObjectRec& r = s.At(o.slot);
            holes.push_back(
                {i, static_cast<double>(r.x1), static_cast<double>(r.y1), o.holeSize / 2.0});
            widest = std::max(widest, o.holeSize / 2.0);
        }
        std::sort(holes.begin(), holes.end(), [](const Hole& a, const Hole& b) {
            return a.x != b.x ? a.x < b.x : a.object < b.object;
        });
        // Each hole is paired with the later ones of its window along x. The
        // window is as wide as a column of a grid of footprints is tall: the
        // holes are put in bands across it, each as tall as the farthest two
        // holes can be apart and still be near, and a hole is paired only
        // with those of its own band and of the bands on either side. Each
        // band lists its holes in sweep order; a hole's pairs are taken in
        // that order too.
        const double reach = 2 * widest + std::fabs(sum.holeGap - kSlack + 1.0) + 2.0;
        auto bandOf = [reach](double y) { return static_cast<int64_t>(std::floor(y / reach)); };
        struct Band {
            std::vector<uint32_t> holes;
            size_t later = 0; // the first of them after the hole being paired
        };
        std::unordered_map<int64_t, Band> bands;
        for (uint32_t i = 0; i < holes.size(); ++i)
            bands[bandOf(holes[i].y)].holes.push_back(i);
        std::vector<uint32_t> window;
        for (size_t i = 0; i < holes.size(); ++i) {
            window.clear();
            const int64_t own = bandOf(holes[i].y);
            for (int64_t band = own - 1; band <= own + 1; ++band) {
                const auto found = bands.find(band);
                if (found == bands.end())
                    continue;
                Band& near = found->second;
                while (near.later < near.holes.size() && near.holes[near.later] <= i)
                    ++near.later;
                for (size_t at = near.later;
                     at < near.holes.size() &&
                     holes[near.holes[at]].x - holes[i].x < holes[i].r + widest + sum.holeGap;
                     ++at)
                    window.push_back(near.holes[at]);
            }
            std::sort(window.begin(), window.end());
            for (const uint32_t j : window) {
                const Hole& h = holes[i];
                const Hole& k = holes[j];
                // A pair farther apart across the window than the gap (with
                // a unit to spare for rounding) is passed over here, before
                // its objects are looked at, as the distance below would.
                if (std::fabs(k.y - h.y) - h.r - k.r > sum.holeGap - kSlack + 1.0)
                    continue;
                const CopperObject& oh = copper.objects[h.object];
                const CopperObject& ok = copper.objects[k.object];
                if (oh.kind == kPad && ok.kind == kPad && oh.component != kNone &&
                    oh.component == ok.component)
                    continue;
                const double centres = std::hypot(k.x - h.x, k.y - h.y);
                if (centres < 1.0 && oh.net == ok.net)
                    continue; // one drill of a net, given by two stacked footprints
                const double apart = std::max(0.0, centres - h.r - k.r);
                if (apart >= sum.holeGap - kSlack)
                    continue;
                Gap gap;
                gap.distance = apart;
                gap.at = {(h.x + k.x) / 2, (h.y + k.y) / 2};
                record(CORVANE_VIOLATION_HOLE, h.object, k.object, kMultiLayer, gap, apart,
                       sum.holeGap);
            }
        }
    }

    // Keep-outs: routed copper inside a keep-out of its layer. Pads are placed
    // with their components, not routed, and a component's keep-outs do not
    // bar its own copper.
    if (flags & CORVANE_CHECK_KEEPOUT) {
        for (uint32_t k = 0; k < copper.pieces.size(); ++k) {
            const Piece& keep = copper.pieces[k];
            const CopperObject& ko = copper.objects[keep.object];
            if (ko.role != CopperRole::kKeepOut)
                continue;
            copper.Near(k, 0, [&](uint32_t j) {
                const Piece& p = copper.pieces[j];
                const CopperObject& o = copper.objects[p.object];
                if (o.role != CopperRole::kCopper || o.kind == kPad ||
                    !keep.layers.Meets(p.layers) ||
                    (ko.component != kNone && ko.component == o.component))
                    return;
                const Gap gap = copper.Distance(p, keep);
                if (gap.core < p.radius + keep.radius - kTouch)
                    record(CORVANE_VIOLATION_KEEPOUT, p.object, keep.object,
                           p.layers.FirstShared(keep.layers), gap, 0.0, 0);
            });
        }
    }

    // The outline: copper inside it, and the board's clearance away from it.
    if (copper.outlineObject != kNone) {
        const double need = clearances.Board();
        const uint32_t edge = copper.outlineObject;
        for (uint32_t k = 0; k < copper.pieces.size(); ++k) {
            const Piece& e = copper.pieces[k];
            if (e.object != edge)
                continue;
            copper.Near(k, need, [&](uint32_t j) {
                const Piece& p = copper.pieces[j];
                if (copper.objects[p.object].role != CopperRole::kCopper)
                    return;
                const Gap gap = copper.Distance(p, e);
                if (gap.distance < need - kSlack)
                    record(CORVANE_VIOLATION_OUTLINE, p.object, edge, p.layers.First(), gap,
                           gap.distance, static_cast<int32_t>(need));
            });
        }
        // Copper wholly outside.
        for (uint32_t k = 0; k < copper.pieces.size(); ++k) {
            const Piece& p = copper.pieces[k];
            if (copper.objects[p.object].role != CopperRole::kCopper ||
                PointInPolygon(copper.outline, copper.Core(p)[0]))
                continue;
            Gap gap;
            gap.at = copper.Core(p)[0];
            record(CORVANE_VIOLATION_OUTLINE, p.object, edge, p.layers.First(), gap, 0.0,
                   static_cast<int32_t>(need));
        }
    }
    Finish(check, copper, groups, found, netIndex);
    return check;
}

} // namespace corvane

using namespace corvane;

namespace {

BoardCheck* CheckOf(CorvaneBoardCheck handle) {
    return reinterpret_cast<BoardCheck*>(handle);
}

void WriteError(char* error, int32_t capacity, const char* text) {
    if (!error || capacity <= 0)
        return;
    std::strncpy(error, text, static_cast<size_t>(capacity) - 1);
    error[capacity - 1] = '\0';
}

} // namespace

extern "C" CorvaneBoardCheck Corvane_CheckBoard(intptr_t board, int32_t flags, char* error,
                                                int32_t errorCapacity) {
    try {
        bool ok = false;
        auto check = std::make_unique<BoardCheck>(CheckBoard(board, flags, ok));
        if (!ok) {
            WriteError(error, errorCapacity, "unknown board");
            return 0;
        }
        return reinterpret_cast<CorvaneBoardCheck>(check.release());
    } catch (const std::exception& e) {
        WriteError(error, errorCapacity, e.what());
        return 0;
    }
}

extern "C" void Corvane_FreeCheck(CorvaneBoardCheck check) {
    delete CheckOf(check);
}

extern "C" int32_t Corvane_CheckSummaryOf(CorvaneBoardCheck check, CorvaneCheckSummary* summary) {
    if (!check || !summary)
        return 0;
    *summary = CheckOf(check)->summary;
    return 1;
}

extern "C" int32_t Corvane_CheckOpen(CorvaneBoardCheck check, int32_t index,
                                     CorvaneOpenConnection* open) {
    if (!check || !open || index < 0 || static_cast<size_t>(index) >= CheckOf(check)->opens.size())
        return 0;
    *open = CheckOf(check)->opens[static_cast<size_t>(index)];
    return 1;
}

extern "C" int32_t Corvane_CheckViolation(CorvaneBoardCheck check, int32_t index,
                                          CorvaneViolation* violation) {
    if (!check || !violation || index < 0 ||
        static_cast<size_t>(index) >= CheckOf(check)->violations.size())
        return 0;
    *violation = CheckOf(check)->violations[static_cast<size_t>(index)];
    return 1;
}

extern "C" int32_t Corvane_CheckNetName(CorvaneBoardCheck check, int32_t net, char* buffer,
                                        int32_t capacity) {
    if (!check || net < 0 || static_cast<size_t>(net) >= CheckOf(check)->netNames.size())
        return -1;
    const std::string& name = CheckOf(check)->netNames[static_cast<size_t>(net)];
    if (buffer && capacity > 0) {
        const size_t n = std::min(name.size(), static_cast<size_t>(capacity) - 1);
        std::memcpy(buffer, name.data(), n);
        buffer[n] = '\0';
    }
    return static_cast<int32_t>(name.size());
}

extern "C" int32_t Corvane_CheckGroupOf(CorvaneBoardCheck check, intptr_t object) {
    if (!check)
        return -1;
    const auto& groups = CheckOf(check)->groupOf;
    auto it = groups.find(object);
    return it == groups.end() ? -1 : it->second;
}
