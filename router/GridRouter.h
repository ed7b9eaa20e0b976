// The grid router's parts, shared by the files that make it up: the
// constants it works with, the joins of pads, the exact clearance checks
// against the board's copper (Buckets, PairGaps), and the GridRouter itself.
// Its member functions live by concern in GridLayout.cpp (the grid),
// GridField.cpp (the distance field and progress), GridAccess.cpp (ways onto
// pads), GridSearch.cpp (a round and the search), GridRounds.cpp (the rounds
// and the negotiation) and GridRipUp.cpp (the rip-up).
#pragma once

#include "router/Router.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <limits>
#include <memory>
#include <numeric>
#include <queue>
#include <string_view>
#include <unordered_map>

namespace Router::detail {

constexpr float kFar = 1e30f;
constexpr int kDirs = 8;
constexpr int kDx[kDirs] = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr int kDy[kDirs] = {0, 1, 1, 1, 0, -1, -1, -1};
constexpr uint8_t kNoDir = 255;
constexpr std::size_t kFirstFlood = 4000; // nodes flooded around a target before its search
// What a stub straight out along a pad's axis keeps beyond the clearance:
// nothing, less a trace for rounding in the arithmetic (it runs exactly
// along x or y from the pad's centre, which lies on whole board units, so
// writing it rounds nothing).
constexpr double kAxisSafety = -0.05;
// Object kinds of the engine (sdk/ObjectKinds.h) of routed copper.
constexpr int32_t kViaKind = 3, kTrackKind = 4;
// Routes leave the board in route and session files at steps of 10 nm
// (0.254 board units of 1e-4 mil to the step). A corner on a line through pad
// centres is written as it is; one off them may move by half a step, so a
// track at exactly the clearance there is checked where it is written too.
constexpr double kStepsPerUnit = 0.254;
inline Pt AsWritten(Pt p) {
    return {std::round(p.x * kStepsPerUnit) / kStepsPerUnit,
            std::round(p.y * kStepsPerUnit) / kStepsPerUnit};
}
// How far a grid line may move to run through pad centres: a few board
// units, what the pins of a fine-pitch part miss a grid laid through one of
// them by after rounding.
constexpr double kSnap = 4;
// Neighbouring pads of one part in a row, at a pitch the grid misses, from
// which the grid is laid through that part's pins instead.
constexpr int kFinePairs = 16;
// How far apart two pads of a net may lie, in tracks and their clearances,
// for a link straight from one to the other to be tried first.
constexpr double kLinkReach = 4;
constexpr std::size_t kBigBoard = 100;  // connections from which a plain round goes first
constexpr double kTurnedShare = 0.5;    // share of turned pads from which the grid is finer
constexpr long kCheapWork = 4000000;    // search steps below which every round is tried
constexpr int kNegotiationPatience = 4; // passes without fewer crowded nets before committing
// Search steps the negotiation may take, in passes as dear as its first:
// later passes, around dearer nodes, search ever wider for ever less.
constexpr long kNegotiationBudget = 16;
// Work between two reports of progress within a stage (a second or two):
// search steps, and the nodes of the grid laid out anew for each rip-up
// attempt, eight of which count as one step.
constexpr long kReportWork = 2000000;

// Distance from a point to a shape, as SegmentShapeDistance() for a segment
// of no length, with the cheap square root for a disc or a track: the
// distance field asks it for every node near every piece of copper laid.
inline double PointShapeDistance(Pt p, const Shape& shape) {
    const auto& q = shape.points;
    if (q.size() == 1)
        return std::sqrt((p.x - q[0].x) * (p.x - q[0].x) + (p.y - q[0].y) * (p.y - q[0].y)) -
               shape.radius;
    if (q.size() != 2)
        return SegmentShapeDistance(p, p, shape);
    const double dx = q[1].x - q[0].x, dy = q[1].y - q[0].y, length2 = dx * dx + dy * dy;
    const double px = p.x - q[0].x, py = p.y - q[0].y;
    const double t = length2 > 0 ? std::clamp((px * dx + py * dy) / length2, 0.0, 1.0) : 0.0;
    const double ex = px - t * dx, ey = py - t * dy;
    return std::sqrt(ex * ex + ey * ey) - shape.radius;
}

// `front`, then the rest of `order` (connections below `count`) in its order.
inline std::vector<int> FrontFirst(std::vector<int> front, const std::vector<int>& order,
                                   std::size_t count) {
    std::vector<char> in(count, 0);
    for (int k : front)
        in[k] = 1;
    for (int k : order)
        if (!in[k])
            front.push_back(k);
    return front;
}

// Routed copper as an obstacle: a track of its net's width, a via of its
// net's via through every layer of `layers`.
inline Obstacle TrackObstacle(const RouteBoard& board, const RouteTrack& t) {
    Obstacle o;
    o.shape.points = {t.a, t.b};
    o.shape.radius = t.width / 2;
    o.kind = kTrackKind;
    o.net = t.net;
    o.clearance = board.nets[static_cast<std::size_t>(t.net)].clearance;
    o.layers = 1u << t.layer;
    return o;
}
inline Obstacle ViaObstacle(const RouteBoard& board, const RouteVia& v, uint32_t layers) {
    Obstacle o;
    o.shape.points = {v.at};
    o.shape.radius = board.ViaDiameterOf(v.net) / 2;
    o.kind = kViaKind;
    o.holeSize = board.ViaHoleOf(v.net);
    o.drill = board.ViaHoleOf(v.net) / 2;
    o.net = v.net;
    o.clearance = board.nets[static_cast<std::size_t>(v.net)].clearance;
    o.layers = layers;
    return o;
}

// Union-find over pads.
struct Joins {
    std::vector<int> parent;
    explicit Joins(std::size_t n) : parent(n) { std::iota(parent.begin(), parent.end(), 0); }
    int Find(int a) {
        while (parent[a] != a)
            a = parent[a] = parent[parent[a]];
        return a;
    }
    bool Join(int a, int b) {
        a = Find(a);
        b = Find(b);
        if (a == b)
            return false;
        parent[std::max(a, b)] = std::min(a, b);
        return true;
    }
};

struct Connection {
    int net = 0;
    int from = 0, to = 0; // pads
    double length = 0;
};

// The gap the board's clearance rules ask between routed copper of a net (a
// track on a layer, or a via) and an obstacle of another net, for a board
// whose rules tell pairs apart; each answer is kept for the same question.
class PairGaps {
public:
    explicit PairGaps(const RouteBoard& board) : board_(board), rules_(*board.rules) {
        for (const RouteLayer& layer : board.layers) {
            std::string name = layer.name;
            for (char& c : name)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            layerNames_.push_back(std::move(name));
        }
    }
    double Between(int net, bool via, const Obstacle& o, int layer) {
        constexpr int kNetBits = 22;
        const bool keyed = rules_.HoleSizeBlind() && net >= 0 && o.net >= 0 &&
                           net < (1 << kNetBits) && o.net < (1 << kNetBits);
        uint64_t key = 0;
        if (keyed) {
            key = uint64_t(net) << (64 - kNetBits) | uint64_t(o.net) << (64 - 2 * kNetBits) |
                  uint64_t(o.kind & 0x1F) << 14 | uint64_t(o.smd) << 13 |
                  uint64_t(o.holeSize > 0) << 12 | uint64_t(via) << 11 |
                  uint64_t(via ? 0x3F : layer & 0x3F) << 5;
            if (auto it = known_.find(key); it != known_.end())
                return it->second;
        }
        double gap = 0;
        if (via) {
            // A via meets the obstacle on every layer the obstacle is on.
            for (int l = 0; l < static_cast<int>(layerNames_.size()); ++l)
                if (o.layers >> l & 1u)
                    gap = std::max(gap, Decide(net, true, o, l));
        } else {
            gap = Decide(net, false, o, layer);
        }
        if (keyed)
            known_.emplace(key, gap);
        return gap;
    }

private:
    const RouteBoard& board_;
    const clearance::Rules& rules_;
    std::vector<std::string> layerNames_;
    std::unordered_map<uint64_t, double> known_;

