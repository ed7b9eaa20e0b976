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

namespace Router {
namespace {

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
// Object kinds of the engine (host/sdk/ObjectKinds.h) of routed copper.
constexpr int32_t kViaKind = 3, kTrackKind = 4;
// Routes leave the board in route and session files at steps of 10 nm
// (0.254 board units of 1e-4 mil to the step). A corner on a line through pad
// centres is written as it is; one off them may move by half a step, so a
// track at exactly the clearance there is checked where it is written too.
constexpr double kStepsPerUnit = 0.254;
Pt AsWritten(Pt p) {
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
constexpr double kTurnedShare = 0.25;   // share of turned pads from which the grid is finer
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
double PointShapeDistance(Pt p, const Shape& shape) {
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
    GridRouter(const RouteBoard& board, const RouteOptions& options)
        : b_(board), o_(options), layers_(static_cast<int>(board.layers.size())) {
        minClearance_ = maxClearance_ = board.clearance;
        for (const RouteNet& net : board.nets) {
            maxHalf_ = std::max(maxHalf_, net.width / 2);
            minClearance_ = std::min(minClearance_, net.clearance);
            maxClearance_ = std::max(maxClearance_, net.clearance);
        }
        for (const Obstacle& o : board.obstacles) {
            minClearance_ = std::min(minClearance_, o.clearance);
            maxClearance_ = std::max(maxClearance_, o.clearance);
        }
        maxTrackHalf_ = maxHalf_;
        for (const RouteNet& net : board.nets)
            plainField_ = plainField_ || net.clearance > minClearance_;
        maxHalf_ = std::max(maxHalf_, board.viaDiameter / 2);
        for (std::size_t n = 0; n < board.nets.size(); ++n) {
            maxHalf_ = std::max(maxHalf_, ViaRadius(static_cast<int>(n)));
            maxViaHole_ = std::max(maxViaHole_, board.ViaHoleOf(static_cast<int>(n)) / 2);
        }
        double minWidth = 1e300;
        for (const RouteNet& net : board.nets)
            if (net.pads.size() > 1 && net.width > 0)
                minWidth = std::min(minWidth, net.width);
        if (minWidth > 1e299)
            minWidth = 100000;
        Box box;
        if (board.outline.size() >= 3)
            for (const Pt& p : board.outline)
                box.Add(p.x, p.y);
        // Without an outline the routing keeps within the pads' extent, where
        // the board surely is.
        if (board.outline.size() < 3)
            for (const RoutePad& pad : board.pads)
                for (const Shape& shape : pad.perLayer)
                    if (!shape.points.empty()) {
                        const Box b = shape.Bounds();
                        box.Add(b.x0, b.y0);
                        box.Add(b.x1, b.y1);
                    }
        noOutline_ = board.outline.size() < 3;

        limit_ = box;
        if (box.Empty())
            box.Add(0, 0, 1);
        // The pitch: half a track and its clearance at most, and a whole
        // fraction of 25 mil so that pins on the usual pitches share grid
        // lines.
        const double base = (minWidth + board.clearance) / 2;
        const double unit = 250000;
        pitch_ = options.pitch > 0 ? options.pitch
                 : base >= unit    ? base
                                   : unit / std::ceil(unit / base);
        // A part with many pins at a pitch the grid misses (a metric fine
        // pitch): the grid is laid through its pins instead, at a whole fraction of their
        // pitch, so that tracks leave them straight out on grid lines.
        std::vector<int> finePins;
        if (options.pitch <= 0 && base < unit) {
            const double fine = FinePitch(pitch_, 4 * base, finePins);
            // Only where tracks may leave the pins side by side: a track
            // and its clearance no wider than their pitch.
            if (fine > 0 && 2 * base <= fine + 2)
                pitch_ = fine / std::ceil(fine / base - 1e-3);
        }
        // Many pads turned at an angle (parts placed along a slant): their
        // pads and the gaps between them miss the grid's lines, and a grid
        // finer by a third gives their ways in and the tracks between them
        // more places to fall.
        if (options.pitch <= 0 && finePins.empty() && TurnedShare() > kTurnedShare)
            pitch_ = unit / std::ceil(unit / pitch_ * 4 / 3 - 1e-3);
        const double area = (box.x1 - box.x0) * (box.y1 - box.y0);
        const double maxNodes = 1.5e6;
        if (area / (pitch_ * pitch_) > maxNodes) {
            pitch_ = std::sqrt(area / maxNodes);
            finePins.clear();
        }
        // The origin: on the grid offset most pads (of the fine-pitch part,
        // if any) share.
        x0_ = box.x0 - pitch_ + Remainder(box.x0 - pitch_, CommonOffset(true, finePins));
        y0_ = box.y0 - pitch_ + Remainder(box.y0 - pitch_, CommonOffset(false, finePins));
        box.Add(box.x1, box.y1, pitch_);
        box.Add(x0_, y0_);
        nx_ = static_cast<int>(std::ceil((box.x1 - x0_) / pitch_)) + 1;
        ny_ = static_cast<int>(std::ceil((box.y1 - y0_) / pitch_)) + 1;
        plane_ = static_cast<std::size_t>(nx_) * ny_;
        LayLines();
        reach_ = maxHalf_ + maxClearance_ + options.safety + 2 * pitch_;
        // Lines lie on whole units and move by kSnap at most.
        straightReach_ = pitch_ + 2 * kSnap + 1;
        diagReach_ = std::sqrt(2.0) * straightReach_;
        bucketBox_ = box;
        bucketBox_.Add(box.x0, box.y0, reach_);
        bucketBox_.Add(box.x1, box.y1, reach_);
    }

    double Pitch() const { return pitch_; }

    // The offset (modulo the pitch) that most pad centres (of `pads`; all
    // when empty) have along x or y.
    double CommonOffset(bool alongX, const std::vector<int>& pads) const {
        constexpr int kBins = 32;
        int counts[kBins] = {};
        double first[kBins] = {};
        const std::size_t n = pads.empty() ? b_.pads.size() : pads.size();
        for (std::size_t k = 0; k < n; ++k) {
            const RoutePad& pad = b_.pads[pads.empty() ? k : static_cast<std::size_t>(pads[k])];
            const double v = alongX ? pad.at.x : pad.at.y;
            const double m = v - std::floor(v / pitch_) * pitch_;
            const int bin = std::clamp(static_cast<int>(m / pitch_ * kBins), 0, kBins - 1);
            if (counts[bin]++ == 0)
                first[bin] = m;
        }
        int best = 0;
        for (int k = 1; k < kBins; ++k)
            if (counts[k] > counts[best])
                best = k;
        return first[best];
    }
    // The share of the pads to route (of nets with more than one pad)
    // turned at an angle that is no multiple of a right angle.
    double TurnedShare() const {
        std::size_t pads = 0, turned = 0;
        for (const RouteNet& net : b_.nets) {
            if (net.pads.size() < 2)
                continue;
            for (int p : net.pads) {
                ++pads;
                const double a = std::fmod(std::fabs(b_.pads[p].angle), 90.0);
                turned += (a > 0.5 && a < 89.5) ? 1 : 0;
            }
        }
        return pads == 0 ? 0 : static_cast<double>(turned) / static_cast<double>(pads);
    }

    // The finest pin pitch below `most` at which some part has at least
    // kFinePairs neighbouring pads in rows, where `pitch` misses its pins:
    // the centre-to-centre distance of neighbours in a row (the rows of
    // one part, named by the designator before the pad's '-'). `pins` gets
    // the pins of the part with most such pairs at that pitch. 0: none.
    double FinePitch(double pitch, double most, std::vector<int>& pins) const {
        struct Pair {
            std::string part;
            long key;
            double spacing;
            int a, b;
        };
        std::vector<Pair> pairs;
        std::vector<int> order(b_.pads.size());
        std::vector<std::string> part(b_.pads.size());
        for (std::size_t p = 0; p < b_.pads.size(); ++p) {
            const std::string& name = b_.pads[p].name;
            part[p] = name.substr(0, name.rfind('-'));
        }
        for (const bool rows : {true, false}) {
            std::iota(order.begin(), order.end(), 0);
            auto across = [&](int p) { return rows ? b_.pads[p].at.y : b_.pads[p].at.x; };
            auto along = [&](int p) { return rows ? b_.pads[p].at.x : b_.pads[p].at.y; };
            std::sort(order.begin(), order.end(), [&](int a, int b) {
                const double ca = std::round(across(a)), cb = std::round(across(b));
                return ca != cb ? ca < cb : along(a) < along(b);
            });
            for (std::size_t k = 0; k + 1 < order.size(); ++k) {
                const int a = order[k], b = order[k + 1];
                const double spacing = along(b) - along(a);
                if (std::round(across(a)) != std::round(across(b)) || part[a] != part[b] ||
                    spacing <= 0 || spacing > most)
                    continue;
                const double steps = spacing / pitch;
                if (std::fabs(steps - std::round(steps)) < 0.02)
                    continue; // on the grid already
                pairs.push_back({part[a], std::lround(spacing / 250), spacing, a, b});
            }
        }
        std::sort(pairs.begin(), pairs.end(), [](const Pair& x, const Pair& y) {
            return x.key != y.key ? x.key < y.key : x.part < y.part;
        });
        // The finest pitch with enough pairs on one part; of its parts, the
        // one with most pairs.
        std::size_t best = pairs.size(), bestCount = 0;
        for (std::size_t k = 0; k < pairs.size();) {
            std::size_t e = k;
            while (e < pairs.size() && pairs[e].key == pairs[k].key &&
                   pairs[e].part == pairs[k].part)
                ++e;
            if (e - k >= static_cast<std::size_t>(kFinePairs) &&
                (best == pairs.size() ? true
                                      : pairs[k].key == pairs[best].key && e - k > bestCount)) {
                best = k;
                bestCount = e - k;
            }
            k = e;
        }
        if (best == pairs.size())
            return 0;
        double sum = 0;
        for (std::size_t k = best; k < best + bestCount; ++k) {
            sum += pairs[k].spacing;
            pins.push_back(pairs[k].a);
            pins.push_back(pairs[k].b);
        }
        std::sort(pins.begin(), pins.end());
        pins.erase(std::unique(pins.begin(), pins.end()), pins.end());
        return sum / static_cast<double>(bestCount);
    }

    // The grid lines, each moved onto the pad centres within kSnap of it
    // (the value most of them share), so that a track along a line through
    // pads runs exactly through their centres.
    void LayLines() {
        auto lay = [&](bool alongX, int count, double origin, std::vector<double>& at,
                       std::vector<char>& exact) {
            at.resize(static_cast<std::size_t>(count));
            exact.assign(static_cast<std::size_t>(count), 0);
            // Whole board units, as the routes are written: what is checked
            // is what the board gets.
            for (int i = 0; i < count; ++i)
                at[i] = std::round(origin + static_cast<double>(i) * pitch_);
            std::vector<std::pair<int, double>> near;
            for (const RoutePad& pad : b_.pads) {
                const double v = alongX ? pad.at.x : pad.at.y;
                const long i = std::lround((v - origin) / pitch_);
                if (i >= 0 && i < count && std::fabs(at[i] - v) <= kSnap)
                    near.push_back({static_cast<int>(i), v});
            }
            std::sort(near.begin(), near.end());
            for (std::size_t k = 0; k < near.size();) {
                std::size_t e = k, bestRun = 0;
                double value = near[k].second;
                while (e < near.size() && near[e].first == near[k].first) {
                    std::size_t r = e;
                    while (r < near.size() && near[r] == near[e])
                        ++r;
                    if (r - e > bestRun) {
                        bestRun = r - e;
                        value = near[e].second;
                    }
                    e = r;
                }
                at[near[k].first] = value;
                exact[near[k].first] = 1;
                k = e;
            }
        };
        lay(true, nx_, x0_, xs_, exactX_);
        lay(false, ny_, y0_, ys_, exactY_);
    }

    // How far to move `from` up to reach the next value with `offset`.
    double Remainder(double from, double offset) const {
        const double m = from - std::floor(from / pitch_) * pitch_;
        double up = offset - m;
        if (up < 0)
            up += pitch_;
        return up;
    }

    RouteResult Run() {
        BuildConnections();
        // On a big board the search trusts its estimate more than it
        // strictly may: routes come out a little longer, the search opens
        // far fewer nodes.
        const bool big = connections_.size() > kBigBoard;
        estimateWeight_ = big ? std::max(1.0, o_.bigBoardEstimate) : 1.0;
        negotiationWeight_ = big ? std::max(1.0, o_.bigBoardNegotiationEstimate) : 1.0;
        RouteResult best;
        best.open = std::numeric_limits<int>::max();
        std::vector<int> order(connections_.size());
        std::iota(order.begin(), order.end(), 0);
        const int total =
            static_cast<int>(connections_.size()) * std::max(1, o_.rounds) + o_.negotiations;
        int done = 0;
        int stale = 0; // plain rounds in a row that did no better than the best
        std::vector<int> bestFailed;
        Routing kept; // the routes of the best round
        // The round that negotiates: the first, except on a big board, where
        // negotiating is dear and a plain round goes first, so that an
        // interruption while negotiating still leaves a whole routing.
        const int negotiated = o_.negotiations <= 0 ? -1 : connections_.size() > kBigBoard ? 1 : 0;
        const int all = static_cast<int>(connections_.size());
        for (int round = 0; round < std::max(1, o_.rounds); ++round) {
            RouteResult result;
            now_ = {"round " + std::to_string(round + 1), 0, all, 0};
            std::vector<int> failed = round == negotiated ? NegotiatedRound(result, done, total)
                                                          : RouteRound(order, result, done, total);
            result.connections = all;
            result.open = static_cast<int>(failed.size());
            now_.stage = "round " + std::to_string(round + 1) + " done";
            Show(result, result.open, all);
            Tell();
            const bool better = result.open < best.open ||
                                (result.open == best.open && result.vias.size() < best.vias.size());
            if (better || round == 0) {
                best = std::move(result);
                bestFailed = failed;
                kept = Routing{routedNodes_, routedStubs_, commitOrder_};
            }
            if (best.open == 0 || result.cancelled || failed.empty())
                break;
            // Two plain rounds in a row that bring nothing on a board where
            // rounds are dear: the order of the connections is no longer
            // what keeps the rest open.
            if (round != negotiated)
                stale = better ? 0 : stale + 1;
            if (stale >= std::max(1, o_.staleRounds) && expansions_ > kCheapWork)
                break;
            // The negotiated round leaves the order as it was; after a plain
            // round, the connections it left open go first, in their order.
            if (round == negotiated)
                continue;
            std::vector<int> next = failed;
            std::vector<char> isFailed(connections_.size(), 0);
            for (int c : failed)
                isFailed[c] = 1;
            for (int c : order)
                if (!isFailed[c])
                    next.push_back(c);
            order = std::move(next);
        }
        // The rip-up takes few searches, each of which decides what is
        // moved: they use the strict estimate.
        estimateWeight_ = 1;
        if (!best.cancelled && !bestFailed.empty())
            RipUp(best, bestFailed, kept);
        best.lines.clear();
        // Why each stays open is judged on the board as it came, without
        // the routes: a pad its neighbours wall in there is never left.
        std::vector<char> walled(b_.pads.size(), 0);
        if (!bestFailed.empty() && !best.cancelled) {
            ResetBoard();
            BuildAccess();
            ++search_; // no node counts as reached from a source
            for (int c : bestFailed)
                for (int p : {connections_[c].from, connections_[c].to})
                    walled[p] = walled[p] || PadWalledIn(p);
        }
        for (int c : bestFailed) {
            Reason why = Why(connections_[c], walled);
            best.lines.push_back(std::move(why.line));
            auto it = std::find_if(best.openByReason.begin(), best.openByReason.end(),
                                   [&](const auto& counted) { return counted.first == why.kind; });
            if (it == best.openByReason.end())
                best.openByReason.emplace_back(why.kind, 1);
            else
                ++it->second;
        }
        best.pitch = pitch_;
        best.connections = static_cast<int>(connections_.size());
        for (const RouteTrack& t : best.tracks)
            best.length += std::hypot(t.b.x - t.a.x, t.b.y - t.a.y);
        return best;
    }

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

    void RipUp(RouteResult& best, std::vector<int>& failed, Routing& kept) {
        const long budget =
            std::clamp(static_cast<long>(static_cast<double>(expansions_) * o_.ripUpShare),
                       std::min(kCheapWork, o_.ripUpSteps), o_.ripUpSteps);
        const long start = expansions_;
        // While it gains, the rip-up goes on: each gain leaves it at least
        // half its budget in steps and attempts, up to `ripUpGrowth` times
        // the budget.
        const double growth = std::max(1.0, o_.ripUpGrowth);
        const long most = static_cast<long>(static_cast<double>(budget) * growth);
        const int mostAttempts = static_cast<int>(o_.ripUps * growth);
        long steps = budget;
        int attempts = o_.ripUps;
        std::vector<char> tried(connections_.size(), 0), hopeless(connections_.size(), 0);
        // A pad with no legal way onto it on the bare board has none after
        // any rip-up either: its connections are not tried again.
        for (int f : failed)
            if (access_[connections_[f].from].empty() || access_[connections_[f].to].empty())
                hopeless[f] = 1;
        std::size_t way = 0;
        const int all = static_cast<int>(connections_.size());
        for (int attempt = 0; attempt < attempts && !failed.empty(); ++attempt) {
            if (expansions_ - start > steps || (o_.cancelled && o_.cancelled()))
                break;
            now_.stage = "rip-up attempt " + std::to_string(attempt + 1);
            Show(best, static_cast<int>(failed.size()), all);
            Tick();
            int c = -1;
            const std::size_t ways = std::min(std::size(kRipUpWays),
                                              static_cast<std::size_t>(std::max(1, o_.ripUpWays)));
            while (c < 0 && way < ways) {
                for (int f : failed)
                    if (!tried[f] && !hopeless[f]) {
                        c = f;
                        break;
                    }
                if (c < 0) {
                    ++way;
                    std::fill(tried.begin(), tried.end(), 0);
                }
            }
            if (c < 0)
                break;
            tried[c] = 1;
            RouteResult trial;
            std::vector<int> open;
            const Attempt outcome = Reroute(c, kRipUpWays[way], kept, failed, trial, open);
            if (outcome == Attempt::NoPath)
                hopeless[c] = 1;
            if (outcome != Attempt::Better)
                continue;
            trial.connections = static_cast<int>(connections_.size());
            trial.open = static_cast<int>(open.size());
            best = std::move(trial);
            failed = std::move(open);
            kept = Routing{routedNodes_, routedStubs_, commitOrder_};
            std::fill(tried.begin(), tried.end(), 0);
            steps = std::min(most, std::max(steps, expansions_ - start + budget / 2));
            attempts = std::min(mostAttempts, std::max(attempts, attempt + 1 + o_.ripUps / 2));
            now_.stage = "rip-up attempt " + std::to_string(attempt + 1) + " gained";
            Show(best, static_cast<int>(failed.size()), all);
            Tell();
        }
    }

    enum class Attempt { NoPath, Worse, Better };

    // One attempt for connection `c` against the routing `kept`, which
    // leaves `failed` open. NoPath: the connection has none even on the bare
    // board; Better: `result` and `open` hold a routing that leaves fewer
    // open.
    Attempt Reroute(int c, const RipUpWay& way, const Routing& kept, const std::vector<int>& failed,
                    RouteResult& result, std::vector<int>& open) {
        ResetBoard();
        BuildAccess();
        routedNodes_.assign(connections_.size(), {});
        Joins joins = Prejoined();
        const int net = connections_[c].net;
        std::vector<int> path;
        // The search, with the other nets' routes as a cost: each node as
        // dear as the routes that keep it.
        occupied_.assign(plane_ * layers_, 0);
        history_.assign(plane_ * layers_, 0);
        if (way.crossing > 0)
            for (int k : kept.order)
                if (connections_[k].net != net)
                    StampPath(kept.paths[k], connections_[k].net, +1);
        negotiating_ = true;
        present_ = way.crossing;
        const bool found = Search(c, joins, path);
        negotiating_ = false;
        if (!found)
            return Attempt::NoPath;
        // What comes near the path is taken up.
        occupied_.assign(plane_ * layers_, 0);
        StampPath(path, net, +1);
        std::vector<char> moved(connections_.size(), 0), movedNet(b_.nets.size(), 0);
        for (int k : kept.order)
            if (connections_[k].net != net &&
                std::any_of(kept.paths[k].begin(), kept.paths[k].end(),
                            [&](int node) { return occupied_[node] > 0; })) {
                moved[k] = 1;
                movedNet[connections_[k].net] = 1;
            }
        if (way.wholeNets)
            for (int k : kept.order)
                moved[k] = moved[k] || movedNet[connections_[k].net];
        // A route was laid from and to what its net had then: once one of
        // a net's routes is taken up, those laid after it may hang in the air
        // and are taken up too.
        std::fill(movedNet.begin(), movedNet.end(), 0);
        for (int k : kept.order) {
            const int n = connections_[k].net;
            moved[k] = moved[k] || movedNet[n];
            movedNet[n] = movedNet[n] || moved[k];
        }
        // The rest laid again as it was; it passed against more than is
        // there now, but is checked again all the same.
        for (int k : kept.order) {
            if (moved[k])
                continue;
            if (!Commit(k, kept.paths[k], kept.stubs[k].first, kept.stubs[k].second, joins, result))
                return Attempt::Worse;
        }
        // The open connection, those taken up shortest first, the rest.
        std::vector<int> order{c};
        for (int k = 0; k < static_cast<int>(connections_.size()); ++k)
            if (moved[k])
                order.push_back(k);
        for (int k = 0; k < static_cast<int>(connections_.size()); ++k)
            if (k != c && !moved[k])
                order.push_back(k);
        open = RouteOpen(order, joins, result);
        if (result.cancelled || open.size() >= failed.size())
            return Attempt::Worse;
        return Attempt::Better;
    }

    // Routes the connections of `order` that are not joined yet, against
    // what is there; answers those left open.
    std::vector<int> RouteOpen(const std::vector<int>& order, Joins& joins, RouteResult& result) {
        std::vector<int> open;
        for (int k : order) {
            const Connection& con = connections_[k];
            if (joins.Find(con.from) == joins.Find(con.to))
                continue;
            if (result.cancelled || (o_.cancelled && o_.cancelled())) {
                result.cancelled = true;
                open.push_back(k);
                continue;
            }
            if (!RouteConnection(k, joins, result))
                open.push_back(k);
            Tick();
        }
        return open;
    }

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

    Pt At(std::size_t node) const {
        const std::size_t in = node % plane_;
        return Pt{xs_[in % nx_], ys_[in / nx_]};
    }
    int LayerOf(std::size_t node) const { return static_cast<int>(node / plane_); }

    // Union-find over the pads with the groups the board's copper joins.
    Joins Prejoined() const {
        Joins joins(b_.pads.size());
        joins.parent = preRoot_;
        return joins;
    }

    void BuildConnections() {
        SetStepCosts();
        preRoot_ = JoinedByCopper(b_);
        for (int n = 0; n < static_cast<int>(b_.nets.size()); ++n) {
            const std::vector<int>& pads = b_.nets[n].pads;
            if (pads.size() < 2)
                continue;
            // Prim's tree over the pads, nearest first.
            std::vector<double> best(pads.size(), 1e300);
            std::vector<int> from(pads.size(), -1);
            std::vector<char> in(pads.size(), 0);
            best[0] = 0;
            for (std::size_t k = 0; k < pads.size(); ++k) {
                std::size_t pick = pads.size();
                for (std::size_t i = 0; i < pads.size(); ++i)
                    if (!in[i] && (pick == pads.size() || best[i] < best[pick]))
                        pick = i;
                in[pick] = 1;
                if (from[pick] >= 0 && preRoot_[pads[from[pick]]] != preRoot_[pads[pick]])
                    connections_.push_back({n, pads[from[pick]], pads[pick], best[pick]});
                const Pt& p = b_.pads[pads[pick]].at;
                for (std::size_t i = 0; i < pads.size(); ++i) {
                    if (in[i])
                        continue;
                    const Pt& q = b_.pads[pads[i]].at;
                    // Pads the copper joins already cost nothing to add.
                    const double d = preRoot_[pads[i]] == preRoot_[pads[pick]]
                                         ? 0
                                         : std::hypot(p.x - q.x, p.y - q.y);
                    if (d < best[i]) {
                        best[i] = d;
                        from[i] = static_cast<int>(pick);
                    }
                }
            }
        }
        std::stable_sort(
            connections_.begin(), connections_.end(),
            [](const Connection& a, const Connection& b) { return a.length < b.length; });
    }

    // Whether every way out of a pad its access gives closes up within a
    // small room: the copper and clearances around it leave a track of its
    // net no way out on any layer, vias included.
    bool PadWalledIn(int p) {
        std::vector<int> nodes;
        for (int k : access_[p])
            nodes.push_back(accesses_[k].node);
        const int net = b_.pads[p].net;
        return !nodes.empty() && WalledIn(nodes, net, b_.nets[net].width / 2, kFirstFlood);
    }

    // Why a connection stays open: the reason in a few words, and the line
    // that names the net and pads.
    struct Reason {
        const char* kind;
        std::string line;
    };
    Reason Why(const Connection& c, const std::vector<char>& walled) const {
        const RouteNet& net = b_.nets[c.net];
        std::string text = "net " + net.name + ": " + b_.pads[c.from].name + " to " +
                           b_.pads[c.to].name + " not routed: ";
        if (access_[c.from].empty() || access_[c.to].empty()) {
            const int p = access_[c.from].empty() ? c.from : c.to;
            const std::vector<Shape>& copper = b_.pads[p].perLayer;
            if (std::all_of(copper.begin(), copper.end(),
                            [](const Shape& shape) { return shape.points.empty(); }))
                return {"pad with copper on no routing layer",
                        text + "pad " + b_.pads[p].name + " has copper on no routing layer"};
            if (b_.pads[p].underKeepout)
                return {"pad under a keep-out",
                        text + "pad " + b_.pads[p].name + " lies under a keep-out"};
            double fits = 0;
            if (OnlyNarrowerFits(p, fits)) {
                char line[160];
                std::snprintf(line, sizeof line,
                              "the net's %.1f mil track does not fit onto pad %s between its "
                              "neighbours at the %.1f mil clearance (one %.1f mil wide would)",
                              net.width / 10000, b_.pads[p].name.c_str(), net.clearance / 10000,
                              fits / 10000);
                return {"track too wide for its pad", text + line};
            }
            return {"no legal way onto a pad", text + "no legal way onto pad " + b_.pads[p].name +
                                                   " (keep-out, outline or clearance)"};
        }
        if (walled[c.from] || walled[c.to])
            return {"pad walled in", text + "pad " + b_.pads[walled[c.from] ? c.from : c.to].name +
                                         " is walled in: between the copper and clearances "
                                         "around it the router finds its net's track no way out"};
        return {"no legal path found", text + "no legal path found"};
    }

    // ---- the distance field
    void Raster(const Obstacle& o) {
        if (o.drill > 0)
            RasterDrill(o);
        const Box box = o.shape.Bounds();
        const int i0 = std::max(0, static_cast<int>(std::floor((box.x0 - reach_ - x0_) / pitch_)));
        const int i1 =
            std::min(nx_ - 1, static_cast<int>(std::ceil((box.x1 + reach_ - x0_) / pitch_)));
        const int j0 = std::max(0, static_cast<int>(std::floor((box.y0 - reach_ - y0_) / pitch_)));
        const int j1 =
            std::min(ny_ - 1, static_cast<int>(std::ceil((box.y1 + reach_ - y0_) / pitch_)));
        for (int j = j0; j <= j1; ++j)
            for (int i = i0; i <= i1; ++i) {
                const Pt p{xs_[i], ys_[j]};
                const float raw = static_cast<float>(PointShapeDistance(p, o.shape));
                const float d = raw - static_cast<float>(o.clearance);
                if (d > reach_)
                    continue;
                const std::size_t in = static_cast<std::size_t>(j) * nx_ + i;
                if (o.viaOnly) {
                    dv_[in] = std::min(dv_[in], d);
                    continue;
                }
                for (int l = 0; l < layers_; ++l) {
                    if ((o.layers >> l & 1u) == 0)
                        continue;
                    const std::size_t node = l * plane_ + in;
                    Nearer(d, o.net, d1_[node], d2_[node], n1_[node]);
                    if (plainField_)
                        Nearer(raw, o.net, r1_[node], r2_[node], m1_[node]);
                }
            }
    }
    // Where a via's drill may lie beside this one: each node near it keeps
    // its distance to the drill's edge less the hole gap.
    void RasterDrill(const Obstacle& o) {
        Box box;
        for (const Pt& p : o.shape.points)
            box.Add(p.x, p.y, o.drill + b_.holeGap + maxViaHole_ + pitch_);
        const int i0 = std::max(0, static_cast<int>(std::floor((box.x0 - x0_) / pitch_)));
        const int i1 = std::min(nx_ - 1, static_cast<int>(std::ceil((box.x1 - x0_) / pitch_)));
        const int j0 = std::max(0, static_cast<int>(std::floor((box.y0 - y0_) / pitch_)));
        const int j1 = std::min(ny_ - 1, static_cast<int>(std::ceil((box.y1 - y0_) / pitch_)));
        Shape centre;
        centre.points = o.shape.points;
        for (int j = j0; j <= j1; ++j)
            for (int i = i0; i <= i1; ++i) {
                const Pt p{xs_[i], ys_[j]};
                const float d =
                    static_cast<float>(PointShapeDistance(p, centre) - o.drill - b_.holeGap);
                float& kept = dh_[static_cast<std::size_t>(j) * nx_ + i];
                kept = std::min(kept, d);
            }
    }
    // Keeps the nearest distance (`first`, of net `firstNet`) and the
    // nearest of another net (`second`) as a distance `d` of `net` comes in.
    static void Nearer(float d, int net, float& first, float& second, int& firstNet) {
        if (net == firstNet && net != kNoNet) {
            first = std::min(first, d);
        } else if (d < first) {
            second = first;
            first = d;
            firstNet = net;
        } else {
            second = std::min(second, d);
        }
    }

    long Work() const { return expansions_ + layouts_; }
    // Reports how the stage stands.
    void Tell() {
        reported_ = Work();
        if (o_.report)
            o_.report(now_);
    }
    // The same, once enough work went by since the last report.
    void Tick() {
        if (o_.report && Work() - reported_ >= kReportWork)
            Tell();
    }
    // The routing `result`, in which `failed` of the first `tried`
    // connections were left open, as the figures of the reports: those not
    // tried yet count as open.
    void Show(const RouteResult& result, int failed, int tried) {
        now_.routed = tried - failed;
        now_.open = static_cast<int>(connections_.size()) - now_.routed;
        now_.vias = static_cast<int>(result.vias.size());
    }

    void ResetBoard() {
        const std::size_t total = plane_ * layers_;
        layouts_ += static_cast<long>(total / 8); // a node laid out is cheaper than a step
        d1_.assign(total, kFar);
        d2_.assign(total, kFar);
        n1_.assign(total, -2);
        if (plainField_) {
            r1_.assign(total, kFar);
            r2_.assign(total, kFar);
            m1_.assign(total, -2);
        }
        dv_.assign(plane_, kFar);
        dh_.assign(plane_, kFar);
        routedStubs_.assign(connections_.size(), {-1, -1});
        commitOrder_.clear();
        // The board's own copper and edge are the same every time: laid
        // once, then copied back.
        if (bare_) {
            d1_ = bare_->d1;
            d2_ = bare_->d2;
            n1_ = bare_->n1;
            r1_ = bare_->r1;
            r2_ = bare_->r2;
            m1_ = bare_->m1;
            dv_ = bare_->dv;
            dh_ = bare_->dh;
            buckets_->Restore();
            return;
        }
        buckets_ = std::make_unique<Buckets>(bucketBox_, std::max(pitch_ * 16, reach_), o_.safety);
        if (b_.rules) {
            if (!pairGaps_)
                pairGaps_ = std::make_unique<PairGaps>(b_);
            buckets_->SetPairGaps(pairGaps_.get());
        }
        for (const Obstacle& o : b_.obstacles) {
            Raster(o);
            buckets_->Add(o);
        }
        // The board edge: outside is closed, the outline keeps its clearance.
        if (b_.outline.size() >= 3) {
            for (std::size_t k = 0; k < b_.outline.size(); ++k) {
                Obstacle edge;
                edge.shape.points = {b_.outline[k], b_.outline[(k + 1) % b_.outline.size()]};
                edge.layers = (layers_ >= 32 ? 0xFFFFFFFFu : (1u << layers_) - 1);
                edge.clearance = b_.clearance;
                Raster(edge);
                buckets_->Add(edge);
            }
            for (std::size_t in = 0; in < plane_; ++in)
                if (!InsidePolygon(b_.outline, At(in)))
                    for (int l = 0; l < layers_; ++l)
                        d1_[l * plane_ + in] = d2_[l * plane_ + in] = -kFar;
        }
        if (noOutline_)
            for (std::size_t in = 0; in < plane_; ++in) {
                const Pt p = At(in);
                if (p.x < limit_.x0 || p.x > limit_.x1 || p.y < limit_.y0 || p.y > limit_.y1)
                    for (int l = 0; l < layers_; ++l)
                        d1_[l * plane_ + in] = d2_[l * plane_ + in] = -kFar;
            }
        if (state_.size() != total) {
            state_.assign(total, NodeState{});
            flooded_.assign(total, 0);
            sourceStub_.assign(total, -1);
            targetStub_.assign(total, -1);
        }
        buckets_->Mark();
        bare_ = std::make_unique<Field>(Field{d1_, d2_, dv_, n1_, r1_, r2_, m1_, dh_});
    }

    // Room left around a node for copper of `net` that reaches `half` from
    // it. The larger of the two clearances applies: the field less each
    // obstacle's own clearance answers for obstacles that ask more than the
    // net, the plain distance less the net's clearance for the others. A
    // net at the smallest clearance never asks more than an obstacle.
    float Slack(std::size_t node, int net, double half) const {
        const float d = (n1_[node] == net ? d2_[node] : d1_[node]) - Need(half);
        if (!AboveLeast(net))
            return d;
        return std::min(d, (m1_[node] == net ? r2_[node] : r1_[node]) - NeedPlain(net, half));
    }
    float Need(double half) const { return static_cast<float>(half + o_.safety); }
    float NeedPlain(int net, double half) const {
        return static_cast<float>(half + b_.nets[net].clearance + o_.safety);
    }
    bool AboveLeast(int net) const { return b_.nets[net].clearance > minClearance_; }
    double ClearanceOf(int net) const { return b_.nets[net].clearance; }
    double ViaRadius(int net) const { return b_.ViaDiameterOf(net) / 2; }
    // Whether a via of `net` at plane node `in` keeps the hole gap from the
    // path's last via (at plane node `last`, or none).
    bool ApartFromLastVia(int last, std::size_t in, int net) const {
        if (last < 0)
            return true;
        const Pt a = At(in), b = At(static_cast<std::size_t>(last));
        return std::hypot(a.x - b.x, a.y - b.y) >= b_.ViaHoleOf(net) + b_.holeGap;
    }
    bool ViaFits(std::size_t in, int net) const {
        const double radius = ViaRadius(net);
        if (radius <= 0)
            return false;
        if (dv_[in] < radius || dh_[in] < b_.ViaHoleOf(net) / 2)
            return false;
        for (int l = 0; l < layers_; ++l)
            if (Slack(l * plane_ + in, net, radius) < 0)
                return false;
        return true;
    }

    // ---- pad access
    void BuildAccess() {
        // The ways onto the pads are found on the bare board, which is the
        // same every time.
        if (accessBuilt_)
            return;
        accessBuilt_ = true;
        access_.assign(b_.pads.size(), {});
        accesses_.clear();
        for (std::size_t p = 0; p < b_.pads.size(); ++p) {
            const RoutePad& pad = b_.pads[p];
            if (pad.net == kNoNet)
                continue;
            const double half = b_.nets[pad.net].width / 2;
            for (int l = 0; l < layers_; ++l) {
                if (l >= static_cast<int>(pad.perLayer.size()) || pad.perLayer[l].points.empty())
                    continue;
                const Shape& shape = CoreOn(pad, l);
                const Box box = shape.Bounds();
                const int i0 =
                    std::max(0, static_cast<int>(std::floor((box.x0 - 2 * pitch_ - x0_) / pitch_)));
                const int i1 = std::min(
                    nx_ - 1, static_cast<int>(std::ceil((box.x1 + 2 * pitch_ - x0_) / pitch_)));
                const int j0 =
                    std::max(0, static_cast<int>(std::floor((box.y0 - 2 * pitch_ - y0_) / pitch_)));
                const int j1 = std::min(
                    ny_ - 1, static_cast<int>(std::ceil((box.y1 + 2 * pitch_ - y0_) / pitch_)));
                std::vector<Access> inside, near;
                const int pi = static_cast<int>(p);
                for (int j = j0; j <= j1; ++j)
                    for (int i = i0; i <= i1; ++i) {
                        const std::size_t node = l * plane_ + static_cast<std::size_t>(j) * nx_ + i;
                        const Pt q = At(node);
                        if (!NodeUsable(node, Slack(node, pad.net, half)))
                            continue;
                        const double d = SegmentShapeDistance(q, q, shape);
                        if (d <= 0)
                            inside.push_back({static_cast<int>(node), pi, false, false, {}});
                        else if (std::hypot(q.x - pad.at.x, q.y - pad.at.y) <= 2.9 * pitch_ &&
                                 buckets_->Clear(pad.at, q, half, ClearanceOf(pad.net), pad.net, l,
                                                 false))
                            near.push_back({static_cast<int>(node), pi, true, false, {}});
                    }
                if (inside.empty() && near.empty())
                    AxisAccess(pi, l, shape, half, near);
                for (const Access& a : inside.empty() ? near : inside) {
                    access_[p].push_back(static_cast<int>(accesses_.size()));
                    accesses_.push_back(a);
                }
            }
        }
    }

    // The four directions along a pad's own axes; a pad turned by a
    // multiple of 90 degrees keeps exact ones.
    static std::array<Pt, 4> PadAxes(const RoutePad& pad) {
        const double turn = std::remainder(pad.angle, 90.0);
        const double t = turn * M_PI / 180.0;
        const double c = std::fabs(turn) < 1e-9 ? 1 : std::cos(t),
                     s = std::fabs(turn) < 1e-9 ? 0 : std::sin(t);
        return {Pt{c, s}, Pt{-c, -s}, Pt{-s, c}, Pt{s, -c}};
    }
    // How far the shape reaches from `at` along the unit direction d.
    static double Reach(const Shape& shape, Pt at, Pt d) {
        double edge = 0;
        for (const Pt& q : shape.points)
            edge = std::max(edge, (q.x - at.x) * d.x + (q.y - at.y) * d.y);
        return edge + shape.radius;
    }
    const Shape& CoreOn(const RoutePad& pad, int l) const {
        return l < static_cast<int>(pad.core.size()) && !pad.core[l].points.empty()
                   ? pad.core[l]
                   : pad.perLayer[l];
    }

    // Ways onto a pad that no grid node reaches: straight out from its
    // centre along one of the pad's own axes (x or y for a pad that is not
    // turned), past its edge, to a bend from which a short run reaches a
    // grid node. The straight part runs on the pad's axis and may come as
    // near as the clearance itself (a pad as wide as the track, between
    // neighbours at the clearance); the bent part keeps the usual margin.
    void AxisAccess(int p, int l, const Shape& shape, double half, std::vector<Access>& out) {
        const RoutePad& pad = b_.pads[p];
        const int net = pad.net;
        const Pt at = pad.at;
        const std::array<Pt, 4> dirs = PadAxes(pad);
        const bool turned = dirs[0].y != 0;
        for (const Pt& d : dirs) {
            const double edge = Reach(shape, at, d);
            for (int m = 0; m <= 8; ++m) {
                const double t = std::round(edge + m * pitch_ / 2);
                // Off the board's axes, the bend goes to whole coordinates,
                // where the written track will put it.
                Pt bend{at.x + d.x * t, at.y + d.y * t};
                if (turned)
                    bend = {std::round(bend.x), std::round(bend.y)};
                if (!buckets_->Clear(at, bend, half, ClearanceOf(net), net, l, false, kAxisSafety))
                    break; // further out only adds to what already fails
                const int i0 =
                    std::max(0, static_cast<int>(std::floor((bend.x - x0_) / pitch_)) - 1);
                const int j0 =
                    std::max(0, static_cast<int>(std::floor((bend.y - y0_) / pitch_)) - 1);
                const std::size_t before = out.size();
                for (int j = j0; j <= std::min(ny_ - 1, j0 + 3); ++j)
                    for (int i = i0; i <= std::min(nx_ - 1, i0 + 3); ++i) {
                        const std::size_t node = l * plane_ + static_cast<std::size_t>(j) * nx_ + i;
                        if (Slack(node, net, half) >= 0 &&
                            buckets_->Clear(bend, At(node), half, ClearanceOf(net), net, l, false))
                            out.push_back({static_cast<int>(node), p, true, true, bend});
                    }
                if (out.size() > before)
                    break;
            }
        }
    }
    // For a pad no track of its net's width can reach: whether a narrower
    // track, straight out along one of the pad's axes, would keep the
    // clearance; `fits` is about the widest that would. Says why a pad
    // between close neighbours stays open.
    bool OnlyNarrowerFits(int p, double& fits) const {
        const RoutePad& pad = b_.pads[p];
        const double half = b_.nets[pad.net].width / 2, clearance = ClearanceOf(pad.net);
        fits = 0;
        for (int l = 0; l < layers_; ++l) {
            if (l >= static_cast<int>(pad.perLayer.size()) || pad.perLayer[l].points.empty())
                continue;
            const Shape& shape = CoreOn(pad, l);
            for (const Pt& d : PadAxes(pad)) {
                const double out = Reach(shape, pad.at, d) + clearance + 2 * half;
                const Pt end{pad.at.x + d.x * out, pad.at.y + d.y * out};
                auto clear = [&](double h) {
                    return buckets_->Clear(pad.at, end, h, clearance, pad.net, l, false,
                                           kAxisSafety);
                };
                // The widest that passes, to a hundredth of the net's width.
                double lo = 0, hi = half;
                if (clear(hi) || !clear(hi / 100))
                    continue;
                for (int k = 0; k < 12; ++k) {
                    const double mid = (lo + hi) / 2;
                    (clear(mid) ? lo : hi) = mid;
                }
                fits = std::max(fits, 2 * lo);
            }
        }
        return fits > 0;
    }
    // Whether the stub of an access still keeps its clearance.
    bool StubClear(const Access& a, int net, double half) {
        const Pt from = b_.pads[a.pad].at, to = At(a.node);
        const int l = LayerOf(a.node);
        if (!a.bent)
            return buckets_->Clear(from, to, half, ClearanceOf(net), net, l, false);
        return buckets_->Clear(from, a.bend, half, ClearanceOf(net), net, l, false, kAxisSafety) &&
               buckets_->Clear(a.bend, to, half, ClearanceOf(net), net, l, false);
    }

    // ---- negotiated congestion
    // Every net is routed as if the routes of the other nets were not
    // there; nodes near another net's route cost more the more nets crowd
    // them (the present cost, rising each pass) and the more often they were
    // fought over before (the history cost). Nets whose routes still crowd
    // another's are ripped up and routed again, until none do or the passes
    // run out. Then the routes are committed net by net with the exact
    // checks; what does not pass is routed again against what is there.
    std::vector<int> NegotiatedRound(RouteResult& result, int& done, int total) {
        ResetBoard();
        BuildAccess();
        const std::size_t nodes = plane_ * layers_;
        occupied_.assign(nodes, 0);
        history_.assign(nodes, 0);
        routedNodes_.assign(connections_.size(), {});
        // The nets in routing order: fewest pads first, then shortest.
        netConnections_.assign(b_.nets.size(), {});
        std::vector<std::vector<int>>& netConnections = netConnections_;
        std::vector<double> netLength(b_.nets.size(), 0);
        for (int c = 0; c < static_cast<int>(connections_.size()); ++c) {
            netConnections[connections_[c].net].push_back(c);
            netLength[connections_[c].net] += connections_[c].length;
        }
        std::vector<int> nets;
        for (int n = 0; n < static_cast<int>(b_.nets.size()); ++n)
            if (!netConnections[n].empty())
                nets.push_back(n);
        std::stable_sort(nets.begin(), nets.end(), [&](int a, int b) {
            if (b_.nets[a].pads.size() != b_.nets[b].pads.size())
                return b_.nets[a].pads.size() < b_.nets[b].pads.size();
            return netLength[a] < netLength[b];
        });
        Joins joins = Prejoined();
        std::vector<char> crowded(b_.nets.size(), 1);
        negotiating_ = true;
        present_ = static_cast<float>(o_.presentStart);
        int pass = 0, fewestCrowded = std::numeric_limits<int>::max(), lastGain = 0;
        const long start = expansions_;
        long firstPass = 0;
        for (; pass < o_.negotiations; ++pass) {
            if (o_.cancelled && o_.cancelled()) {
                result.cancelled = true;
                break;
            }
            if (o_.progress)
                o_.progress(++done, total);
            now_.stage = "negotiation pass " + std::to_string(pass + 1);
            for (int n : nets) {
                if (!crowded[n])
                    continue;
                if (o_.cancelled && o_.cancelled()) { // between nets: every net whole
                    result.cancelled = true;
                    break;
                }
                Stamp(n, -1);
                for (int p : b_.nets[n].pads)
                    joins.parent[p] = preRoot_[p];
                for (int c : netConnections[n]) {
                    routedNodes_[c].clear();
                    if (joins.Find(connections_[c].from) != joins.Find(connections_[c].to))
                        RouteConnection(c, joins, result);
                }
                Stamp(n, +1);
                Tick();
            }
            if (result.cancelled)
                break;
            if (pass == 0)
                firstPass = std::max(expansions_ - start, kCheapWork / kNegotiationBudget);
            // Which nets still crowd another; their nodes get dearer.
            int crowdedNets = 0;
            for (int n : nets) {
                Stamp(n, -1);
                crowded[n] = Crowded(n, true);
                crowdedNets += crowded[n] ? 1 : 0;
                Stamp(n, +1);
            }
            // Routed here: a path found, crowded or not; no via is laid yet.
            int unjoined = 0;
            for (const Connection& con : connections_)
                unjoined += joins.Find(con.from) != joins.Find(con.to) ? 1 : 0;
            now_ = {"negotiation pass " + std::to_string(pass + 1) + ", " +
                        std::to_string(crowdedNets) + " nets still crowd others",
                    static_cast<int>(connections_.size()) - unjoined, unjoined, 0};
            Tell();
            if (crowdedNets == 0)
                break;
            // Negotiation that stops making progress only costs time: after
            // a few passes that did not bring the crowded nets a tenth below
            // the fewest so far, the routes are committed as they stand.
            if (static_cast<long>(crowdedNets) * 10 <= static_cast<long>(fewestCrowded) * 9) {
                fewestCrowded = crowdedNets;
                lastGain = pass;
            } else if (pass - lastGain >= kNegotiationPatience) {
                break;
            }
            if (expansions_ - start > kNegotiationBudget * firstPass)
                break;
            present_ *= static_cast<float>(o_.presentGrowth);
        }
        done += std::max(0, o_.negotiations - pass - 1);
        negotiating_ = false;
        // Commit: the routes net by net, each checked exactly.
        std::vector<std::vector<int>> paths(connections_.size());
        for (std::size_t c = 0; c < connections_.size(); ++c)
            paths[c] = std::move(routedNodes_[c]);
        ResetBoard();
        routedNodes_.assign(connections_.size(), {});
        Joins committed = Prejoined();
        std::vector<int> failed;
        for (int n : nets)
            for (int c : netConnections[n]) {
                const Connection& con = connections_[c];
                if (committed.Find(con.from) == committed.Find(con.to))
                    continue;
                if (!paths[c].empty() && EndsHold(c, paths[c], committed) &&
                    Commit(c, paths[c], sourceStub_[paths[c].front()], targetStub_[paths[c].back()],
                           committed, result))
                    continue;
                failed.push_back(c);
            }
        // What did not pass, routed against what is there.
        std::vector<int> open = RouteOpen(failed, committed, result);
        // A connection skipped as joined may have counted on a route that
        // did not pass.
        std::vector<int> still;
        for (std::size_t c = 0; c < connections_.size(); ++c)
            if (committed.Find(connections_[c].from) != committed.Find(connections_[c].to) &&
                std::find(open.begin(), open.end(), static_cast<int>(c)) == open.end())
                still.push_back(static_cast<int>(c));
        for (int c : still) {
            const Connection& con = connections_[c];
            if (committed.Find(con.from) == committed.Find(con.to))
                continue;
            if (result.cancelled || !RouteConnection(c, committed, result))
                open.push_back(c);
        }
        return open;
    }

    // True when both ends of a negotiated path still lie on the components
    // of the connection's pads; leaves the stubs of the ends in
    // sourceStub_ and targetStub_.
    bool EndsHold(int c, const std::vector<int>& path, Joins& joins) {
        ++search_;
        MarkComponent(connections_[c].to, joins, &NodeState::target, nullptr, targetStub_);
        MarkComponent(connections_[c].from, joins, &NodeState::seen, nullptr, sourceStub_);
        return state_[path.front()].seen == search_ && state_[path.back()].target == search_;
    }

    // Adds (+1) or takes away (-1) the nodes the routes of net `n` keep
    // other nets' tracks from: within its half width, its clearance and the
    // widest other track of each track, and as much around each via on
    // every layer.
    void Stamp(int n, int sign) {
        for (int c : netConnections_[n])
            StampPath(routedNodes_[c], n, sign);
    }
    void StampPath(const std::vector<int>& path, int n, int sign) {
        const double reachTrack = b_.nets[n].width / 2 + ClearanceOf(n) + maxTrackHalf_ + o_.safety;
        const double reachVia = ViaRadius(n) + ClearanceOf(n) + maxTrackHalf_ + o_.safety;
        if (path.empty())
            return;
        if (path.size() == 1)
            StampSegment(At(path[0]), At(path[0]), reachTrack, LayerOf(path[0]), sign);
        for (std::size_t k = 0; k + 1 < path.size(); ++k) {
            const int l = LayerOf(path[k]);
            if (LayerOf(path[k + 1]) == l)
                StampSegment(At(path[k]), At(path[k + 1]), reachTrack, l, sign);
            else
                for (int m = 0; m < layers_; ++m)
                    StampSegment(At(path[k]), At(path[k]), reachVia, m, sign);
        }
    }
    void StampSegment(Pt a, Pt b, double reach, int layer, int sign) {
        const int i0 =
            std::max(0, static_cast<int>(std::floor((std::min(a.x, b.x) - reach - x0_) / pitch_)));
        const int i1 = std::min(
            nx_ - 1, static_cast<int>(std::ceil((std::max(a.x, b.x) + reach - x0_) / pitch_)));
        const int j0 =
            std::max(0, static_cast<int>(std::floor((std::min(a.y, b.y) - reach - y0_) / pitch_)));
        const int j1 = std::min(
            ny_ - 1, static_cast<int>(std::ceil((std::max(a.y, b.y) + reach - y0_) / pitch_)));
        // Squared distances: the test runs for every node near every step
        // of every route, pass after pass.
        const double dx = b.x - a.x, dy = b.y - a.y, length2 = dx * dx + dy * dy;
        const double reach2 = reach * reach;
        for (int j = j0; j <= j1; ++j)
            for (int i = i0; i <= i1; ++i) {
                const double px = xs_[i] - a.x, py = ys_[j] - a.y;
                const double t =
                    length2 > 0 ? std::clamp((px * dx + py * dy) / length2, 0.0, 1.0) : 0.0;
                const double ex = px - t * dx, ey = py - t * dy;
                if (ex * ex + ey * ey >= reach2)
                    continue;
                uint16_t& count = occupied_[layer * plane_ + static_cast<std::size_t>(j) * nx_ + i];
                count = static_cast<uint16_t>(count + sign);
            }
    }
    // True when a route of net `n` (its own stamp taken away) runs through
    // a node another net's route keeps; with `learn`, those nodes get
    // dearer for the next passes.
    bool Crowded(int n, bool learn) {
        bool crowded = false;
        for (int c : netConnections_[n])
            for (int node : routedNodes_[c])
                if (occupied_[node] > 0) {
                    crowded = true;
                    if (!learn)
                        return true;
                    history_[node] += static_cast<float>(o_.historyStep);
                }
        return crowded;
    }

    // ---- one round
    std::vector<int> RouteRound(const std::vector<int>& order, RouteResult& result, int& done,
                                int total) {
        ResetBoard();
        BuildAccess();
        Joins joins = Prejoined();
        routedNodes_.assign(connections_.size(), {});
        std::vector<int> failed;
        int tried = 0;
        for (int c : order) {
            ++tried;
            if (result.cancelled || (o_.cancelled && o_.cancelled())) {
                result.cancelled = true;
                failed.push_back(c);
                continue;
            }
            if (o_.progress)
                o_.progress(++done, total);
            const Connection& con = connections_[c];
            if (joins.Find(con.from) == joins.Find(con.to))
                continue;
            if (!RouteConnection(c, joins, result))
                failed.push_back(c);
            Show(result, static_cast<int>(failed.size()), tried);
            Tick();
        }
        return failed;
    }

    // Marks the nodes of the component that holds `pad`: its pads' ways in
    // and the routes already joined to it. A node entered by a stub from a
    // pad's centre remembers that pad in `stubs`.
    void MarkComponent(int pad, Joins& joins, uint32_t NodeState::*mark, std::vector<int>* list,
                       std::vector<int>& stubs) {
        const int root = joins.Find(pad);
        const int net = b_.pads[pad].net;
        const double half = b_.nets[net].width / 2;
        for (int p : b_.nets[net].pads) {
            if (joins.Find(p) != root)
                continue;
            for (int k : access_[p]) {
                const Access& a = accesses_[k];
                const int node = a.node;
                if (!NodeUsable(node, Slack(node, net, half)))
                    continue;
                if (a.stub && !StubClear(a, net, half))
                    continue;
                if (state_[node].*mark == search_ && stubs[node] < 0)
                    continue; // already entered without a stub
                state_[node].*mark = search_;
                stubs[node] = a.stub ? k : -1;
                if (list)
                    list->push_back(node);
            }
        }
        for (std::size_t c = 0; c < connections_.size(); ++c)
            if (!routedNodes_[c].empty() && connections_[c].net == net &&
                joins.Find(connections_[c].from) == root)
                for (int node : routedNodes_[c]) {
                    state_[node].*mark = search_;
                    stubs[node] = -1;
                    if (list)
                        list->push_back(node);
                }
    }

    bool RouteConnection(int c, Joins& joins, RouteResult& result) {
        std::vector<int> path;
        if (!Search(c, joins, path))
            return false;
        if (negotiating_) {
            routedNodes_[c] = std::move(path);
            joins.Join(connections_[c].from, connections_[c].to);
            return true;
        }
        return Commit(c, path, sourceStub_[path.front()], targetStub_[path.back()], joins, result);
    }

    // The cost of a step along x, along y and along both at once, per unit
    // of travel each way, on one layer (travel_) and the least of them over
    // the layers (cheapest_).
    struct StepCosts {
        double x = 1, y = 1, both = std::sqrt(2.0);
    };
    std::vector<StepCosts> travel_;
    StepCosts cheapest_;
    void SetStepCosts() {
        travel_.assign(layers_, {});
        const double wrong = 1 + o_.wrongWayFactor, wrongDiagonal = 1 + o_.wrongWayFactor * 0.5;
        cheapest_ = StepCosts{1e300, 1e300, 1e300};
        for (int l = 0; l < layers_; ++l) {
            StepCosts& c = travel_[l];
            if (b_.layers[l].direction == Direction::Horizontal)
                c = {1, wrong, std::sqrt(2.0) * wrongDiagonal};
            else if (b_.layers[l].direction == Direction::Vertical)
                c = {wrong, 1, std::sqrt(2.0) * wrongDiagonal};
            cheapest_.x = std::min(cheapest_.x, c.x);
            cheapest_.y = std::min(cheapest_.y, c.y);
            cheapest_.both = std::min(cheapest_.both, c.both);
        }
    }
    // The least cost of travelling dx along x and dy along y: straight runs,
    // or as many diagonal steps as fit and straight runs for the rest.
    static double Travel(const StepCosts& c, double dx, double dy) {
        const double m = std::min(dx, dy);
        return std::min(dx * c.x + dy * c.y, m * c.both + (dx - m) * c.x + (dy - m) * c.y);
    }

    // A step of a track of `net` from node u (with slack su) to its
    // neighbour v on layer l: room at both ends for the whole step is
    // enough; short of that (a track leaving a pad between its neighbours)
    // the step is measured exactly.
    bool CanStep(std::size_t u, float su, std::size_t v, int d, int net, double half, int l) {
        return StepClear(u, su, v, Slack(v, net, half), d, net, half, l);
    }
    // The same with the slack of v known. A node on a grid line through
    // pad centres may lie exactly at the clearance, and a step along such a
    // line or from or to such a node may keep exactly the clearance,
    // checked exactly; other steps keep the usual margin.
    bool StepClear(std::size_t u, float su, std::size_t v, float sv, int d, int net, double half,
                   int l) {
        if (!NodeUsable(v, sv))
            return false;
        if (su >= 0 && sv >= 0 && su + sv >= ((d & 1) ? diagReach_ : straightReach_))
            return true;
        if (OnExactLine(v, d))
            return buckets_->Clear(At(u), At(v), half, ClearanceOf(net), net, l, false,
                                   kAxisSafety);
        if ((su < 0 && OnExactLine(u)) || sv < 0)
            return TightClear(At(u), At(v), half, net, l);
        return buckets_->Clear(At(u), At(v), half, ClearanceOf(net), net, l, false, o_.safety);
    }
    // A step at exactly the clearance that does not run along a line through
    // pad centres: clear where it lies and where it is written.
    bool TightClear(Pt a, Pt b, double half, int net, int l) {
        return buckets_->Clear(a, b, half, ClearanceOf(net), net, l, false, kAxisSafety) &&
               buckets_->Clear(AsWritten(a), AsWritten(b), half, ClearanceOf(net), net, l, false,
                               kAxisSafety);
    }
    // Whether a step in direction d onto node v runs along a grid line
    // through pad centres.
    bool OnExactLine(std::size_t v, int d) const {
        if (d & 1)
            return false;
        const std::size_t in = v % plane_;
        return kDy[d] == 0 ? exactY_[in / nx_] != 0 : exactX_[in % nx_] != 0;
    }
    bool OnExactLine(std::size_t v) const {
        const std::size_t in = v % plane_;
        return exactX_[in % nx_] || exactY_[in / nx_];
    }
    // How far below zero the slack of a node on such a line may be: the
    // margin kept against rounding, and what the field's single precision
    // may be off by.
    float Tight() const { return static_cast<float>(o_.safety + 1); }
    // Whether a node may be part of a route at all: room for the track, or
    // on a line through pad centres, room for it at exactly the clearance.
    bool NodeUsable(std::size_t node, float slack) const {
        return slack >= 0 || (slack >= -Tight() && OnExactLine(node));
    }

    // True when the free room around the target, as far as legal steps and
    // vias lead from it, closes up within `budget` nodes without meeting a
    // node the search from the sources has seen: the target is walled in,
    // and the search would only flood the rest of the board to learn that.
    // The steps are the search's own, which read the same both ways.
    bool WalledIn(const std::vector<int>& targets, int net, double half, std::size_t budget) {
        ++flood_;
        std::vector<int>& queue = floodQueue_;
        queue.clear();
        for (int t : targets)
            if (flooded_[t] != flood_) {
                flooded_[t] = flood_;
                queue.push_back(t);
            }
        for (std::size_t head = 0; head < queue.size(); ++head) {
            if (queue.size() > budget)
                return false;
            const std::size_t u = static_cast<std::size_t>(queue[head]);
            if (state_[u].seen == search_)
                return false; // reached from a source
            const int l = LayerOf(u);
            const std::size_t in = u % plane_;
            const int i = static_cast<int>(in % nx_), j = static_cast<int>(in / nx_);
            const float su = Slack(u, net, half);
            auto reach = [&](std::size_t v) {
                flooded_[v] = flood_;
                queue.push_back(static_cast<int>(v));
            };
            for (int d = 0; d < kDirs; ++d) {
                const int ni = i + kDx[d], nj = j + kDy[d];
                if (ni < 0 || nj < 0 || ni >= nx_ || nj >= ny_)
                    continue;
                const std::size_t v = l * plane_ + static_cast<std::size_t>(nj) * nx_ + ni;
                if (flooded_[v] != flood_ && CanStep(u, su, v, d, net, half, l))
                    reach(v);
            }
            if (layers_ > 1 && ViaFits(in, net))
                for (int k = 0; k < layers_; ++k) {
                    const std::size_t v = k * plane_ + in;
                    if (k != l && flooded_[v] != flood_ && Slack(v, net, half) >= 0)
                        reach(v);
                }
        }
        return true;
    }

    // A* from the component of the connection's first pad to the component
    // of its second. While negotiating, the routes of other nets are no
    // obstacle but a cost; otherwise they block.
    bool Search(int c, Joins& joins, std::vector<int>& path) {
        const Connection& con = connections_[c];
        const int net = con.net;
        const double half = b_.nets[net].width / 2;
        ++search_;
        std::vector<int> sources, targets;
        MarkComponent(con.to, joins, &NodeState::target, &targets, targetStub_);
        MarkComponent(con.from, joins, &NodeState::seen, &sources, sourceStub_);
        if (sources.empty() || targets.empty() || WalledIn(targets, net, half, kFirstFlood))
            return false;
        const Pt goal = b_.pads[con.to].at;
        // What is left at least: the travel on the node's own layer at its
        // costs, or a via and the travel at the cheapest costs any layer
        // offers each way. Both never overrate a step, so the estimate
        // stays consistent and the search finds the cheapest route while it
        // no longer spreads sideways on a layer whose direction does not fit.
        const bool vias = layers_ > 1 && ViaRadius(net) > 0;
        const double viaLeast = o_.viaCost * pitch_;
        const double hw = negotiating_ ? negotiationWeight_ : estimateWeight_;
        auto estimate = [&](int layer, int i, int j) {
            const double dx = std::fabs(xs_[i] - goal.x);
            const double dy = std::fabs(ys_[j] - goal.y);
            double least = Travel(travel_[layer], dx, dy);
            if (vias)
                least = std::min(least, viaLeast + Travel(cheapest_, dx, dy));
            return static_cast<float>(least * hw);
        };
        auto h = [&](std::size_t node) {
            const std::size_t in = node % plane_;
            return estimate(LayerOf(node), static_cast<int>(in % nx_), static_cast<int>(in / nx_));
        };
        using Entry = std::pair<float, int>;
        std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> open;
        std::sort(sources.begin(), sources.end());
        sources.erase(std::unique(sources.begin(), sources.end()), sources.end());
        for (int s : sources) {
            state_[s].g = 0;
            state_[s].parent = -1;
            state_[s].dir = kNoDir;
            state_[s].lastVia = -1;
            state_[s].seen = search_;
            open.push({h(s), s});
        }
        const double diag = std::sqrt(2.0) * pitch_;
        const float viaCost = static_cast<float>(o_.viaCost * pitch_);
        const float bendCost = static_cast<float>(o_.bendCost * pitch_);
        // The room a node must leave (as Slack() measures it) and, per layer
        // and direction, what a step costs before congestion.
        const float need = Need(half), needPlain = NeedPlain(net, half);
        const bool aboveLeast = AboveLeast(net);
        auto slack = [&](std::size_t node) {
            const float d = (n1_[node] == net ? d2_[node] : d1_[node]) - need;
            return aboveLeast ? std::min(d, (m1_[node] == net ? r2_[node] : r1_[node]) - needPlain)
                              : d;
        };
        std::vector<double>& stepCost = stepCost_;
        stepCost.assign(static_cast<std::size_t>(layers_) * kDirs, 0);
        for (int l = 0; l < layers_; ++l)
            for (int d = 0; d < kDirs; ++d) {
                double cost = (d & 1) ? diag : pitch_;
                const Direction way = b_.layers[l].direction;
                if (way == Direction::Horizontal && kDy[d] != 0)
                    cost *= 1 + o_.wrongWayFactor * (kDx[d] != 0 ? 0.5 : 1.0);
                else if (way == Direction::Vertical && kDx[d] != 0)
                    cost *= 1 + o_.wrongWayFactor * (kDy[d] != 0 ? 0.5 : 1.0);
                stepCost[static_cast<std::size_t>(l) * kDirs + d] = cost;
            }
        long expansions = 0, nextFlood = 4 * static_cast<long>(kFirstFlood);
        int found = -1;
        while (!open.empty()) {
            const int u = open.top().second;
            open.pop();
            if (state_[u].closed == search_)
                continue;
            state_[u].closed = search_;
            if (state_[u].target == search_) {
                found = u;
                break;
            }
            if (++expansions > o_.expansionsPerSearch)
                break;
            // A search that grows long floods around the target again, each
            // time as far as it went itself: a walled-in target costs the
            // search a few times the room around the target, not the board.
            if (expansions == nextFlood) {
                if (WalledIn(targets, net, half, static_cast<std::size_t>(nextFlood)))
                    break;
                nextFlood *= 4;
            }
            const int l = LayerOf(u);
            const std::size_t in = u % plane_;
            const int i = static_cast<int>(in % nx_), j = static_cast<int>(in / nx_);
            const float su = slack(static_cast<std::size_t>(u));
            const double* costs = &stepCost[static_cast<std::size_t>(l) * kDirs];
            const float gu = state_[u].g;
            const uint8_t du = state_[u].dir;
            for (int d = 0; d < kDirs; ++d) {
                const int ni = i + kDx[d], nj = j + kDy[d];
                if (ni < 0 || nj < 0 || ni >= nx_ || nj >= ny_)
                    continue;
                const std::size_t v = l * plane_ + static_cast<std::size_t>(nj) * nx_ + ni;
                if (state_[v].closed == search_)
                    continue;
                // Room at both ends for the whole step is enough; short of
                // that (a track leaving a pad between its neighbours) the
                // step is measured exactly.
                if (!StepClear(static_cast<std::size_t>(u), su, v, slack(v), d, net, half, l))
                    continue;
                double cost = costs[d];
                if (negotiating_)
                    cost *= (1 + history_[v]) * (1 + present_ * occupied_[v]);
                float g = gu + static_cast<float>(cost);
                if (du != kNoDir && du != d)
                    g += bendCost;
                if (state_[v].seen != search_ || g < state_[v].g) {
                    state_[v].seen = search_;
                    state_[v].g = g;
                    state_[v].parent = static_cast<int>(u);
                    state_[v].dir = static_cast<uint8_t>(d);
                    state_[v].lastVia = state_[u].lastVia;
                    open.push({g + estimate(l, ni, nj), static_cast<int>(v)});
                }
            }
            if (layers_ > 1 && ViaFits(in, net) && ApartFromLastVia(state_[u].lastVia, in, net)) {
                for (int k = 0; k < layers_; ++k) {
                    if (k == l)
                        continue;
                    const std::size_t v = k * plane_ + in;
                    if (state_[v].closed == search_ || slack(v) < 0)
                        continue;
                    float g = gu + viaCost;
                    if (negotiating_)
                        for (int m = 0; m < layers_; ++m) {
                            const std::size_t w = m * plane_ + in;
                            g += static_cast<float>(pitch_ *
                                                    (history_[w] + present_ * occupied_[w]));
                        }
                    if (state_[v].seen != search_ || g < state_[v].g) {
                        state_[v].seen = search_;
                        state_[v].g = g;
                        state_[v].parent = static_cast<int>(u);
                        state_[v].dir = kNoDir;
                        state_[v].lastVia = static_cast<int>(in);
                        open.push({g + estimate(k, i, j), static_cast<int>(v)});
                    }
                }
            }
        }
        expansions_ += expansions;
        if (found < 0)
            return false;
        path.clear();
        for (int v = found; v >= 0; v = state_[v].parent)
            path.push_back(v);
        std::reverse(path.begin(), path.end());
        return true;
    }

    bool Commit(int c, const std::vector<int>& path, int fromStub, int toStub, Joins& joins,
                RouteResult& result) {
        const Connection& con = connections_[c];
        const int net = con.net;
        const double width = b_.nets[net].width, half = width / 2;
        std::vector<RouteTrack> tracks;
        // Per track: 0 keeps the usual margin, 1 runs along a line through pad
        // centres, 2 keeps exactly the clearance off those lines.
        std::vector<char> fit;
        std::vector<RouteVia> vias;
        // Runs on one layer become tracks, corners kept, straight runs merged.
        std::size_t k = 0;
        while (k < path.size()) {
            std::size_t e = k;
            while (e + 1 < path.size() && LayerOf(path[e + 1]) == LayerOf(path[k]))
                ++e;
            const int layer = LayerOf(path[k]);
            std::size_t s = k;
            while (s < e) {
                std::size_t t = s + 1;
                const Pt a = At(path[s]);
                const Pt step{At(path[t]).x - a.x, At(path[t]).y - a.y};
                // Steps the same way on the grid (lines moved onto pad
                // centres make them a little unequal in length).
                auto way = [&](std::size_t from) {
                    const long u = path[from] % static_cast<long>(plane_),
                               v = path[from + 1] % static_cast<long>(plane_);
                    return std::pair<long, long>{v % nx_ - u % nx_, v / nx_ - u / nx_};
                };
                while (t + 1 <= e && way(t) == way(s))
                    ++t;
                tracks.push_back({net, layer, a, At(path[t]), width});
                const std::size_t in = static_cast<std::size_t>(path[s]) % plane_;
                bool tight = false;
                for (std::size_t n = s; n <= t && !tight; ++n)
                    tight = Slack(static_cast<std::size_t>(path[n]), net, half) < 0 &&
                            OnExactLine(static_cast<std::size_t>(path[n]));
                const bool along =
                    (step.y == 0 && exactY_[in / nx_]) || (step.x == 0 && exactX_[in % nx_]);
                fit.push_back(along ? 1 : tight ? 2 : 0);
                s = t;
            }
            if (e + 1 < path.size())
                vias.push_back({net, At(path[e])});
            k = e + 1;
        }
        const int stubs[2] = {fromStub, toStub};
        const int ends[2] = {path.front(), path.back()};
        std::vector<RouteTrack> axes; // the straight parts of bent stubs
        for (int k2 = 0; k2 < 2; ++k2)
            if (stubs[k2] >= 0) {
                const Access& a = accesses_[stubs[k2]];
                Pt from = b_.pads[a.pad].at;
                const Pt to = At(ends[k2]);
                if (a.bent) {
                    axes.push_back({net, LayerOf(ends[k2]), from, a.bend, width});
                    from = a.bend;
                }
                if (std::hypot(to.x - from.x, to.y - from.y) > 0.5)
                    tracks.push_back({net, LayerOf(ends[k2]), from, to, width});
            }
        // Every piece checked against the real shapes before it is kept.
        for (std::size_t k2 = 0; k2 < tracks.size(); ++k2) {
            const RouteTrack& t = tracks[k2];
            const char how = k2 < fit.size() ? fit[k2] : 0;
            const bool clear = how == 2
                                   ? TightClear(t.a, t.b, half, net, t.layer)
                                   : buckets_->Clear(t.a, t.b, half, ClearanceOf(net), net, t.layer,
                                                     false, how == 1 ? kAxisSafety : o_.safety);
            if (!clear)
                return false;
        }
        for (const RouteTrack& t : axes)
            if (!buckets_->Clear(t.a, t.b, half, ClearanceOf(net), net, t.layer, false,
                                 kAxisSafety))
                return false;
        tracks.insert(tracks.end(), axes.begin(), axes.end());
        for (const RouteVia& v : vias)
            if (!buckets_->Clear(v.at, v.at, ViaRadius(net), ClearanceOf(net), net, 0, true) ||
                !buckets_->DrillApart(v.at, b_.ViaHoleOf(net) / 2, b_.holeGap))
                return false;
        // The path's own vias keep the hole gap between them too.
        for (std::size_t k = 0; k < vias.size(); ++k)
            for (std::size_t m = k + 1; m < vias.size(); ++m)
                if (std::hypot(vias[k].at.x - vias[m].at.x, vias[k].at.y - vias[m].at.y) <
                    b_.ViaHoleOf(net) + b_.holeGap)
                    return false;
        const uint32_t all = layers_ >= 32 ? 0xFFFFFFFFu : (1u << layers_) - 1;
        for (const RouteTrack& t : tracks) {
            Obstacle o;
            o.shape.points = {t.a, t.b};
            o.shape.radius = half;
            o.kind = kTrackKind;
            o.net = net;
            o.clearance = ClearanceOf(net);
            o.layers = 1u << t.layer;
            Raster(o);
            buckets_->Add(o);
        }
        for (const RouteVia& v : vias) {
            Obstacle o;
            o.shape.points = {v.at};
            o.shape.radius = ViaRadius(net);
            o.kind = kViaKind;
            o.holeSize = b_.ViaHoleOf(net);
            o.drill = b_.ViaHoleOf(net) / 2;
            o.net = net;
            o.clearance = ClearanceOf(net);
            o.layers = all;
            Raster(o);
            buckets_->Add(o);
        }
        routedNodes_[c] = path;
        routedStubs_[c] = {fromStub, toStub};
        commitOrder_.push_back(c);
        joins.Join(con.from, con.to);
        result.tracks.insert(result.tracks.end(), tracks.begin(), tracks.end());
        result.vias.insert(result.vias.end(), vias.begin(), vias.end());
        return true;
    }
};

// Links between pads of a net close to each other (neighbouring pins of a
// part, a part and the one beside it), straight from one pad's centre to
// the other's or with one bend (along x or y, or at 45 degrees, then
// straight), checked exactly against all other copper: they reach pads
// between close neighbours that no grid line gets onto. Each joins two
// pads the board's copper and the links before it do not join yet,
// shortest first; a link keeps exactly the clearance at most, as a track
// straight out of a pad does, its ends being the pads' centres. `joined`
// gets the number of pads joined so.
std::vector<RouteTrack> DirectLinks(const RouteBoard& board, int& joined) {
    std::vector<RouteTrack> links;
    const int layers = static_cast<int>(board.layers.size());
    double reach = 0;
    for (const RouteNet& net : board.nets)
        reach = std::max(reach, net.width + std::max(net.clearance, board.clearance));
    // Pairs of a net's pads no farther apart than a few tracks and their
    // clearances.
    struct Pair {
        double length;
        int a, b;
    };
    std::vector<Pair> pairs;
    for (const RouteNet& net : board.nets) {
        const double most = kLinkReach * (net.width + std::max(net.clearance, board.clearance));
        std::vector<int> pads = net.pads;
        std::sort(pads.begin(), pads.end(), [&](int a, int b) {
            return board.pads[a].at.x < board.pads[b].at.x ||
                   (board.pads[a].at.x == board.pads[b].at.x && a < b);
        });
        for (std::size_t i = 0; i < pads.size(); ++i)
            for (std::size_t j = i + 1; j < pads.size(); ++j) {
                const Pt p = board.pads[pads[i]].at, q = board.pads[pads[j]].at;
                if (q.x - p.x > most)
                    break;
                const double length = std::hypot(q.x - p.x, q.y - p.y);
                if (length <= most && length > 0)
                    pairs.push_back({length, pads[i], pads[j]});
            }
    }
    if (pairs.empty())
        return links;
    std::stable_sort(pairs.begin(), pairs.end(),
                     [](const Pair& x, const Pair& y) { return x.length < y.length; });
    Box box;
    for (const RoutePad& pad : board.pads)
        box.Add(pad.at.x, pad.at.y, reach);
    for (const Obstacle& o : board.obstacles) {
        const Box b = o.shape.Bounds();
        if (!b.Empty()) {
            box.Add(b.x0, b.y0);
            box.Add(b.x1, b.y1);
        }
    }
    for (const Pt& p : board.outline)
        box.Add(p.x, p.y);
    const double extent = std::max(box.x1 - box.x0, box.y1 - box.y0);
    Buckets copper(box, std::max(4 * reach, extent / 256), 0);
    std::unique_ptr<PairGaps> gaps;
    if (board.rules) {
        gaps = std::make_unique<PairGaps>(board);
        copper.SetPairGaps(gaps.get());
    }
    for (const Obstacle& o : board.obstacles)
        copper.Add(o);
    const uint32_t all = layers >= 32 ? 0xFFFFFFFFu : (1u << layers) - 1;
    for (std::size_t k = 0; k < board.outline.size() && board.outline.size() >= 3; ++k) {
        Obstacle edge;
        edge.shape.points = {board.outline[k], board.outline[(k + 1) % board.outline.size()]};
        edge.layers = all;
        edge.clearance = board.clearance;
        copper.Add(edge);
    }
    Joins joins(board.pads.size());
    joins.parent = JoinedByCopper(board);
    for (const Pair& pair : pairs) {
        if (joins.Find(pair.a) == joins.Find(pair.b))
            continue;
        const RoutePad& p = board.pads[pair.a];
        const RoutePad& q = board.pads[pair.b];
        if (p.underKeepout || q.underKeepout)
            continue;
        const int net = p.net;
        const double half = board.nets[net].width / 2, clearance = board.nets[net].clearance;
        // The ways: straight, then along x or y first, then at 45 degrees
        // first, each bend at whole board units like the pads' centres.
        const Pt a = p.at, b = q.at;
        const double dx = b.x - a.x, dy = b.y - a.y, m = std::min(std::fabs(dx), std::fabs(dy));
        const double sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
        const Pt bends[] = {
            a, {b.x, a.y}, {a.x, b.y}, {a.x + sx * m, a.y + sy * m}, {b.x - sx * m, b.y - sy * m}};
        bool done = false;
        for (int l = 0; l < layers && !done; ++l) {
            auto has = [&](const RoutePad& pad) {
                return l < static_cast<int>(pad.perLayer.size()) && !pad.perLayer[l].points.empty();
            };
            if (!has(p) || !has(q))
                continue;
            for (const Pt& bend : bends) {
                if (&bend != &bends[0] &&
                    ((bend.x == a.x && bend.y == a.y) || (bend.x == b.x && bend.y == b.y)))
                    continue;
                // Pad centres of a design in mils may lie between the
                // written steps: the link must be clear as written too.
                auto clear = [&](Pt u, Pt v) {
                    return copper.Clear(u, v, half, clearance, net, l, false, kAxisSafety) &&
                           copper.Clear(AsWritten(u), AsWritten(v), half, clearance, net, l, false,
                                        kAxisSafety);
                };
                const bool straight = &bend == &bends[0];
                if (straight ? !clear(a, b) : !clear(a, bend) || !clear(bend, b))
                    continue;
                const double width = board.nets[net].width;
                std::vector<RouteTrack> pieces;
                if (straight)
                    pieces.push_back({net, l, a, b, width});
                else
                    pieces = {{net, l, a, bend, width}, {net, l, bend, b, width}};
                for (const RouteTrack& t : pieces) {
                    Obstacle o;
                    o.shape.points = {t.a, t.b};
                    o.shape.radius = half;
                    o.kind = kTrackKind;
                    o.net = net;
                    o.clearance = clearance;
                    o.layers = 1u << l;
                    copper.Add(o);
                    links.push_back(t);
                }
                joins.Join(pair.a, pair.b);
                ++joined;
                done = true;
                break;
            }
        }
    }
    return links;
}

} // namespace

RouteResult Route(const RouteBoard& board, const RouteOptions& options) {
    if (board.layers.empty() || board.nets.empty()) {
        RouteResult result;
        if (board.layers.empty()) {
            // Every connection stays open.
            for (const RouteNet& net : board.nets)
                result.connections += std::max(static_cast<int>(net.pads.size()) - 1, 0);
            result.open = result.connections;
            result.lines.push_back("nothing routed: the board has no signal layer");
        }
        return result;
    }
    // Short links straight from pad to pad go first, as if the board had
    // them; the grid routes the rest around them.
    int joined = 0;
    const std::vector<RouteTrack> links = DirectLinks(board, joined);
    if (links.empty()) {
        GridRouter router(board, options);
        return router.Run();
    }
    RouteBoard linked = board;
    for (const RouteTrack& t : links) {
        Obstacle copper;
        copper.shape.points = {t.a, t.b};
        copper.shape.radius = t.width / 2;
        copper.kind = kTrackKind;
        copper.net = t.net;
        copper.layers = 1u << t.layer;
        copper.clearance = board.nets[t.net].clearance;
        linked.obstacles.push_back(copper);
    }
    // The links count among the connections routed from the start.
    RouteOptions counted = options;
    if (options.report)
        counted.report = [&options, joined](const RouteProgress& now) {
            RouteProgress shown = now;
            shown.routed += joined;
            options.report(shown);
        };
    GridRouter router(linked, counted);
    RouteResult result = router.Run();
    result.tracks.insert(result.tracks.begin(), links.begin(), links.end());
    result.connections += joined;
    for (const RouteTrack& t : links)
        result.length += std::hypot(t.b.x - t.a.x, t.b.y - t.a.y);
    return result;
}

namespace {

// A piece of copper of a net on a set of layers, for joining by overlap.
struct Item {
    int net;
    uint32_t layers;
    Shape shape;
};

// The pads as items (a through pad is one item on several layers), first
// in `items`, one per pad.
void AddPadItems(const RouteBoard& board, std::vector<Item>& items) {
    for (const RoutePad& pad : board.pads) {
        Item item{pad.net, 0, {}};
        for (std::size_t l = 0; l < pad.perLayer.size(); ++l)
            if (!pad.perLayer[l].points.empty()) {
                item.layers |= 1u << l;
                if (item.shape.points.empty())
                    item.shape = l < pad.core.size() && !pad.core[l].points.empty()
                                     ? pad.core[l]
                                     : pad.perLayer[l];
            }
        items.push_back(item);
    }
}

// Joins the items of one net that overlap on a shared layer; answers, per
// net, its items.
std::vector<std::vector<int>> JoinTouching(const std::vector<Item>& items, std::size_t nets,
                                           Joins& joins) {
    std::vector<std::vector<int>> byNet(nets);
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i].net >= 0 && items[i].net < static_cast<int>(nets))
            byNet[items[i].net].push_back(static_cast<int>(i));
    std::vector<Box> bounds(items.size());
    for (std::size_t i = 0; i < items.size(); ++i)
        bounds[i] = items[i].shape.Bounds();
    // Per net, compare the items pairwise through a sort by x of their boxes.
    for (auto& list : byNet) {
        std::sort(list.begin(), list.end(),
                  [&](int a, int b) { return bounds[a].x0 < bounds[b].x0; });
        for (std::size_t a = 0; a < list.size(); ++a) {
            const Item& p = items[list[a]];
            const Box& pb = bounds[list[a]];
            for (std::size_t b = a + 1; b < list.size(); ++b) {
                const Item& q = items[list[b]];
                const Box& qb = bounds[list[b]];
                if (qb.x0 > pb.x1)
                    break;
                if ((p.layers & q.layers) == 0 || qb.y0 > pb.y1 || qb.y1 < pb.y0)
                    continue;
                // Overlap: the pieces of one against the grown other.
                bool touch = false;
                const auto& pp = p.shape.points;
                if (pp.size() <= 2) {
                    touch =
                        SegmentShapeDistance(pp.front(), pp.back(), q.shape) <= p.shape.radius + 1;
                } else {
                    for (std::size_t e = 0; e < pp.size() && !touch; ++e)
                        touch = SegmentShapeDistance(pp[e], pp[(e + 1) % pp.size()], q.shape) <=
                                p.shape.radius + 1;
                    const auto& qp = q.shape.points;
                    touch = touch || (!qp.empty() && InsidePolygon(pp, qp[0]));
                }
                if (touch)
                    joins.Join(list[a], list[b]);
            }
        }
    }
    return byNet;
}

} // namespace

