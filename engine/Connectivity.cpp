#include "engine/Connectivity.h"

#include "engine/PadOutlines.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numeric>

namespace corvane {

// ------------------------------------------------------------------ layers

void LayerBits::Set(int32_t layer) {
    if (layer >= 0 && layer < 64)
        low |= uint64_t(1) << layer;
    else if (layer >= 64 && layer < 128)
        high |= uint64_t(1) << (layer - 64);
}

bool LayerBits::Has(int32_t layer) const {
    if (layer >= 0 && layer < 64)
        return (low >> layer) & 1;
    if (layer >= 64 && layer < 128)
        return (high >> (layer - 64)) & 1;
    return false;
}

int32_t LayerBits::First() const {
    if (low)
        return __builtin_ctzll(low);
    if (high)
        return 64 + __builtin_ctzll(high);
    return 0;
}

int32_t LayerBits::FirstShared(const LayerBits& other) const {
    LayerBits both;
    both.low = low & other.low;
    both.high = high & other.high;
    return both.First();
}

bool IsSignalLayer(int32_t layer) {
    return layer >= kTopLayer && layer <= kBottomLayer;
}
bool IsPlaneLayer(int32_t layer) {
    return layer >= 39 && layer <= 54;
}
bool IsCopperLayer(int32_t layer) {
    return IsSignalLayer(layer) || IsPlaneLayer(layer);
}

// ------------------------------------------------------------------ geometry

namespace {

constexpr double kPi = 3.14159265358979323846;
// Largest gap allowed between an arc and the chords that stand for it.
constexpr double kChordError = 5.0;

double Cross(Point o, Point a, Point b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

// Nearest point of segment ab to p.
Point Nearest(Point a, Point b, Point p) {
    const double dx = b.x - a.x, dy = b.y - a.y, l2 = dx * dx + dy * dy;
    double t = l2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / l2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    return {a.x + t * dx, a.y + t * dy};
}

double Dist(Point a, Point b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

bool Crosses(Point a, Point b, Point c, Point d) {
    const double d1 = Cross(a, b, c), d2 = Cross(a, b, d), d3 = Cross(c, d, a), d4 = Cross(c, d, b);
    return ((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0));
}

// Nearest points of two segments: distance and the point between them.
Gap SegmentGap(Point a, Point b, Point c, Point d) {
    if (Crosses(a, b, c, d)) {
        // Where they cross.
        const double t = Cross(c, d, a) / (Cross(c, d, a) - Cross(c, d, b));
        return {0.0, {a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)}};
    }
    Gap best{1e300, {}};
    auto consider = [&](Point p, Point q) {
        const double l = Dist(p, q);
        if (l < best.distance)
            best = {l, {(p.x + q.x) / 2, (p.y + q.y) / 2}};
    };
    consider(a, Nearest(c, d, a));
    consider(b, Nearest(c, d, b));
    consider(Nearest(a, b, c), c);
    consider(Nearest(a, b, d), d);
    return best;
}

bool InPolygon(const Point* poly, uint32_t n, Point p) {
    bool in = false;
    for (uint32_t i = 0, j = n - 1; i < n; j = i++) {
        const Point a = poly[i], b = poly[j];
        if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x)
            in = !in;
    }
    return in;
}

Point Turned(double x, double y, double cx, double cy, double degrees) {
    const double t = degrees * kPi / 180.0, c = std::cos(t), s = std::sin(t);
    return {cx + x * c - y * s, cy + x * s + y * c};
}

// Points along an arc from a1 to a2 degrees (counter-clockwise), with chords
// no farther than kChordError from the curve; `error` is that distance.
std::vector<Point> ArcPoints(double cx, double cy, double r, double a1, double a2, double& error) {
    double span = std::fmod(a2 - a1, 360.0);
    if (!(span > 1e-9))
        span += 360.0;
    if (!std::isfinite(span) || !(r > 0)) {
        error = 0;
        return {{cx, cy}};
    }
    // Chord of angle t has sagitta r (1 - cos(t / 2)).
    double step = 2.0 * std::acos(std::max(-1.0, 1.0 - kChordError / r)) * 180.0 / kPi;
    step = std::clamp(step, 0.5, 45.0);
    const int n = std::max(1, static_cast<int>(std::ceil(span / step)));
    error = r * (1.0 - std::cos(span / n * kPi / 360.0));
    std::vector<Point> out;
    out.reserve(static_cast<size_t>(n) + 1);
    for (int i = 0; i <= n; ++i) {
        const double t = (a1 + span * i / n) * kPi / 180.0;
        out.push_back({cx + r * std::cos(t), cy + r * std::sin(t)});
    }
    return out;
}

// A polygon's outline from its segments (lines and arcs).
std::vector<Point> Contour(const std::vector<PcbApiPolySegment>& segments) {
    std::vector<Point> out;
    for (const PcbApiPolySegment& s : segments) {
        if (s.Kind != 1) {
            out.push_back({static_cast<double>(s.vx), static_cast<double>(s.vy)});
            continue;
        }
        double error = 0;
        std::vector<Point> arc = ArcPoints(s.cx, s.cy, std::fabs(static_cast<double>(s.Radius)),
                                           s.Angle1, s.Angle2, error);
        // Walk it from the end nearer the last point.
        if (!out.empty() && Dist(out.back(), arc.back()) < Dist(out.back(), arc.front()))
            std::reverse(arc.begin(), arc.end());
        out.insert(out.end(), arc.begin(), arc.end());
    }
    if (out.size() > 1 && Dist(out.front(), out.back()) < 1.0)
        out.pop_back();
    return out;
}

} // namespace

Gap Copper::Distance(const Piece& a, const Piece& b) const {
    const Point* pa = Core(a);
    const Point* pb = Core(b);
    Gap g{1e300, {}};
    auto edges = [](const Piece& p) { return p.count >= 3 ? p.count : p.count == 2 ? 1u : 0u; };
    auto edge = [](const Point* core, const Piece& p, uint32_t k, Point& s, Point& e) {
        s = core[k];
        e = p.count >= 3 ? core[(k + 1) % p.count] : core[p.count - 1];
    };
    // A core point inside the other's polygon: they overlap.
    if (b.count >= 3 && InPolygon(pb, b.count, pa[0]))
        return {0.0, pa[0], 0.0};
    if (a.count >= 3 && InPolygon(pa, a.count, pb[0]))
        return {0.0, pb[0], 0.0};
    const uint32_t ea = edges(a), eb = edges(b);
    if (ea == 0 && eb == 0) {
        g = {Dist(pa[0], pb[0]), {(pa[0].x + pb[0].x) / 2, (pa[0].y + pb[0].y) / 2}};
    } else if (ea == 0 || eb == 0) {
        const bool pointA = ea == 0;
        const Point p = pointA ? pa[0] : pb[0];
        const Piece& other = pointA ? b : a;
        const Point* core = pointA ? pb : pa;
        for (uint32_t k = 0; k < edges(other); ++k) {
            Point s, e;
            edge(core, other, k, s, e);
            const Point q = Nearest(s, e, p);
            const double l = Dist(p, q);
            if (l < g.distance)
                g = {l, {(p.x + q.x) / 2, (p.y + q.y) / 2}};
        }
    } else {
        for (uint32_t i = 0; i < ea && g.distance > 0; ++i) {
            Point s1, e1;
            edge(pa, a, i, s1, e1);
            for (uint32_t k = 0; k < eb; ++k) {
                Point s2, e2;
                edge(pb, b, k, s2, e2);
                const Gap one = SegmentGap(s1, e1, s2, e2);
                if (one.distance < g.distance) {
                    g = one;
                    if (g.distance == 0)
                        break;
                }
            }
        }
    }
    g.core = g.distance;
    g.distance = std::max(0.0, g.distance - a.radius - b.radius);
    return g;
}

bool Copper::Inside(const Piece& piece, Point p) const {
    return piece.count >= 3 && InPolygon(Core(piece), piece.count, p);
}

// ------------------------------------------------------------------ objects

namespace {
LayerBits OneLayer(int32_t layer, const BoardRec& board);
}

std::vector<Point> PolygonContour(const std::vector<PcbApiPolySegment>& segments) {
    return Contour(segments);
}

bool PointInPolygon(const std::vector<Point>& polygon, Point p) {
    return polygon.size() >= 3 &&
           InPolygon(polygon.data(), static_cast<uint32_t>(polygon.size()), p);
}

Copper::Copper(uint32_t boardSlot, bool withOutline) {
    Store& s = Store::Get();
    BoardRec& b = s.BoardAt(boardSlot);
    static constexpr int32_t kCopperKinds[] = {kPad,  kVia,    kTrack,   kArc,
                                               kFill, kRegion, kPolygon, kSplitPlane};
    // Most objects are a piece of a point or two: room for that at once, so
    // that a large board's lists are not copied over and over as they grow.
    size_t count = 1;
    for (int32_t kind : kCopperKinds)
        count += b.byKind[kind].count;
    objects.reserve(count);
    pieces.reserve(count);
    points.reserve(count * 2);
    for (int32_t kind : kCopperKinds)
        s.ForEach(b.byKind[kind], kByKind, [&](uint32_t slot) { AddObject(s.At(slot), slot, b); });
    if (withOutline && b.outline != kNone) {
        const auto& body = *static_cast<const PolygonBody*>(s.At(b.outline).body.get());
        outline = Contour(body.segments);
        if (outline.size() >= 3) {
            CopperObject c;
            c.slot = b.outline;
            c.kind = kBoardOutline;
            c.role = CopperRole::kOutline;
            outlineObject = static_cast<uint32_t>(objects.size());
            const LayerBits every = OneLayer(kMultiLayer, b);
            for (size_t i = 0; i < outline.size(); ++i)
                AddPiece(outlineObject, every, 0, {outline[i], outline[(i + 1) % outline.size()]});
            objects.push_back(c);
        } else {
            outline.clear();
        }
    }
    BuildGrid();
}

void Copper::AddPiece(uint32_t object, const LayerBits& layers, double radius,
                      const std::vector<Point>& core) {
    if (core.empty() || layers.Empty())
        return;
    for (const Point& p : core)
        if (!std::isfinite(p.x) || !std::isfinite(p.y))
            return;
    Piece p;
    p.object = object;
    p.layers = layers;
    p.radius = std::max(0.0, radius);
    p.first = static_cast<uint32_t>(points.size());
    p.count = static_cast<uint32_t>(core.size());
    p.box = {core[0].x, core[0].y, core[0].x, core[0].y};
    for (const Point& q : core) {
        p.box.lx = std::min(p.box.lx, q.x);
        p.box.ly = std::min(p.box.ly, q.y);
        p.box.hx = std::max(p.box.hx, q.x);
        p.box.hy = std::max(p.box.hy, q.y);
    }
    p.box.lx -= p.radius, p.box.ly -= p.radius, p.box.hx += p.radius, p.box.hy += p.radius;
    points.insert(points.end(), core.begin(), core.end());
    pieces.push_back(p);
}

namespace {

// The layers an object on `layer` covers: a keep-out layer object covers
// every copper layer.
LayerBits OneLayer(int32_t layer, const BoardRec& board) {
    LayerBits bits;
    if (layer == kKeepOutLayer || layer == kMultiLayer) {
        for (int32_t l = 1; l < kLayerCount; ++l)
            if (IsCopperLayer(l) &&
                (board.layers[l].inStack || l == kTopLayer || l == kBottomLayer))
                bits.Set(l);
    } else if (IsCopperLayer(layer)) {
        bits.Set(layer);
    }
    return bits;
}

// A pad shape at (x, y), turned by `angle`: its core and radius.
std::vector<Point> PadCore(int32_t shape, double x, double y, double xs, double ys, double angle,
                           int32_t cornerPercent, double& radius) {
    const double small = std::min(xs, ys);
    radius = 0;
    if (shape == 1 || shape == 4) { // round: a disc, or an oblong as a capsule
        radius = small / 2;
        const double along = (std::max(xs, ys) - small) / 2;
        if (along <= 0)
            return {{x, y}};
        return xs > ys ? std::vector<Point>{Turned(-along, 0, x, y, angle),
                                            Turned(along, 0, x, y, angle)}
                       : std::vector<Point>{Turned(0, -along, x, y, angle),
                                            Turned(0, along, x, y, angle)};
    }
    const double hx = xs / 2, hy = ys / 2;
    if (shape == 3) { // octagon: corners cut by a quarter of the smaller side
        const double k = small * (1.0 - 1.0 / (1.0 + std::sqrt(2.0))) / 2;
        const double corners[8][2] = {{hx - k, hy},   {-hx + k, hy}, {-hx, hy - k}, {-hx, -hy + k},
                                      {-hx + k, -hy}, {hx - k, -hy}, {hx, -hy + k}, {hx, hy - k}};
        std::vector<Point> out;
        for (const auto& c : corners)
            out.push_back(Turned(c[0], c[1], x, y, angle));
        return out;
    }
    if (shape == 7 || shape == 9) // rounded rectangle: a smaller one grown by the corner
        radius = small * std::clamp(cornerPercent, 0, 100) / 200.0;
    const double ix = std::max(0.0, hx - radius), iy = std::max(0.0, hy - radius);
    if (ix <= 0 && iy <= 0)
        return {{x, y}};
    if (ix <= 0 || iy <= 0)
        return {Turned(-ix, -iy, x, y, angle), Turned(ix, iy, x, y, angle)};
    return {Turned(-ix, -iy, x, y, angle), Turned(ix, -iy, x, y, angle),
            Turned(ix, iy, x, y, angle), Turned(-ix, iy, x, y, angle)};
}

} // namespace

// Long: a case per kind of object, each turning its record into the pieces
// of copper it holds; the cases share the object's common fields read above
// them and the piece list's bookkeeping below them.
void Copper::AddObject(const ObjectRec& o, uint32_t slot, const BoardRec& board) {
    Store& s = Store::Get();
    CopperObject c;
    c.slot = slot;
    c.kind = o.kind;
    c.net = s.NetOf(o);
    c.component = o.container;
    c.layer = o.layer;
    // What lies on the keep-out layer keeps copper out of every layer.
    const bool keepOut =
        (s.Extras(slot).bitField & PCBAPI_BITFIELD_KEEPOUT) != 0 || o.layer == kKeepOutLayer;
    c.role = keepOut ? CopperRole::kKeepOut : CopperRole::kCopper;
    const uint32_t index = static_cast<uint32_t>(objects.size());
    const size_t before = pieces.size();
    const double x = o.x1, y = o.y1;
    switch (o.kind) {
    case kPad: {
        const auto& pad = *static_cast<const PadBody*>(o.body.get());
        const PadShared& p = pad.shared.get();
        c.holeSize = p.holeSize;
        c.smd = o.layer != kMultiLayer;
        c.testPoint = p.testTop || p.testBottom;
        c.role = CopperRole::kCopper;
        auto entry = [&](int32_t layer) { return PcbApiPadEntryLayer(p.mode, layer); };
        const ObjectExtras extras = s.Extras(slot);
        const PadOutline* outline = extras.outline.get();
        std::vector<int32_t> layers;
        if (o.layer == kMultiLayer) {
            for (int32_t l = kTopLayer; l <= kBottomLayer; ++l)
                if (board.layers[l].inStack || l == kTopLayer || l == kBottomLayer)
                    layers.push_back(l);
        } else if (IsSignalLayer(o.layer)) {
            layers.push_back(o.layer);
        }
        // Layers with the same shape share one piece.
        // An entry with a true outline has that copper instead of its shape.
        struct Shape {
            PadLayerEntry e;
            int32_t outlineEntry = 0;
            LayerBits bits;
        };
        std::vector<Shape> shapes;
        for (int32_t l : layers) {
            const int32_t at = entry(l);
            const int32_t outlineEntry = outline && outline->HasEntry(at) ? at : 0;
            const PadLayerEntry& e = pad.layers.At(at);
            if (outlineEntry == 0 && (e.shape == 0 || e.xSize <= 0 || e.ySize <= 0))
                continue;
            auto same = std::find_if(shapes.begin(), shapes.end(), [&](const Shape& sh) {
                return outlineEntry != 0 ? sh.outlineEntry == outlineEntry
                                         : sh.outlineEntry == 0 && sh.e == e;
            });
            if (same == shapes.end())
                shapes.push_back({e, outlineEntry, {}}), same = shapes.end() - 1;
            same->bits.Set(l);
        }
        // Through-hole pads reach the plane layers through their holes.
        if (o.layer == kMultiLayer && !shapes.empty())
            for (int32_t l = 39; l <= 54; ++l)
                if (board.layers[l].inStack)
                    shapes.front().bits.Set(l);
        for (const Shape& sh : shapes) {
            if (sh.outlineEntry != 0) {
                for (const PadOutlinePiece& piece : outline->pieces)
                    if (piece.entry == sh.outlineEntry)
                        AddPiece(index, sh.bits, piece.radius,
                                 PlacedPiece(piece, x, y, p.angle, extras.outlineMirrored));
                continue;
            }
            double radius = 0;
            std::vector<Point> core = PadCore(sh.e.shape, x, y, sh.e.xSize, sh.e.ySize,
                                              pad.shared.get().angle, sh.e.crPct, radius);
            AddPiece(index, sh.bits, radius, core);
        }
        break;
    }
    case kVia: {
        const auto& v = *static_cast<const ViaBody*>(o.body.get());
        c.holeSize = v.holeSize;
        LayerBits bits;
        const int32_t low = std::min(v.lowLayer, v.highLayer),
                      high = std::max(v.lowLayer, v.highLayer);
        for (int32_t l = low; l <= high; ++l)
            if (IsSignalLayer(l) &&
                (board.layers[l].inStack || l == kTopLayer || l == kBottomLayer))
                bits.Set(l);
        if (low <= kTopLayer && high >= kBottomLayer) // through the whole stack
            for (int32_t l = 39; l <= 54; ++l)
                if (board.layers[l].inStack)
                    bits.Set(l);
        AddPiece(index, bits, v.size / 2.0, {{x, y}});
        break;
    }
    case kTrack: {
        const auto& t = *static_cast<const TrackBody*>(o.body.get());
        AddPiece(index, OneLayer(o.layer, board), t.shared.get().width / 2.0,
                 {{x, y}, {static_cast<double>(t.x2), static_cast<double>(t.y2)}});
        break;
    }
    case kArc: {
        const auto& a = *static_cast<const ArcBody*>(o.body.get());
        double span = std::fmod(a.angle2 - a.angle1, 360.0);
        const bool whole = !(span > 1e-9) || std::fabs(a.angle2 - a.angle1) >= 360.0;
        if (keepOut && whole) { // a keep-out circle forbids its whole disc
            AddPiece(index, OneLayer(o.layer, board), a.radius + a.lineWidth / 2.0, {{x, y}});
            break;
        }
        double error = 0;
        std::vector<Point> along = ArcPoints(x, y, a.radius, a.angle1, a.angle2, error);
        for (size_t i = 0; i + 1 < along.size(); ++i)
            AddPiece(index, OneLayer(o.layer, board), a.lineWidth / 2.0 + error,
                     {along[i], along[i + 1]});
        break;
    }
    case kFill: {
        const auto& f = *static_cast<const FillBody*>(o.body.get());
        const double cx = (x + f.x2) / 2, cy = (y + f.y2) / 2;
        const double hx = std::fabs(f.x2 - x) / 2, hy = std::fabs(f.y2 - y) / 2;
        AddPiece(index, OneLayer(o.layer, board), 0,
                 {Turned(-hx, -hy, cx, cy, f.angle), Turned(hx, -hy, cx, cy, f.angle),
                  Turned(hx, hy, cx, cy, f.angle), Turned(-hx, hy, cx, cy, f.angle)});
        break;
    }
    case kRegion: {
        const auto& r = *static_cast<const RegionBody*>(o.body.get());
        if (!keepOut && r.regionKind != 0)
            break; // cut-outs and other non-copper regions
        if (!keepOut && r.polygon.handle != 0)
            c.role = CopperRole::kPour;
        std::vector<Point> core;
        for (const PcbApiPoint& q : r.contour)
            core.push_back({static_cast<double>(q.x), static_cast<double>(q.y)});
        if (core.size() > 1 && Dist(core.front(), core.back()) < 1.0)
            core.pop_back();
        if (core.size() >= 3)
            AddPiece(index, OneLayer(o.layer, board), 0, core);
        break;
    }
    case kPolygon:
    case kSplitPlane: {
        const auto& pg = *static_cast<const PolygonBody*>(o.body.get());
        if (!keepOut)
            c.role = CopperRole::kPour;
        std::vector<Point> core = Contour(pg.segments);
        if (core.size() >= 3)
            AddPiece(index, OneLayer(o.layer, board), 0, core);
        break;
    }
    default:
        break;
    }
    if (pieces.size() > before)
        objects.push_back(c);
}

// ------------------------------------------------------------------ grid

int64_t Copper::CellOf(double v) const {
    return static_cast<int64_t>(std::floor(v / cell_));
}

void Copper::BuildGrid() {
    seen_.assign(pieces.size(), 0);
    if (pieces.empty())
        return;
    // A cell about twice the size of a typical piece.
    std::vector<double> sizes;
    sizes.reserve(pieces.size());
    for (const Piece& p : pieces)
        sizes.push_back(std::max(p.box.hx - p.box.lx, p.box.hy - p.box.ly));
    std::nth_element(sizes.begin(), sizes.begin() + static_cast<long>(sizes.size() / 2),
                     sizes.end());
    cell_ = std::max(10000.0, sizes[sizes.size() / 2] * 2.0);
    sizes = {};
    // The rectangle of cells the pieces of the grid span (a piece too large
    // for it is left to huge_ below).
    int64_t lowX = INT64_MAX, lowY = INT64_MAX, highX = INT64_MIN, highY = INT64_MIN;
    for (const Piece& p : pieces) {
        const int64_t x0 = CellOf(p.box.lx), x1 = CellOf(p.box.hx), y0 = CellOf(p.box.ly),
                      y1 = CellOf(p.box.hy);
        if ((x1 - x0 + 1) * (y1 - y0 + 1) > kMostCells)
            continue;
        lowX = std::min(lowX, x0), highX = std::max(highX, x1);
        lowY = std::min(lowY, y0), highY = std::max(highY, y1);
    }
    // Every cell of the rectangle when they are at most about twice the
    // pieces, as many as the table below would hold.
    const uint64_t most = pieces.size() * 2 + 4096;
    dense_ = lowX <= highX && lowY >= INT32_MIN && highY <= INT32_MAX &&
             static_cast<uint64_t>(highX - lowX) < most &&
             static_cast<uint64_t>(highY - lowY) < most;
    if (dense_) {
        denseColumns_ = static_cast<uint64_t>(highX - lowX) + 1;
        denseRows_ = static_cast<uint64_t>(highY - lowY) + 1;
        dense_ = denseRows_ <= most / denseColumns_;
    }
    size_t used = 0, entries = 0;
    if (dense_) {
        denseX_ = lowX, denseY_ = lowY;
        cells_.assign(denseColumns_ * denseRows_, CellRun{});
    } else {
        // About a cell per piece: room for twice that, grown if need be.
        cells_.assign(std::bit_ceil(std::max<size_t>(pieces.size() * 2, 16)), CellRun{});
    }
    // Each cell's pieces are counted, the runs laid out one after the other,
    // and then filled in the order of the pieces.
    for (uint32_t i = 0; i < pieces.size(); ++i) {
        if (!ForCells(pieces[i].box, [&](int64_t key) {
                CellRun* run = &CellSlot(key);
                if (!dense_ && run->key == kNoCell) {
                    if ((used + 1) * 2 > cells_.size()) { // kept at most half full
                        decltype(cells_) old(cells_.size() * 2);
                        old.swap(cells_);
                        for (const CellRun& kept : old)
                            if (kept.key != kNoCell)
                                CellSlot(kept.key) = kept;
                        run = &CellSlot(key);
                    }
                    run->key = key;
                    ++used;
                }
                ++run->count;
                ++entries;
            }))
            huge_.push_back(i);
    }
    uint32_t next = 0;
    for (CellRun& run : cells_) {
        run.first = next;
        next += run.count;
        run.count = 0;
    }
    cellPieces_.resize(entries);
    for (uint32_t i = 0; i < pieces.size(); ++i)
        ForCells(pieces[i].box, [&](int64_t key) {
            CellRun& run = CellSlot(key);
            cellPieces_[run.first + run.count++] = i;
        });
}

namespace {
// Where a cell's entry is looked for first. Four cells one above the other
// share a line of the cache: a look-up's cells are neighbours, and a large
// board's table is far larger than the cache.
size_t CellHash(int64_t key) {
    uint64_t z = (static_cast<uint64_t>(key) & ~uint64_t{3}) + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<size_t>(z ^ (z >> 31)) << 2 | (static_cast<uint64_t>(key) & 3);
}
} // namespace

// The entry for `key`: the cell's, or the free one of the table where it
// goes. A cell of the rectangle has its own.
Copper::CellRun& Copper::CellSlot(int64_t key) {
    if (dense_)
        return cells_[static_cast<size_t>(DenseIndex(key))];
    const size_t mask = cells_.size() - 1;
    for (size_t at = CellHash(key) & mask;; at = (at + 1) & mask)
        if (cells_[at].key == key || cells_[at].key == kNoCell)
            return cells_[at];
}

const Copper::CellRun* Copper::FindCell(int64_t key) const {
    if (dense_) {
        const int64_t at = DenseIndex(key);
        return at < 0 || cells_[static_cast<size_t>(at)].count == 0
                   ? nullptr
                   : &cells_[static_cast<size_t>(at)];
    }
    if (cells_.empty())
        return nullptr;
    const size_t mask = cells_.size() - 1;
    for (size_t at = CellHash(key) & mask;; at = (at + 1) & mask) {
        if (cells_[at].key == key)
            return &cells_[at];
        if (cells_[at].key == kNoCell)
            return nullptr;
    }
}

// ------------------------------------------------------------------ groups

Groups::Groups(size_t n) : parent_(n) {
    std::iota(parent_.begin(), parent_.end(), 0u);
}

uint32_t Groups::Find(uint32_t i) {
    while (parent_[i] != i) {
        parent_[i] = parent_[parent_[i]];
        i = parent_[i];
    }
    return i;
}

void Groups::Join(uint32_t a, uint32_t b) {
    a = Find(a), b = Find(b);
    if (a != b)
        parent_[std::max(a, b)] = std::min(a, b);
}

void ConnectPlanes(Copper& copper, Groups& groups, uint32_t boardSlot) {
    Store& s = Store::Get();
    BoardRec& b = s.BoardAt(boardSlot);
    // Plane layers given to a net join the vias and through-hole pads of that
    // net: they all reach the plane through their holes.
    std::unordered_map<uint32_t, uint32_t> first; // net slot -> first object on a plane
    bool anyPlane = false;
    std::vector<uint32_t> planeNets;
    for (int32_t l = 39; l <= 54; ++l) {
        const LayerRec& layer = b.layers[l];
        if (!layer.inStack || layer.planeNet.empty())
            continue;
        const uint32_t net = b.netByName.Find(layer.planeNet);
        if (net == kNone)
            continue;
        planeNets.push_back(net);
        anyPlane = true;
    }
    if (!anyPlane)
        return;
    for (uint32_t i = 0; i < copper.objects.size(); ++i) {
        const CopperObject& o = copper.objects[i];
        const bool drilled = o.kind == kVia || (o.kind == kPad && o.layer == kMultiLayer);
        if (!drilled || o.net == kNone ||
            std::find(planeNets.begin(), planeNets.end(), o.net) == planeNets.end())
            continue;
        auto [it, added] = first.emplace(o.net, i);
        if (!added)
            groups.Join(it->second, i);
    }
}

} // namespace corvane