    double Decide(int net, bool via, const Obstacle& o, int layer) const {
        const std::string_view layerName =
            layer >= 0 && layer < static_cast<int>(layerNames_.size()) ? layerNames_[layer]
                                                                       : std::string_view();
        clearance::Subject self;
        self.kind = via ? kViaKind : kTrackKind;
        self.holeSize = via ? board_.ViaHoleOf(net) : 0;
        self.net = board_.nets[static_cast<std::size_t>(net)].name;
        self.layer = layerName;
        clearance::Subject other;
        other.kind = o.kind;
        other.smd = o.smd;
        other.holeSize = o.holeSize;
        other.net = board_.nets[static_cast<std::size_t>(o.net)].name;
        other.layer = layerName;
        return rules_.Between(self, other);
    }
};

// Obstacles in buckets for exact checks.
class Buckets {
public:
    Buckets(Box box, double size, double safety) : box_(box), size_(size), safety_(safety) {
        nx_ = std::max(1, static_cast<int>((box.x1 - box.x0) / size) + 1);
        ny_ = std::max(1, static_cast<int>((box.y1 - box.y0) / size) + 1);
        cells_.resize(static_cast<std::size_t>(nx_) * ny_);
    }
    void Add(const Obstacle& o) {
        const int index = static_cast<int>(items_.size());
        maxClearance_ = std::max(maxClearance_, o.clearance);
        maxDrill_ = std::max(maxDrill_, o.drill);
        items_.push_back(o);
        stamp_.push_back(0);
        Visit(o.shape.Bounds(), 0, [&](std::vector<int>& cell) { cell.push_back(index); });
    }
    // True when the segment grown by `half` keeps its clearance (the larger
    // of `clearance` and the other copper's) from copper of other nets on
    // `layer` (a via: on every layer).
    bool Clear(Pt a, Pt b, double half, double clearance, int net, int layer, bool via) {
        return Clear(a, b, half, clearance, net, layer, via, safety_);
    }
    bool Clear(Pt a, Pt b, double half, double clearance, int net, int layer, bool via,
               double safety) {
        Box box;
        box.Add(a.x, a.y, half + maxClearance_ + clearance + std::max(safety, 0.0));
        box.Add(b.x, b.y, half + maxClearance_ + clearance + std::max(safety, 0.0));
        return All(box, [&](const Obstacle& o) {
            if ((o.net == net && net != kNoNet) || (o.viaOnly && !via) ||
                (!via && (o.layers >> layer & 1u) == 0))
                return true;
            const double need = gaps_ && net != kNoNet && o.net != kNoNet
                                    ? gaps_->Between(net, via, o, layer)
                                    : std::max(clearance, o.clearance);
            return SegmentShapeDistance(a, b, o.shape) >= half + need + safety;
        });
    }

