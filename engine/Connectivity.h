// The copper of a board as shapes, and which of it touches: every pad, track,
// arc, via, fill, region and polygon becomes one or more pieces (a core -- a
// point, a segment or a polygon -- grown by a radius) on the copper layers it
// occupies, filed in a uniform grid so that each look-up stays local. The
// rule check and the netlist service both work on this.
#pragma once

#include "engine/Model.h"

#include <cstdint>
#include <vector>

namespace corvane {

// Copper layers as bits: TV6_Layer 1..82 (bit 0 unused).
struct LayerBits {
    uint64_t low = 0, high = 0;
    void Set(int32_t layer);
    bool Has(int32_t layer) const;
    bool Meets(const LayerBits& other) const {
        return (low & other.low) != 0 || (high & other.high) != 0;
    }
    bool Empty() const { return low == 0 && high == 0; }
    int32_t First() const; // lowest layer, 0 when empty
    int32_t FirstShared(const LayerBits& other) const;
};

constexpr int32_t kTopLayer = 1;
constexpr int32_t kBottomLayer = 32;
constexpr int32_t kKeepOutLayer = 56;
constexpr int32_t kMultiLayer = 74;
bool IsSignalLayer(int32_t layer); // 1..32
bool IsPlaneLayer(int32_t layer);  // 39..54
bool IsCopperLayer(int32_t layer); // either

struct Point {
    double x = 0, y = 0;
};

// Axis-parallel box.
struct Box {
    double lx = 0, ly = 0, hx = 0, hy = 0;
    bool Meets(const Box& o, double grow) const {
        return lx - grow <= o.hx && o.lx <= hx + grow && ly - grow <= o.hy && o.ly <= hy + grow;
    }
};

// What an object is to the check.
enum class CopperRole : uint8_t {
    kCopper,  // conducts, keeps its clearance
    kPour,    // a poured area: joins its own net's copper, gives way to others
    kKeepOut, // forbids copper on its layers
    kOutline, // an edge of the board outline
};

inline bool Conducts(CopperRole role) {
    return role == CopperRole::kCopper || role == CopperRole::kPour;
}

struct CopperObject {
    uint32_t slot = kNone;
    int32_t kind = 0;
    uint32_t net = kNone;       // net slot, kNone for no net
    uint32_t component = kNone; // component slot
    CopperRole role = CopperRole::kCopper;
    int32_t layer = 0;    // the object's own layer field
    int32_t holeSize = 0; // pads and vias
    bool smd = false;     // a pad on one layer
    bool testPoint = false;
};

// One piece of an object's shape.
struct Piece {
    uint32_t object = 0; // index into Copper::objects
    LayerBits layers;
    double radius = 0;  // grown around the core
    uint32_t first = 0; // core points in Copper::points
    uint32_t count = 0; // 1: a disc, 2: a capsule, 3 and more: a polygon
    Box box;            // of the grown core
};

// Distance between the grown shapes of two pieces (0 when they meet), and
// a point between their nearest points.
struct Gap {
    double distance = 0; // between the grown shapes, 0 when they meet
    Point at;
    double core = 0; // between the cores, 0 when they meet
};

class Copper {
public:
    // Reads every copper and keep-out object of the board, and the edges of
    // its outline when asked.
    Copper(uint32_t boardSlot, bool withOutline);

    std::vector<CopperObject> objects;
    std::vector<Piece> pieces;
    std::vector<Point> points;
    uint32_t outlineObject = kNone; // the outline's entry in `objects`
    std::vector<Point> outline;     // its corners

    Gap Distance(const Piece& a, const Piece& b) const;
    // True when `p` lies inside the polygon core of `piece` (3+ points).
    bool Inside(const Piece& piece, Point p) const;
    const Point* Core(const Piece& p) const { return points.data() + p.first; }

