// The netlist service of the engine: primitives without a net that touch a
// pad with a net take that net, and pass it on to the net-less primitives
// that touch them in turn. A uniform grid over the board keeps each look-up
// local, so the whole update costs about the number of objects.
#include "host/sdk/CorvaneEngine.h"

#include "engine/Model.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <unordered_map>
#include <vector>

using namespace corvane;

namespace {

// Copper layers a primitive occupies: a bit per TV6_Layer 1..82 (bit 0 free).
struct LayerBits {
    uint64_t low = 0, high = 0;
    void Set(int32_t layer) {
        if (layer >= 0 && layer < 64)
            low |= uint64_t(1) << layer;
        else if (layer >= 64 && layer < 128)
            high |= uint64_t(1) << (layer - 64);
    }
    bool Meets(const LayerBits& other) const {
        return (low & other.low) != 0 || (high & other.high) != 0;
    }
};

constexpr int32_t kMultiLayer = 74;
constexpr int32_t kTop = 1;
constexpr int32_t kBottom = 32;

LayerBits CopperLayers() {
    LayerBits bits;
    for (int32_t l = kTop; l <= kBottom; ++l)
        bits.Set(l);
    for (int32_t l = 39; l <= 54; ++l)
        bits.Set(l);
    return bits;
}

// One piece of copper: a segment with a half width (a point for round
// things, a box for pads and fills).
struct Piece {
    uint32_t slot = kNone;
    bool pad = false;
    double ax = 0, ay = 0, bx = 0, by = 0; // segment ends, or box corners (pad, fill)
    double half = 0;                       // half width around the segment
    bool box = false;
    LayerBits layers;
};

double SegmentPointDistance(double ax, double ay, double bx, double by, double px, double py) {
    const double dx = bx - ax, dy = by - ay;
    const double length2 = dx * dx + dy * dy;
    double t = length2 > 0 ? ((px - ax) * dx + (py - ay) * dy) / length2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const double cx = ax + t * dx - px, cy = ay + t * dy - py;
    return std::sqrt(cx * cx + cy * cy);
}

// Distance between a segment and an axis-parallel box (0 when they meet).
double SegmentBoxDistance(const Piece& s, const Piece& b) {
    auto inside = [&](double x, double y) {
        return x >= b.ax && x <= b.bx && y >= b.ay && y <= b.by;
    };
    if (inside(s.ax, s.ay) || inside(s.bx, s.by))
        return 0.0;
    const double corners[4][2] = {{b.ax, b.ay}, {b.bx, b.ay}, {b.bx, b.by}, {b.ax, b.by}};
    double best = 1e300;
    for (int i = 0; i < 4; ++i) {
        const double* p = corners[i];
        const double* q = corners[(i + 1) % 4];
        best = std::min(best, SegmentPointDistance(p[0], p[1], q[0], q[1], s.ax, s.ay));
        best = std::min(best, SegmentPointDistance(p[0], p[1], q[0], q[1], s.bx, s.by));
        best = std::min(best, SegmentPointDistance(s.ax, s.ay, s.bx, s.by, p[0], p[1]));
    }
    return best;
}

double SegmentSegmentDistance(const Piece& a, const Piece& b) {
    // Crossing segments meet; otherwise the nearest end decides.
    auto cross = [](double ox, double oy, double ax, double ay, double bx, double by) {
        return (ax - ox) * (by - oy) - (ay - oy) * (bx - ox);
    };
    const double d1 = cross(a.ax, a.ay, a.bx, a.by, b.ax, b.ay);
    const double d2 = cross(a.ax, a.ay, a.bx, a.by, b.bx, b.by);
    const double d3 = cross(b.ax, b.ay, b.bx, b.by, a.ax, a.ay);
    const double d4 = cross(b.ax, b.ay, b.bx, b.by, a.bx, a.by);
    if (((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0)))
        return 0.0;
    return std::min({SegmentPointDistance(a.ax, a.ay, a.bx, a.by, b.ax, b.ay),
                     SegmentPointDistance(a.ax, a.ay, a.bx, a.by, b.bx, b.by),
                     SegmentPointDistance(b.ax, b.ay, b.bx, b.by, a.ax, a.ay),
                     SegmentPointDistance(b.ax, b.ay, b.bx, b.by, a.bx, a.by)});
}

bool Touch(const Piece& a, const Piece& b) {
    if (!a.layers.Meets(b.layers))
        return false;
    if (a.box && b.box)
        return a.ax <= b.bx && b.ax <= a.bx && a.ay <= b.by && b.ay <= a.by;
    if (a.box)
        return SegmentBoxDistance(b, a) <= b.half;
    if (b.box)
        return SegmentBoxDistance(a, b) <= a.half;
    return SegmentSegmentDistance(a, b) <= a.half + b.half;
}

// The pad as a box around its centre on its layers; a rotated pad takes the
// box around its rotated outline.
bool PadPiece(const ObjectRec& o, Piece& piece) {
    const auto& b = *static_cast<const PadBody*>(o.body.get());
    int32_t xs = std::max({b.topX, b.midX, b.botX}), ys = std::max({b.topY, b.midY, b.botY});
    for (int32_t l = kTop; l <= kBottom; ++l) {
        xs = std::max(xs, b.layers.At(l).xSize);
        ys = std::max(ys, b.layers.At(l).ySize);
    }
    const double radians = b.angle * M_PI / 180.0;
    const double c = std::fabs(std::cos(radians)), s = std::fabs(std::sin(radians));
    const double hx = (xs * c + ys * s) / 2.0, hy = (xs * s + ys * c) / 2.0;
    piece.box = true;
    piece.ax = o.x1 - hx;
    piece.bx = o.x1 + hx;
    piece.ay = o.y1 - hy;
    piece.by = o.y1 + hy;
    if (o.layer == kMultiLayer)
        piece.layers = CopperLayers();
    else
        piece.layers.Set(o.layer);
    return true;
}

bool PrimitivePiece(const ObjectRec& o, Piece& piece) {
    switch (o.kind) {
    case kTrack: {
        const auto& b = *static_cast<const TrackBody*>(o.body.get());
        piece.ax = o.x1, piece.ay = o.y1, piece.bx = b.x2, piece.by = b.y2;
        piece.half = b.width / 2.0;
        piece.layers.Set(o.layer);
        return true;
    }
    case kArc: {
        // The arc's ends and its width: a chord stands for the curve.
        const auto& b = *static_cast<const ArcBody*>(o.body.get());
        const double a1 = b.angle1 * M_PI / 180.0, a2 = b.angle2 * M_PI / 180.0;
        piece.ax = o.x1 + b.radius * std::cos(a1);
        piece.ay = o.y1 + b.radius * std::sin(a1);
        piece.bx = o.x1 + b.radius * std::cos(a2);
        piece.by = o.y1 + b.radius * std::sin(a2);
        piece.half = b.lineWidth / 2.0;
        piece.layers.Set(o.layer);
        return true;
    }
    case kVia: {
        const auto& b = *static_cast<const ViaBody*>(o.body.get());
        piece.ax = piece.bx = o.x1;
        piece.ay = piece.by = o.y1;
        piece.half = b.size / 2.0;
        const int32_t low = std::min(b.lowLayer, b.highLayer),
                      high = std::max(b.lowLayer, b.highLayer);
        for (int32_t l = low; l <= high; ++l)
            piece.layers.Set(l);
        for (int32_t l = 39; l <= 54; ++l)
            piece.layers.Set(l);
        return true;
    }
    case kFill: {
        const auto& b = *static_cast<const FillBody*>(o.body.get());
        piece.box = true;
        piece.ax = std::min(o.x1, b.x2), piece.bx = std::max(o.x1, b.x2);
        piece.ay = std::min(o.y1, b.y2), piece.by = std::max(o.y1, b.y2);
        piece.layers.Set(o.layer);
        return true;
    }
    default:
        return false;
    }
}

// Cells of a uniform grid keyed by their packed coordinates.
class Grid {
public:
    explicit Grid(double cell) : cell_(cell) {}
    template <class F> void ForCells(const Piece& p, F&& f) const {
        const double lx = std::min(p.ax, p.bx) - p.half, hx = std::max(p.ax, p.bx) + p.half;
        const double ly = std::min(p.ay, p.by) - p.half, hy = std::max(p.ay, p.by) + p.half;
        const int64_t cx0 = Cell(lx), cx1 = Cell(hx), cy0 = Cell(ly), cy1 = Cell(hy);
        // A piece wider than many cells is entered in a bounded number of them.
        if ((cx1 - cx0 + 1) * (cy1 - cy0 + 1) > 4096) {
            f(kHuge);
            return;
        }
        for (int64_t x = cx0; x <= cx1; ++x)
            for (int64_t y = cy0; y <= cy1; ++y)
                f((x << 32) ^ (y & 0xFFFFFFFF));
    }
    void Insert(const Piece& p, uint32_t index) {
        ForCells(p, [&](int64_t key) { cells_[key].push_back(index); });
    }
    template <class F> void Near(const Piece& p, F&& f) const {
        ForCells(p, [&](int64_t key) {
            if (auto it = cells_.find(key); it != cells_.end())
                for (uint32_t i : it->second)
                    f(i);
        });
        if (auto it = cells_.find(kHuge); it != cells_.end())
            for (uint32_t i : it->second)
                f(i);
    }

private:
    static constexpr int64_t kHuge = INT64_MIN;
    int64_t Cell(double v) const { return static_cast<int64_t>(std::floor(v / cell_)); }
    double cell_;
    std::unordered_map<int64_t, std::vector<uint32_t>> cells_;
};

} // namespace