    // True when a drill of radius `drill` at `at` keeps `gap` between its
    // edge and every other drill's, of its own net too: the hole gap is
    // between drills, whatever their nets.
    bool DrillApart(Pt at, double drill, double gap) {
        Box box;
        box.Add(at.x, at.y, drill + gap + maxDrill_);
        return All(box, [&](const Obstacle& o) {
            if (o.drill <= 0)
                return true;
            Shape centre;
            centre.points = o.shape.points;
            return PointShapeDistance(at, centre) - o.drill - drill >= gap;
        });
    }

    // Between copper of two nets, the gap the board's rules ask of the pair
    // (none: the larger of the two clearances).
    void SetPairGaps(PairGaps* gaps) { gaps_ = gaps; }

    // Remembers what is there now (the board's own copper), to come back to.
    void Mark() {
        markItems_ = items_.size();
        markClearance_ = maxClearance_;
    }
    // Takes away everything added since Mark(). Each cell lists its items
    // in the order they came, so the later ones are at its end.
    void Restore() {
        if (items_.size() == markItems_)
            return;
        for (std::vector<int>& cell : cells_)
            while (!cell.empty() && static_cast<std::size_t>(cell.back()) >= markItems_)
                cell.pop_back();
        items_.resize(markItems_);
        stamp_.resize(markItems_);
        maxClearance_ = markClearance_;
    }

private:
    // Whether `keeps` holds for every obstacle whose cells meet the box,
    // each asked once; stops at the first that fails.
    template <class F> bool All(const Box& box, F&& keeps) {
        ++query_;
        bool ok = true;
        Visit(box, 0, [&](std::vector<int>& cell) {
            for (int index : cell) {
                if (!ok || stamp_[index] == query_)
                    continue;
                stamp_[index] = query_;
                ok = keeps(items_[index]);
            }
        });
        return ok;
    }
    template <class F> void Visit(const Box& b, int, F&& f) {
        const int i0 = std::clamp(static_cast<int>((b.x0 - box_.x0) / size_), 0, nx_ - 1);
        const int i1 = std::clamp(static_cast<int>((b.x1 - box_.x0) / size_), 0, nx_ - 1);
        const int j0 = std::clamp(static_cast<int>((b.y0 - box_.y0) / size_), 0, ny_ - 1);
        const int j1 = std::clamp(static_cast<int>((b.y1 - box_.y0) / size_), 0, ny_ - 1);
        for (int j = j0; j <= j1; ++j)
            for (int i = i0; i <= i1; ++i)
                f(cells_[static_cast<std::size_t>(j) * nx_ + i]);
    }
    Box box_;
    PairGaps* gaps_ = nullptr;
    double size_, safety_, maxClearance_ = 0, maxDrill_ = 0;
    int nx_ = 1, ny_ = 1;
    std::vector<std::vector<int>> cells_;
    std::vector<Obstacle> items_;
    std::vector<uint32_t> stamp_;
    uint32_t query_ = 0;
    std::size_t markItems_ = 0;
    double markClearance_ = 0;
};

class GridRouter {
public:
    GridRouter(const RouteBoard& board, const RouteOptions& options);