std::vector<int> JoinedByCopper(const RouteBoard& board) {
    std::vector<Item> items;
    AddPadItems(board, items);
    const std::size_t padCount = items.size();
    for (const Obstacle& o : board.obstacles)
        // A drill may reach past its pad's copper (a hole larger than a
        // small pad): only copper joins pads.
        if (o.net != kNoNet && !o.viaOnly && !o.hole && !o.shape.points.empty())
            items.push_back({o.net, o.layers, o.shape});
    Joins joins(items.size());
    JoinTouching(items, board.nets.size(), joins);
    // Item roots are the smallest index joined, so a pad's root is a pad
    // when the group holds one.
    std::vector<int> root(padCount);
    for (std::size_t p = 0; p < padCount; ++p) {
        const int r = joins.Find(static_cast<int>(p));
        root[p] = static_cast<std::size_t>(r) < padCount ? r : static_cast<int>(p);
    }
    return root;
}

RouteOptions OptionsFor(Effort effort) {
    RouteOptions options;
    switch (effort) {
    case Effort::Low: // two rounds, a short rip-up in the three first ways
        options.rounds = 2;
        options.ripUpGrowth = 1;
        options.staleRounds = 2;
        options.ripUps = 40;
        options.ripUpSteps = 4000000;
        options.ripUpWays = 3;
        break;
    case Effort::Normal:
        break;
    case Effort::High: // more rounds, and a rip-up that goes on as long as it gains
        options.rounds = 20;
        options.staleRounds = 8;
        options.ripUps = 2000;
        options.ripUpSteps = 400000000;
        options.ripUpShare = 8;
        options.ripUpGrowth = 2;
        break;
    }
    return options;
}