    // Calls f(j) for every piece j whose box comes within `grow` of piece
    // i's box (j may repeat across calls, never within one; j != i).
    template <class F> void Near(uint32_t i, double grow, F&& f);
    // Same for any box.
    template <class F> void NearBox(const Box& box, F&& f);
    // True when the grid holds every cell of the rectangle its copper spans.
    bool DenseGrid() const { return dense_; }

private:
    void AddPiece(uint32_t object, const LayerBits& layers, double radius,
                  const std::vector<Point>& core);
    void AddObject(const ObjectRec& o, uint32_t slot, const BoardRec& board);
    void BuildGrid();
    int64_t CellOf(double v) const;
    template <class F> bool ForCells(const Box& box, F&& f) const;
    double cell_ = 1;
    static constexpr int64_t kMostCells = 1024; // of a piece in the grid
    // The grid: the pieces of each cell, one run after the other in
    // cellPieces_ (ascending in each). Where the cells the pieces span are
    // not many more than the pieces, every cell of that rectangle has its
    // run in `cells_`, column after column: neighbouring cells are
    // neighbours in memory, so the look-ups of a walk over a large board's
    // copper stay in the cache. Otherwise (copper far apart, a stray object
    // far off the board) the cells that hold any are found by their key in
    // an open-addressed table; a large board has millions of cells, and a
    // table of runs takes a fraction of a hash map of lists.
    struct CellRun {
        int64_t key = kNoCell;
        uint32_t first = 0, count = 0;
    };
    static constexpr int64_t kNoCell = INT64_MIN; // no cell has this key
    std::vector<CellRun> cells_;                  // the rectangle's cells, or a power of two long
    std::vector<uint32_t> cellPieces_;
    bool dense_ = false;
    int64_t denseX_ = 0, denseY_ = 0; // the rectangle's first column and row
    uint64_t denseColumns_ = 0, denseRows_ = 0;
    CellRun& CellSlot(int64_t key);
    const CellRun* FindCell(int64_t key) const;
    // The entry of a cell in the rectangle, or -1 for a cell outside it.
    int64_t DenseIndex(int64_t key) const {
        const uint64_t column = static_cast<uint64_t>((key >> 32) - denseX_);
        const uint64_t row = static_cast<uint64_t>(static_cast<int32_t>(key) - denseY_);
        if (column >= denseColumns_ || row >= denseRows_)
            return -1;
        return static_cast<int64_t>(column * denseRows_ + row);
    }
    std::vector<uint32_t> huge_; // pieces too large for the grid
    std::vector<uint32_t> seen_; // stamp per piece for the current look-up
    uint32_t stamp_ = 0;
};

// A polygon's corners from its segments (lines and arcs, each arc as chords).
std::vector<Point> PolygonContour(const std::vector<PcbApiPolySegment>& segments);
bool PointInPolygon(const std::vector<Point>& polygon, Point p);

// Union-find over object indexes.
class Groups {
public:
    explicit Groups(size_t n);
    uint32_t Find(uint32_t i);
    void Join(uint32_t a, uint32_t b);

private:
    std::vector<uint32_t> parent_;
};

// Distance under which two pieces count as touching (host units).
constexpr double kTouch = 10.0;

// Joins touching copper that may conduct together: the same net, or copper
// of no net with any (a pour joins only its own net), and vias and
// through-hole pads of a plane layer's net through that plane. Calls
// `other(i, j, gap)` for every pair of pieces of different nets (or netted
// and no net) within `reach` of each other, for the caller to judge.
template <class F> void Connect(Copper& copper, Groups& groups, double reach, F&& other);
void ConnectPlanes(Copper& copper, Groups& groups, uint32_t boardSlot);

// ------------------------------------------------------------------ inline

template <class F> bool Copper::ForCells(const Box& box, F&& f) const {
    const int64_t x0 = CellOf(box.lx), x1 = CellOf(box.hx), y0 = CellOf(box.ly),
                  y1 = CellOf(box.hy);
    if ((x1 - x0 + 1) * (y1 - y0 + 1) > kMostCells)
        return false;
    for (int64_t x = x0; x <= x1; ++x)
        for (int64_t y = y0; y <= y1; ++y)
            f((x << 32) ^ (y & 0xFFFFFFFF));
    return true;
}

template <class F> void Copper::NearBox(const Box& box, F&& f) {
    if (++stamp_ == 0) {
        std::fill(seen_.begin(), seen_.end(), 0);
        stamp_ = 1;
    }
    auto visit = [&](uint32_t j) {
        if (seen_[j] == stamp_)
            return;
        seen_[j] = stamp_;
        if (pieces[j].box.Meets(box, 0))
            f(j);
    };
    const bool local = ForCells(box, [&](int64_t key) {
        if (const CellRun* run = FindCell(key))
            for (uint32_t k = run->first; k < run->first + run->count; ++k)
                visit(cellPieces_[k]);
    });
    if (!local)
        for (uint32_t j = 0; j < pieces.size(); ++j)
            visit(j);
    else
        for (uint32_t j : huge_)
            visit(j);
}

template <class F> void Copper::Near(uint32_t i, double grow, F&& f) {
    Box box = pieces[i].box;
    box.lx -= grow, box.ly -= grow, box.hx += grow, box.hy += grow;
    NearBox(box, [&](uint32_t j) {
        if (j != i)
            f(j);
    });
}

template <class F> void Connect(Copper& copper, Groups& groups, double reach, F&& other) {
    for (uint32_t i = 0; i < copper.pieces.size(); ++i) {
        const Piece& a = copper.pieces[i];
        const CopperObject& oa = copper.objects[a.object];
        if (!Conducts(oa.role))
            continue;
        copper.Near(i, reach, [&](uint32_t j) {
            if (j < i)
                return;
            const Piece& b = copper.pieces[j];
            const CopperObject& ob = copper.objects[b.object];
            if (b.object == a.object || !Conducts(ob.role) || !a.layers.Meets(b.layers))
                return;
            const bool pour = oa.role == CopperRole::kPour || ob.role == CopperRole::kPour;
            const bool sameNet = oa.net == ob.net && oa.net != kNone;
            const bool free = oa.net == kNone || ob.net == kNone;
            if (pour && !sameNet)
                return; // a pour gives way to other copper
            if (!sameNet && free && oa.net == ob.net)
                return; // two pieces of no net: nothing to join or judge
            const Gap gap = copper.Distance(a, b);
            if (gap.distance <= kTouch && (sameNet || free))
                groups.Join(a.object, b.object);
            if (!sameNet)
                other(i, j, gap);
        });
    }
}

} // namespace corvane