    double Pitch() const { return pitch_; }

    // The offset (modulo the pitch) that most pad centres (of `pads`; all
    // when empty) have along x or y.
    double CommonOffset(bool alongX, const std::vector<int>& pads) const;
    // The share of the pads to route (of nets with more than one pad)
    // turned at an angle that is no multiple of a right angle.
    double TurnedShare() const;

    // The finest pin pitch below `most` at which some part has at least
    // kFinePairs neighbouring pads in rows, where `pitch` misses its pins:
    // the centre-to-centre distance of neighbours in a row (the rows of
    // one part, named by the designator before the pad's '-'). `pins` gets
    // the pins of the part with most such pairs at that pitch. 0: none.
    double FinePitch(double pitch, double most, std::vector<int>& pins) const;

    // The grid lines, each moved onto the pad centres within kSnap of it
    // (the value most of them share), so that a track along a line through
    // pads runs exactly through their centres.
    void LayLines();

    // How far to move `from` up to reach the next value with `offset`.
    double Remainder(double from, double offset) const;

    RouteResult Run();

private:
    // What a routing kept, enough to lay it again: per connection its route
    // and the stubs of its ends, and the order the connections were kept in.
    struct Routing {
        std::vector<std::vector<int>> paths;
        std::vector<std::pair<int, int>> stubs;
        std::vector<int> order;
    };

    // ---- rip-up
    // A connection left open is searched for again on the board's own
    // copper alone, the routes of other connections being a cost to cross
    // rather than a wall (or no cost at all). The routes that come near
    // that path are taken up (only they, or their whole nets), the open
    // connection is routed first, those taken up after it, and then what
    // else is open. The routing is kept when it leaves fewer open, and the
    // connections tried before have another go at it. When every open
    // connection has been tried, the next way of choosing what to take up
    // has its turn. The attempts are bounded in number and in search steps.
    struct RipUpWay {
        float crossing; // what a step onto another route costs, over its length
        bool wholeNets; // take up every connection of a net one of whose routes is in the way
    };
    // In this order; low effort stops after the first three, the others
    // take up what those leave in other ways.
    static constexpr RipUpWay kRipUpWays[] = {{1, false},    {0, true},  {4, true}, {0, false},
                                              {0.25, false}, {2, false}, {16, true}};

    void RipUp(RouteResult& best, std::vector<int>& failed, Routing& kept);