bool ParseEffort(const std::string& word, Effort& effort) {
    if (word == "low")
        effort = Effort::Low;
    else if (word == "normal")
        effort = Effort::Normal;
    else if (word == "high")
        effort = Effort::High;
    else
        return false;
    return true;
}

int CountOpen(const RouteBoard& board, const std::vector<RouteTrack>& tracks,
              const std::vector<RouteVia>& vias) {
    // Items: pads, then tracks, then vias; joined when they overlap on a
    // layer and share the net.
    std::vector<Item> items;
    AddPadItems(board, items);
    const std::size_t padCount = items.size();
    for (const RouteTrack& t : tracks)
        items.push_back({t.net, 1u << t.layer, Shape{{t.a, t.b}, t.width / 2}});
    const uint32_t all = board.layers.size() >= 32 ? 0xFFFFFFFFu : (1u << board.layers.size()) - 1;
    for (const RouteVia& v : vias)
        items.push_back({v.net, all, Shape{{v.at}, board.ViaDiameterOf(v.net) / 2}});
    Joins joins(items.size());
    int open = 0;
    for (const std::vector<int>& list : JoinTouching(items, board.nets.size(), joins)) {
        std::vector<int> roots;
        for (int i : list)
            if (static_cast<std::size_t>(i) < padCount)
                roots.push_back(joins.Find(i));
        std::sort(roots.begin(), roots.end());
        roots.erase(std::unique(roots.begin(), roots.end()), roots.end());
        if (!roots.empty())
            open += static_cast<int>(roots.size()) - 1;
    }
    return open;
}

} // namespace Router