extern "C" int32_t Corvane_UpdateFreePrimitiveNets(CorvaneBoard board) {
    Store& s = Store::Get();
    const uint32_t boardSlot = s.BoardSlot(board);
    if (boardSlot == kNone)
        return -1;
    BoardRec& b = s.BoardAt(boardSlot);
    std::vector<Piece> pieces;
    auto collect = [&](int32_t kind) {
        s.ForEach(b.byKind[kind], kByKind, [&](uint32_t slot) {
            const ObjectRec& o = s.At(slot);
            Piece piece;
            piece.slot = slot;
            piece.pad = kind == kPad;
            const bool netted = s.NetOf(o) != kNone;
            // Pads count only with a net; other primitives only without one.
            if (piece.pad ? (netted && PadPiece(o, piece)) : (!netted && PrimitivePiece(o, piece)))
                pieces.push_back(piece);
        });
    };
    for (int32_t kind : {kPad, kTrack, kArc, kVia, kFill})
        collect(kind);
    if (pieces.empty())
        return 0;
    // A cell about the size of a typical piece.
    double extent = 0;
    for (const Piece& p : pieces)
        extent += std::max(std::fabs(p.bx - p.ax), std::fabs(p.by - p.ay)) + 2 * p.half;
    Grid grid(std::max(10000.0, extent / static_cast<double>(pieces.size()) * 2.0));
    for (uint32_t i = 0; i < pieces.size(); ++i)
        grid.Insert(pieces[i], i);

    // Breadth first from the netted pads through the net-less primitives.
    std::vector<uint32_t> netOf(pieces.size(), kNone);
    std::deque<uint32_t> queue;
    for (uint32_t i = 0; i < pieces.size(); ++i)
        if (pieces[i].pad) {
            netOf[i] = s.NetOf(s.At(pieces[i].slot));
            queue.push_back(i);
        }
    int32_t updated = 0;
    while (!queue.empty()) {
        const uint32_t i = queue.front();
        queue.pop_front();
        grid.Near(pieces[i], [&](uint32_t j) {
            if (netOf[j] != kNone || !Touch(pieces[i], pieces[j]))
                return;
            netOf[j] = netOf[i];
            s.SetNet(pieces[j].slot, netOf[i]);
            ++updated;
            queue.push_back(j);
        });
    }
    if (updated)
        b.modified = true;
    return updated;
}