    enum class Attempt { NoPath, Worse, Better };

    // One attempt for connection `c` against the routing `kept`, which
    // leaves `failed` open. NoPath: the connection has none even on the bare
    // board; Better: `result` and `open` hold a routing that leaves fewer
    // open.
    Attempt Reroute(int c, const RipUpWay& way, const Routing& kept, const std::vector<int>& failed,
                    RouteResult& result, std::vector<int>& open);

    // Routes the connections of `order` that are not joined yet, against
    // what is there; answers those left open.
    std::vector<int> RouteOpen(const std::vector<int>& order, Joins& joins, RouteResult& result);

    // Connection `c` searched for on the bare board, the routes of `kept`
    // (other nets') costing `crossing` to cross over their length (0: no
    // cost). Leaves the board bare and the connections unrouted.
    bool BarePath(int c, float crossing, const Routing& kept, std::vector<int>& path);
    // The connections of `kept` of other nets than `net` whose routes meet a
    // node of occupied_, in `moved`.
    void TakenUp(int net, const Routing& kept, std::vector<char>& moved) const;
    // Keeps the routing of a gain: `trial`, which leaves `open` open, with
    // the routes now laid.
    void Keep(RouteResult& trial, std::vector<int>& open, RouteResult& best,
              std::vector<int>& failed, Routing& kept);
    // The order of an attempt: the open connection `c`, those taken up
    // (shortest first), the rest.
    std::vector<int> MovedAfter(int c, const std::vector<char>& moved) const;
    // A route was laid from and to what its net had then: once one of a
    // net's routes is taken up, those laid after it may hang in the air and
    // are taken up too.
    void TakeUpLater(const Routing& kept, std::vector<char>& moved) const;
    // Lays the routes of `kept` not `moved` again, on a board just reset,
    // then routes `order`; answers false when a route laid again no longer
    // passes. `open` gets what is left open.
    // With a `group`, its routes are negotiated first, as NegotiateGroup().
    bool Relay(const Routing& kept, const std::vector<char>& moved, const std::vector<int>& order,
               RouteResult& result, std::vector<int>& open, const std::vector<int>& group = {});
    // The connections of `group` negotiated among themselves on the board as
    // laid, as NegotiatedRound() does for all, then committed in the group's
    // order; answers those whose route did not pass.
    std::vector<int> NegotiateGroup(const std::vector<int>& group, Joins& joins,
                                    RouteResult& result);
    static constexpr int kGroupPasses = 8;

    // ---- completion
    // When few connections stay open after the rip-up, each has more room
    // made for it: the routes that cross a corridor around its path on the
    // bare board are taken up (the corridor wider from way to way), or
    // those that pass near its pads. The open connection is routed first,
    // those taken up after it, in turns: what a turn leaves open goes first
    // in the next, and the last negotiates the routes of the open connection
    // and of those taken up among themselves before laying them. A routing
    // is kept only when it leaves fewer open (every route is laid with the
    // exact checks). Each open connection has a number of attempts, given
    // again after each gain; bounded in attempts and in search steps.
    struct Corridor {
        float crossing;  // what a step onto another route costs, as in the rip-up
        double widen;    // in pitches beyond the route's own reach
        bool aroundPads; // around the connection's pads, not along its path
    };
    static constexpr Corridor kCorridors[] = {
        {1, 3, false}, {1, 8, false}, {0, 5, false}, {1, 10, true}, {1, 16, false}};

    static constexpr int kCompleteTurns = 3; // orders of the routes taken up, per attempt

    void Complete(RouteResult& best, std::vector<int>& failed, Routing& kept);
    // One completion attempt for `c` in `way`, as Reroute().
    Attempt Widen(int c, const Corridor& way, const Routing& kept, const std::vector<int>& failed,
                  RouteResult& result, std::vector<int>& open);

    const RouteBoard& b_;
    const RouteOptions& o_;
    int layers_;
    bool noOutline_ = false;
    Box limit_; // the routing area
    double minClearance_ = 0, maxClearance_ = 0, maxHalf_ = 0, pitch_ = 1, x0_ = 0, y0_ = 0,
           reach_ = 0;
    int nx_ = 1, ny_ = 1;
    std::size_t plane_ = 1;
    // The grid lines: where each column (x) and row (y) lies, and whether
    // it runs through pad centres exactly (a track along it may then keep
    // exactly the clearance, as one straight out of a pad does).
    std::vector<double> xs_, ys_;
    double straightReach_ = 0, diagReach_ = 0; // the longest step along a line, across
    std::vector<char> exactX_, exactY_;
    Box bucketBox_;
    std::vector<Connection> connections_;
    std::vector<std::string> padWhy_;
    std::vector<int> preRoot_; // per pad, its group joined by the board's copper

    // Distance field: nearest copper (d1, of net n1) and nearest copper of
    // any other net (d2), per node of every layer; dv the nearest via
    // keep-out.
    std::vector<float> d1_, d2_, dv_;
    // Per node of a plane: the distance to the nearest drill's edge less the
    // board's hole gap (where a via's drill may reach).
    std::vector<float> dh_;
    double maxViaHole_ = 0; // the widest via drill's radius
    std::vector<int> n1_;
    // The same for the plain distance, no clearance taken off: a net whose
    // clearance is above an obstacle's keeps its own from it.
    std::vector<float> r1_, r2_;
    std::vector<int> m1_;
    bool plainField_ = false; // some net asks more than the smallest clearance
    struct Field {
        std::vector<float> d1, d2, dv;
        std::vector<int> n1;
        std::vector<float> r1, r2;
        std::vector<int> m1;
        std::vector<float> dh;
    };
    std::unique_ptr<Field> bare_; // the field of the bare board
    bool accessBuilt_ = false;
    std::unique_ptr<PairGaps> pairGaps_;
    std::unique_ptr<Buckets> buckets_;
    // Search state.
    // Search state, per node in one place: a step of the search reads and
    // writes all of it for each neighbour.
    struct NodeState {
        float g = 0;
        int parent = -1;
        uint32_t seen = 0, target = 0, closed = 0; // the search that last saw, marked, closed it
        uint8_t dir = kNoDir;
        int lastVia = -1; // the plane node of the path's last via
    };
    std::vector<NodeState> state_;
    std::vector<int> sourceStub_, targetStub_; // access whose stub enters a source / target node
    uint32_t search_ = 0;
    long expansions_ = 0;          // search steps so far, all rounds
    long layouts_ = 0;             // grid nodes laid out anew by ResetBoard(), over eight
    long reported_ = 0;            // the work at the last report
    RouteProgress now_;            // what a report tells: the stage and its routing as it stands
    double estimateWeight_ = 1;    // how much the search's estimate of what is left counts
    double negotiationWeight_ = 1; // the same while negotiating
    std::vector<double> stepCost_; // per layer and direction, a step's cost
    // The flood that finds a walled-in target.
    std::vector<uint32_t> flooded_;
    std::vector<int> floodQueue_;
    uint32_t flood_ = 0;
    // Per pad: nodes it can be entered from (node, needs a stub from the
    // pad's centre).
    // (a stub from the pad's centre, perhaps bent: straight out along an
    // axis of the pad first, where a pad between close neighbours leaves
    // room exactly for its own width).
    struct Access {
        int node = 0;
        int pad = 0;
        bool stub = false, bent = false;
        Pt bend;
    };
    std::vector<Access> accesses_;
    std::vector<std::vector<int>> access_;         // per pad, its entries in accesses_
    std::vector<std::vector<int>> routedNodes_;    // per connection, nodes of its route
    std::vector<std::pair<int, int>> routedStubs_; // per connection, the stubs of its ends
    std::vector<int> commitOrder_;                 // connections in the order they were kept
    // Negotiation: per node, how many other nets' routes keep it, and how
    // dear it became from being fought over.
    bool negotiating_ = false;
    float present_ = 0;
    std::vector<uint16_t> occupied_;
    std::vector<float> history_;
    std::vector<std::vector<int>> netConnections_; // per net, its connections shortest first
    double maxTrackHalf_ = 0;

    Pt At(std::size_t node) const;
    int LayerOf(std::size_t node) const { return static_cast<int>(node / plane_); }

    // Union-find over the pads with the groups the board's copper joins.
    Joins Prejoined() const;

    void BuildConnections();

    // Whether every way out of a pad its access gives closes up within a
    // small room: the copper and clearances around it leave a track of its
    // net no way out on any layer, vias included.
    bool PadWalledIn(int p);

    // Why a connection stays open: the reason in a few words, and the line
    // that names the net and pads.
    struct Reason {
        const char* kind;
        std::string line;
    };
    Reason Why(const Connection& c, const std::vector<char>& walled) const;

    // ---- the distance field
    void Raster(const Obstacle& o);
    // Where a via's drill may lie beside this one: each node near it keeps
    // its distance to the drill's edge less the hole gap.
    void RasterDrill(const Obstacle& o);
    // Keeps the nearest distance (`first`, of net `firstNet`) and the
    // nearest of another net (`second`) as a distance `d` of `net` comes in.
    static void Nearer(float d, int net, float& first, float& second, int& firstNet);

    long Work() const { return expansions_ + layouts_; }
    // Reports how the stage stands.
    void Tell();
    // The same, once enough work went by since the last report.
    void Tick();
    // The routing `result`, in which `failed` of the first `tried`
    // connections were left open, as the figures of the reports: those not
    // tried yet count as open.
    void Show(const RouteResult& result, int failed, int tried);

    void ResetBoard();

    // Room left around a node for copper of `net` that reaches `half` from
    // it. The larger of the two clearances applies: the field less each
    // obstacle's own clearance answers for obstacles that ask more than the
    // net, the plain distance less the net's clearance for the others. A
    // net at the smallest clearance never asks more than an obstacle.
    float Slack(std::size_t node, int net, double half) const;
    float Need(double half) const { return static_cast<float>(half + o_.safety); }
    float NeedPlain(int net, double half) const;
    bool AboveLeast(int net) const { return b_.nets[net].clearance > minClearance_; }
    double ClearanceOf(int net) const { return b_.nets[net].clearance; }
    double ViaRadius(int net) const { return b_.ViaDiameterOf(net) / 2; }
    // Whether a via of `net` at plane node `in` keeps the hole gap from the
    // path's last via (at plane node `last`, or none).
    bool ApartFromLastVia(int last, std::size_t in, int net) const;
    bool ViaFits(std::size_t in, int net) const;

    // ---- pad access
    void BuildAccess();

    // The four directions along a pad's own axes; a pad turned by a
    // multiple of 90 degrees keeps exact ones.
    static std::array<Pt, 4> PadAxes(const RoutePad& pad);
    // How far the shape reaches from `at` along the unit direction d.
    static double Reach(const Shape& shape, Pt at, Pt d);
    const Shape& CoreOn(const RoutePad& pad, int l) const;

    // Ways onto a pad that no grid node reaches: straight out from its
    // centre along one of the pad's own axes (x or y for a pad that is not
    // turned), past its edge, to a bend from which a short run reaches a
    // grid node. The straight part runs on the pad's axis and may come as
    // near as the clearance itself (a pad as wide as the track, between
    // neighbours at the clearance); the bent part keeps the usual margin.
    void AxisAccess(int p, int l, const Shape& shape, double half, std::vector<Access>& out);
    // For a pad no track of its net's width can reach: whether a narrower
    // track, straight out along one of the pad's axes, would keep the
    // clearance; `fits` is about the widest that would. Says why a pad
    // between close neighbours stays open.
    bool OnlyNarrowerFits(int p, double& fits) const;
    // Whether the stub of an access still keeps its clearance.
    bool StubClear(const Access& a, int net, double half);

    // ---- negotiated congestion
    // Every net is routed as if the routes of the other nets were not
    // there; nodes near another net's route cost more the more nets crowd
    // them (the present cost, rising each pass) and the more often they were
    // fought over before (the history cost). Nets whose routes still crowd
    // another's are ripped up and routed again, until none do or the passes
    // run out. Then the routes are committed net by net with the exact
    // checks; what does not pass is routed again against what is there.
    std::vector<int> NegotiatedRound(RouteResult& result, int& done, int total);

    // True when both ends of a negotiated path still lie on the components
    // of the connection's pads; leaves the stubs of the ends in
    // sourceStub_ and targetStub_.
    bool EndsHold(int c, const std::vector<int>& path, Joins& joins);

    // Adds (+1) or takes away (-1) the nodes the routes of net `n` keep
    // other nets' tracks from: within its half width, its clearance and the
    // widest other track of each track, and as much around each via on
    // every layer.
    void Stamp(int n, int sign);
    // `widen` reaches further than the route keeps others.
    void StampPath(const std::vector<int>& path, int n, int sign, double widen = 0);
    void StampSegment(Pt a, Pt b, double reach, int layer, int sign);
    // True when a route of net `n` (its own stamp taken away) runs through
    // a node another net's route keeps; with `learn`, those nodes get
    // dearer for the next passes.
    bool Crowded(int n, bool learn);

    // ---- one round
    std::vector<int> RouteRound(const std::vector<int>& order, RouteResult& result, int& done,
                                int total);

    // Marks the nodes of the component that holds `pad`: its pads' ways in
    // and the routes already joined to it. A node entered by a stub from a
    // pad's centre remembers that pad in `stubs`.
    void MarkComponent(int pad, Joins& joins, uint32_t NodeState::*mark, std::vector<int>* list,
                       std::vector<int>& stubs);

    bool RouteConnection(int c, Joins& joins, RouteResult& result);

    // The cost of a step along x, along y and along both at once, per unit
    // of travel each way, on one layer (travel_) and the least of them over
    // the layers (cheapest_).
    struct StepCosts {
        double x = 1, y = 1, both = std::sqrt(2.0);
    };
    std::vector<StepCosts> travel_;
    StepCosts cheapest_;
    void SetStepCosts();
    // The least cost of travelling dx along x and dy along y: straight runs,
    // or as many diagonal steps as fit and straight runs for the rest.
    static double Travel(const StepCosts& c, double dx, double dy);

    // A step of a track of `net` from node u (with slack su) to its
    // neighbour v on layer l: room at both ends for the whole step is
    // enough; short of that (a track leaving a pad between its neighbours)
    // the step is measured exactly.
    bool CanStep(std::size_t u, float su, std::size_t v, int d, int net, double half, int l);
    // The same with the slack of v known. A node on a grid line through
    // pad centres may lie exactly at the clearance, and a step along such a
    // line or from or to such a node may keep exactly the clearance,
    // checked exactly; other steps keep the usual margin.
    bool StepClear(std::size_t u, float su, std::size_t v, float sv, int d, int net, double half,
                   int l);
    // A step at exactly the clearance that does not run along a line through
    // pad centres: clear where it lies and where it is written.
    bool TightClear(Pt a, Pt b, double half, int net, int l);
    // Whether a step in direction d onto node v runs along a grid line
    // through pad centres.
    bool OnExactLine(std::size_t v, int d) const;
    bool OnExactLine(std::size_t v) const;
    // How far below zero the slack of a node on such a line may be: the
    // margin kept against rounding, and what the field's single precision
    // may be off by.
    float Tight() const { return static_cast<float>(o_.safety + 1); }
    // Whether a node may be part of a route at all: room for the track, or
    // on a line through pad centres, room for it at exactly the clearance.
    bool NodeUsable(std::size_t node, float slack) const;

    // True when the free room around the target, as far as legal steps and
    // vias lead from it, closes up within `budget` nodes without meeting a
    // node the search from the sources has seen: the target is walled in,
    // and the search would only flood the rest of the board to learn that.
    // The steps are the search's own, which read the same both ways.
    bool WalledIn(const std::vector<int>& targets, int net, double half, std::size_t budget);

    // A* from the component of the connection's first pad to the component
    // of its second. While negotiating, the routes of other nets are no
    // obstacle but a cost; otherwise they block.
    bool Search(int c, Joins& joins, std::vector<int>& path);

    bool Commit(int c, const std::vector<int>& path, int fromStub, int toStub, Joins& joins,
                RouteResult& result);
};

} // namespace Router::detail
