#include "router/Router.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

namespace {

using Router::Pt;
using Router::RouteBoard;
using Router::RouteResult;
using Router::SegmentShapeDistance;
using Router::Shape;

constexpr double kMm = 393700.8; // board units per millimetre

// The check below is the test's own: pads as discs or boxes, tracks as
// capsules, every pair of different nets on a shared layer compared by
// brute force.
struct Copper {
    int net;
    uint32_t layers;
    Pt a, b;     // a segment (a == b for a disc), or box corners
    double half; // half width around the segment
    bool box = false;
};

double PointToSegment(Pt p, Pt a, Pt b) {
    const double dx = b.x - a.x, dy = b.y - a.y, l2 = dx * dx + dy * dy;
    const double t = std::clamp(l2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / l2 : 0, 0.0, 1.0);
    return std::hypot(a.x + t * dx - p.x, a.y + t * dy - p.y);
}

// Distance between two segments sampled finely: good to a few board units
// for the lengths used here, and independent of the router's own geometry.
double SegmentToSegment(Pt a, Pt b, Pt c, Pt d) {
    double best = 1e300;
    for (int k = 0; k <= 400; ++k) {
        const double t = k / 400.0;
        best = std::min(best, PointToSegment({a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)}, c, d));
        best = std::min(best, PointToSegment({c.x + t * (d.x - c.x), c.y + t * (d.y - c.y)}, a, b));
    }
    return best;
}

double Gap(const Copper& p, const Copper& q) {
    if (p.box || q.box) {
        const Copper &box = p.box ? p : q, &other = p.box ? q : p;
        Pt edges[4] = {box.a, {box.b.x, box.a.y}, box.b, {box.a.x, box.b.y}};
        double best = 1e300;
        for (int k = 0; k < 4; ++k)
            best = std::min(best, SegmentToSegment(edges[k], edges[(k + 1) % 4], other.a, other.b));
        const Pt m{(other.a.x + other.b.x) / 2, (other.a.y + other.b.y) / 2};
        if (m.x >= box.a.x && m.x <= box.b.x && m.y >= box.a.y && m.y <= box.b.y)
            best = 0;
        return best - other.half;
    }
    return SegmentToSegment(p.a, p.b, q.a, q.b) - p.half - q.half;
}

// A two-layer board 40 x 30 mm with 0.25 mm tracks and 0.2 mm clearance.
RouteBoard EmptyBoard() {
    RouteBoard board;
    board.layers = {{1, "Top", Router::Direction::Horizontal},
                    {32, "Bottom", Router::Direction::Vertical}};
    board.outline = {{0, 0}, {40 * kMm, 0}, {40 * kMm, 30 * kMm}, {0, 30 * kMm}};
    board.clearance = 0.2 * kMm, board.viaDiameter = 0.6 * kMm, board.viaHole = 0.3 * kMm;
    return board;
}

Pt Mm(double x, double y) {
    return {x * kMm, y * kMm};
}

int AddNet(RouteBoard& board, const std::string& name) {
    Router::RouteNet& net = board.nets.emplace_back();
    net.name = name, net.width = 0.25 * kMm, net.clearance = board.clearance;
    return static_cast<int>(board.nets.size()) - 1;
}

// An obstacle at the board's clearance: `points` (board units), `radius` around them.
Router::Obstacle& AddObstacle(RouteBoard& board, std::vector<Pt> points, double radius = 0,
                              uint32_t layers = 3u, int net = Router::kNoNet) {
    Router::Obstacle& o = board.obstacles.emplace_back();
    o.shape.points = std::move(points);
    o.shape.radius = radius, o.net = net, o.layers = layers, o.clearance = board.clearance;
    return o;
}

// A square pad of side `size` mm at (x, y) mm on `layers` (bit per layer);
// with `height`, a rectangle `size` wide and `height` tall, turned by `angle`.
void AddPad(RouteBoard& board, int net, double x, double y, double size, uint32_t layers,
            const std::string& name, double height = 0, double angle = 0) {
    Router::RoutePad pad;
    pad.at = {x * kMm, y * kMm}, pad.net = net, pad.name = name, pad.angle = angle;
    pad.perLayer.resize(board.layers.size());
    for (std::size_t l = 0; l < board.layers.size(); ++l)
        if (layers >> l & 1u) {
            pad.perLayer[l] = Router::PadShape(2, pad.at.x, pad.at.y, size * kMm,
                                               (height > 0 ? height : size) * kMm, angle, 0);
            AddObstacle(board, {}, 0, 1u << l, net).shape = pad.perLayer[l];
        }
    if (net >= 0)
        board.nets[net].pads.push_back(static_cast<int>(board.pads.size()));
    board.pads.push_back(pad);
}

// A net of AddNet's with a pad as AddPad's at each (x, y, name).
int AddNet(RouteBoard& board, const std::string& name, double size, uint32_t layers,
           const std::vector<std::tuple<double, double, std::string>>& pads) {
    const int net = AddNet(board, name);
    for (const auto& [x, y, pad] : pads)
        AddPad(board, net, x, y, size, layers, pad);
    return net;
}

// A top-only wall of net-less pads across the board, edge to edge, at x = 10 mm.
void AddTopWall(RouteBoard& board) {
    for (double y = 0.3; y < 30; y += 0.9)
        AddPad(board, Router::kNoNet, 10, y, 0.8, 1u,
               "W-" + std::to_string(static_cast<int>(y * 10)));
}

std::vector<Copper> CopperOf(const RouteBoard& board, const RouteResult& result) {
    std::vector<Copper> copper;
    for (const auto& pad : board.pads)
        for (std::size_t l = 0; l < pad.perLayer.size(); ++l)
            if (!pad.perLayer[l].points.empty()) {
                Router::Box box = pad.perLayer[l].Bounds();
                copper.push_back({pad.net, 1u << l, {box.x0, box.y0}, {box.x1, box.y1}, 0, true});
            }
    for (const auto& t : result.tracks)
        copper.push_back({t.net, 1u << t.layer, t.a, t.b, t.width / 2});
    for (const auto& v : result.vias)
        copper.push_back({v.net, 3u, v.at, v.at, board.ViaDiameterOf(v.net) / 2});
    return copper;
}

// Pairs of nets nearer than the clearance, and routed copper outside the outline.
int Violations(const RouteBoard& board, const RouteResult& result) {
    const std::vector<Copper> copper = CopperOf(board, result);
    int count = 0;
    for (std::size_t i = 0; i < copper.size(); ++i)
        for (std::size_t j = i + 1; j < copper.size(); ++j) {
            const Copper &p = copper[i], &q = copper[j];
            count += p.net != q.net && (p.layers & q.layers) != 0 && !(p.box && q.box) &&
                     Gap(p, q) < board.clearance - 1;
        }
    for (const auto& t : result.tracks)
        for (const Pt& p : {t.a, t.b})
            count += std::min(p.x, p.y) - t.width / 2 < board.clearance ||
                     p.x + t.width / 2 > 40 * kMm - board.clearance ||
                     p.y + t.width / 2 > 30 * kMm - board.clearance;
    return count;
}

// The smallest gap between copper of `net` and copper of another net on a
// shared layer, of the pairs `pick` takes.
template <typename Pick>
double Nearest(const RouteBoard& board, const RouteResult& result, int net, Pick pick) {
    const std::vector<Copper> copper = CopperOf(board, result);
    double nearest = 1e300;
    for (const Copper& p : copper)
        for (const Copper& q : copper)
            if (p.net == net && q.net != net && (p.layers & q.layers) != 0 && pick(p, q))
                nearest = std::min(nearest, Gap(p, q));
    return nearest;
}

// Every connection routed (else the first line says why), the pads joined
// by the routes, and no copper nearer than the clearance. EXPECT_ROUTED puts
// the caller's line in a failure.
void ExpectRouted(const RouteBoard& board, const RouteResult& result) {
    EXPECT_EQ(result.open, 0) << (result.lines.empty() ? "" : result.lines.front());
    EXPECT_EQ(Router::CountOpen(board, result.tracks, result.vias), 0);
    EXPECT_EQ(Violations(board, result), 0);
}
#define EXPECT_ROUTED(board, result)                                                               \
    do {                                                                                           \
        SCOPED_TRACE("routed");                                                                    \
        ExpectRouted(board, result);                                                               \
    } while (0)

// A row of top pads U1-1... at x = `x` mm from y = 10 mm up, each of its
// own net, and a square pad J1-1... (`size` mm) of each net in a column at
// `far` (mm), `step` mm apart.
struct Row {
    int count;
    double pitch, length, height; // mm; pads `length` along x, `height` along y
    double width, x = 20;         // the nets' track width (0: AddNet's), the row's x; mm
};
void AddRow(RouteBoard& board, const Row& row, Pt far, double step, double size) {
    for (int k = 0; k < row.count; ++k) {
        const int net = AddNet(board, "N" + std::to_string(k));
        if (row.width > 0)
            board.nets[net].width = row.width * kMm;
        AddPad(board, net, row.x, 10 + row.pitch * k, row.length, 1u, "U1-" + std::to_string(k + 1),
               row.height);
        AddPad(board, net, far.x, far.y + step * k, size, 1u, "J1-" + std::to_string(k + 1));
    }
}
// Adds the row and its far pads to `board` and routes it: every net is
// routed, legally, and no line says otherwise.
void ExpectRowRouted(RouteBoard board, const Row& row, Pt far, double step, double size) {
    AddRow(board, row, far, step, size);
    const RouteResult result = Router::Route(board);
    EXPECT_EQ(result.connections, row.count);
    EXPECT_ROUTED(board, result);
    EXPECT_THAT(result.lines, IsEmpty());
}

// One round, with neither negotiation nor completion, and `ripUps` rip-ups.
Router::RouteOptions Greedy(int ripUps = 0) {
    Router::RouteOptions options;
    options.rounds = 1, options.negotiations = 0, options.ripUps = ripUps, options.completeOpen = 0;
    return options;
}

std::string Text(const RouteResult& result) {
    std::ostringstream out;
    out.precision(17);
    for (const auto& t : result.tracks)
        out << t.net << ' ' << t.layer << ' ' << t.a.x << ' ' << t.a.y << ' ' << t.b.x << ' '
            << t.b.y << '\n';
    for (const auto& v : result.vias)
        out << v.net << ' ' << v.at.x << ' ' << v.at.y << '\n';
    return out.str();
}

// Distances between a segment and the shapes pads and copper take, against
// values worked out by hand.
TEST(RouteGeometry, SegmentToShapeDistances) {
    const Shape disc{{{0, 0}}, 5};
    const Shape capsule{{{0, 0}, {10, 0}}, 1};
    const Shape square{{{-2, -2}, {2, -2}, {2, 2}, {-2, 2}}, 0};
    const Shape notch{{{0, 0}, {10, 0}, {10, 10}, {5, 2}, {0, 10}}, 0}; // not convex
    struct Case {
        Pt a, b;
        const Shape* shape;
        double expected;
    } cases[] = {
        {{10, 0}, {10, 0}, &disc, 5},                   // a point 10 from a disc of radius 5
        {{-10, 8}, {10, 8}, &disc, 3},                  // a segment passing 8 from the centre
        {{5, 4}, {5, 9}, &capsule, 3},                  // square to a capsule's side
        {{13, 4}, {20, 4}, &capsule, 4},                // beyond the end: to the end's disc
        {{-5, -5}, {5, 5}, &square, 0},                 // crossing a polygon
        {{0, 0}, {0, 0}, &square, 0},                   // inside a polygon
        {{5, 5}, {5, 5}, &notch, 15 / std::sqrt(89.0)}, // in the notch, outside
    };
    for (const Case& c : cases)
        EXPECT_NEAR(SegmentShapeDistance(c.a, c.b, *c.shape), c.expected, 1e-9)
            << c.a.x << "," << c.a.y << " - " << c.b.x << "," << c.b.y;
}

// A round pad of unequal sides is kept clear as its box, but only its oblong
// is sure copper to connect to; other shapes are what they say.
TEST(RouteGeometry, PadShapesAndCores) {
    const Shape outer = Router::PadShape(1, 0, 0, 20, 10, 0, 0);
    const Shape core = Router::PadCore(1, 0, 0, 20, 10, 0, 0);
    const Pt corner{9.5, 4.5};
    EXPECT_LE(SegmentShapeDistance(corner, corner, outer), 0);
    EXPECT_GT(SegmentShapeDistance(corner, corner, core), 0);
    const Shape turned = Router::PadShape(2, 0, 0, 20, 10, 90, 0); // now 10 wide, 20 high
    EXPECT_NEAR(SegmentShapeDistance({0, 12}, {0, 12}, turned), 2, 1e-9);
    EXPECT_NEAR(SegmentShapeDistance({7, 0}, {7, 0}, turned), 2, 1e-9);
    const Shape round = Router::PadShape(1, 3, 4, 10, 10, 0, 0);
    EXPECT_NEAR(SegmentShapeDistance({3, 14}, {3, 14}, round), 5, 1e-9);
    const Shape rounded = Router::PadShape(9, 0, 0, 20, 10, 0, 50); // corner radius 2.5
    EXPECT_NEAR(SegmentShapeDistance({10, 5}, {10, 5}, rounded), std::hypot(2.5, 2.5) - 2.5, 1e-9);
}

// Each net changes layer through its own via: net A's class gives it one
// that fits, the board's own is wider than the board and fits nowhere, so
// net B, which must cross the same wall, stays open.
TEST(Router, EachNetUsesItsOwnVia) {
    RouteBoard board = EmptyBoard();
    board.viaDiameter = 50 * kMm;
    const int a = AddNet(board, "A", 1.2, 1u, {{3, 15, "U1-1"}, {37, 15, "U2-1"}});
    const int b = AddNet(board, "B", 1.2, 1u, {{3, 5, "U3-1"}, {37, 5, "U4-1"}});
    board.nets[a].viaDiameter = 0.8 * kMm, board.nets[a].viaHole = 0.4 * kMm;
    AddTopWall(board);
    EXPECT_DOUBLE_EQ(board.ViaDiameterOf(a), 0.8 * kMm);
    EXPECT_DOUBLE_EQ(board.ViaHoleOf(a), 0.4 * kMm);
    EXPECT_DOUBLE_EQ(board.ViaDiameterOf(b), 50 * kMm);
    const RouteResult result = Router::Route(board);
    ASSERT_EQ(result.open, 1) << Text(result);
    EXPECT_THAT(result.lines, ElementsAre(HasSubstr("net B:")));
    EXPECT_GE(result.vias.size(), 2u);
    EXPECT_THAT(result.vias, testing::Each(testing::Field(&Router::RouteVia::net, a)));
    EXPECT_EQ(Violations(board, result), 0);
}

// A pad inside a closed ring of keep-out on both layers, with room around
// it inside the ring, is walled in: its connection stays open (found out
// without flooding the board) while the other net routes. Open the ring on
// one side and the same connection routes through the gap.
TEST(Router, WalledInPadStaysOpenAndAGapLetsItOut) {
    for (const bool gap : {false, true}) {
        RouteBoard board = EmptyBoard();
        AddNet(board, "A", 1.5, 3u, {{5, 5, "J1-1"}, {30, 15, "J2-1"}});
        AddNet(board, "B", 1.5, 3u, {{5, 25, "J3-1"}, {20, 25, "J4-1"}});
        // The ring: a 10 mm square around J2-1 drawn with 0.5 mm walls; with
        // `gap`, its left wall stops 3 mm short of the bottom one.
        const Pt corners[4] = {Mm(25, 10), Mm(35, 10), Mm(35, 20), Mm(25, 20)};
        for (int k = 0; k < 4; ++k)
            AddObstacle(board, {corners[k], corners[(k + 1) % 4]}, 0.25 * kMm);
        if (gap) // the left wall, drawn last
            board.obstacles.back().shape.points[1].y += 3 * kMm;
        const RouteResult result = Router::Route(board);
        EXPECT_EQ(result.connections, 2);
        EXPECT_EQ(result.open, gap ? 0 : 1) << (gap ? "with a gap" : "closed ring");
        EXPECT_EQ(Router::CountOpen(board, result.tracks, result.vias), result.open);
        EXPECT_EQ(Violations(board, result), 0);
        if (!gap) {
            EXPECT_THAT(result.lines, ElementsAre(testing::AllOf(
                                          HasSubstr("J2-1"), HasSubstr("pad J2-1 is walled in"))));
        }
    }
}

// Pads a track of their net on the board joins already are one group: the
// router leaves that connection alone and routes the pad the track does not
// reach. A track of another net across them joins nothing.
TEST(Router, LeavesWhatTheBoardsCopperJoinsAlone) {
    RouteBoard board = EmptyBoard();
    const int a = AddNet(board, "A", 1.5, 3u, {{5, 5, "J1-1"}, {20, 5, "J2-1"}, {20, 20, "J3-1"}});
    const int b = AddNet(board, "B", 1.5, 3u, {{5, 25, "J4-1"}, {35, 25, "J5-1"}});
    AddObstacle(board, {Mm(5, 5), Mm(20, 5)}, 0.125 * kMm, 1u, a); // J1-1 to J2-1
    // Through J3-1, but of net B, ending short of J4/J5.
    AddObstacle(board, {Mm(20, 20), Mm(20, 26.5)}, 0.125 * kMm, 1u, b);
    const std::vector<int> groups = Router::JoinedByCopper(board);
    ASSERT_EQ(groups.size(), 5u);
    EXPECT_EQ(groups[0], groups[1]);
    EXPECT_NE(groups[0], groups[2]);
    EXPECT_NE(groups[3], groups[4]);
    const RouteResult result = Router::Route(board);
    EXPECT_EQ(result.connections, 2); // J3-1 to the A group, J4-1 to J5-1
    EXPECT_EQ(result.open, 0);
    EXPECT_EQ(Violations(board, result), 0);
}

// Net A across the top wall, net B across A, top pads only, among drills
// every 5 mm with a hole gap of 2 mm: both are routed, and the vias the wall
// asks for keep 2 mm from every drill's edge and from each other's.
TEST(Router, KeepsTheHoleGapBetweenDrills) {
    RouteBoard board = EmptyBoard();
    AddNet(board, "A", 1.2, 1u, {{3, 15, "U1-1"}, {37, 15, "U2-1"}});
    AddNet(board, "B", 1.2, 1u, {{20, 3, "U3-1"}, {20, 27, "U4-1"}});
    AddTopWall(board);
    board.holeGap = 2 * kMm;
    std::vector<Pt> drills;
    for (double x = 2.5; x < 40; x += 5)
        for (double y = 2.5; y < 30; y += 5) {
            Router::Obstacle& drill = AddObstacle(board, {Mm(x, y)}, 0.2 * kMm);
            drill.drill = 0.2 * kMm, drill.hole = true;
            drills.push_back(drill.shape.points[0]);
        }
    const RouteResult result = Router::Route(board);
    EXPECT_ROUTED(board, result);
    ASSERT_GE(result.vias.size(), 2u);
    const double hole = board.viaHole / 2;
    for (const Router::RouteVia& v : result.vias) {
        for (const Pt& d : drills)
            EXPECT_GE(std::hypot(v.at.x - d.x, v.at.y - d.y) - hole - 0.2 * kMm, 2 * kMm - 1);
        for (const Router::RouteVia& w : result.vias)
            if (&w != &v) {
                EXPECT_GE(std::hypot(v.at.x - w.at.x, v.at.y - w.at.y) - 2 * hole, 2 * kMm - 1);
            }
    }
}

// Two small through pads of one net whose drills overlap but whose copper
// does not: the drills keep other nets away, yet join nothing, so the pads
// still need a track between them.
TEST(Router, DrillsJoinNoCopper) {
    RouteBoard board = EmptyBoard();
    const int a = AddNet(board, "A", 0.3, 3u, {{10, 10, "U1-1"}, {10, 10.6, "U1-2"}});
    for (const Router::RoutePad& pad : board.pads)
        AddObstacle(board, {pad.at}, 0.5 * kMm, 3u, a).hole = true;
    const std::vector<int> groups = Router::JoinedByCopper(board);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_NE(groups[0], groups[1]);
    const RouteResult result = Router::Route(board);
    EXPECT_EQ(result.connections, 1);
    EXPECT_EQ(result.open, 0);
    EXPECT_EQ(Router::CountOpen(board, result.tracks, result.vias), 0);
}

// A row of pads as tall as the track, whose gaps are exactly the clearance
// and whose centres miss the grid: a track may leave each only straight out
// along its axis, exactly at the clearance from both neighbours. Every pad
// gets out, and nothing comes nearer than the clearance.
TEST(Router, LeavesFinePitchPadsAlongTheirAxis) {
    ExpectRowRouted(EmptyBoard(), {5, 0.45, 1.5, 0.25, 0}, {35, 4}, 5, 1.5);
}

// A 0.4 mm pitch QFN-48 (pads 0.8 x 0.2 mm, the exposed pad of another net
// 0.44 mm behind them) whose right side's twelve pins go to pads further
// right, on nets of 0.2 mm tracks at 0.2 mm clearance. Tracks leaving the
// pads side by side keep exactly the clearance; every pin is routed, and
// nothing comes nearer than that.
TEST(Router, LeavesAFinePitchRowSideBySideAtTheClearance) {
    RouteBoard board = EmptyBoard();
    const Pt centre{20 - 2.99, 12.2};
    AddPad(board, AddNet(board, "GND"), centre.x, centre.y, 4.3, 1u, "U1-49");
    // The other three sides, of no net.
    for (int k = 0; k < 12; ++k) {
        const double along = 0.4 * (k - 5.5);
        const std::string n = std::to_string(13 + k);
        AddPad(board, Router::kNoNet, centre.x - 2.99, centre.y + along, 0.8, 1u, "U1-L" + n, 0.2);
        AddPad(board, Router::kNoNet, centre.x + along, centre.y - 2.99, 0.2, 1u, "U1-B" + n, 0.8);
        AddPad(board, Router::kNoNet, centre.x + along, centre.y + 2.99, 0.2, 1u, "U1-T" + n, 0.8);
    }
    ExpectRowRouted(board, {12, 0.4, 0.8, 0.2, 0.2}, {30, 6.5}, 1, 0.8);
}

// Two neighbouring pins of one net in a row at 0.4 mm pitch, with keep-outs
// 0.25 mm beyond the ends of the pads and beyond the row on both layers: no
// track gets out of the row, yet one straight from one pin's centre to the
// other's keeps exactly the clearance from the pins beside them.
TEST(Router, LinksNeighbouringPinsOfOneNetDirectly) {
    RouteBoard board = EmptyBoard();
    const int net = AddNet(board, "N");
    board.nets[net].width = 0.2 * kMm;
    for (int k = 0; k < 6; ++k)
        AddPad(board, k == 2 || k == 3 ? net : Router::kNoNet, 20, 10 + 0.4 * k, 0.8, 3u,
               "U1-" + std::to_string(k + 1), 0.2);
    const double keepouts[][4] = {
        {20.65, 5, 25, 17}, {15, 5, 19.35, 17}, {19.35, 5, 20.65, 9.65}, {19.35, 12.35, 20.65, 17}};
    for (const auto& [x0, y0, x1, y1] : keepouts)
        AddObstacle(board, {Mm(x0, y0), Mm(x1, y0), Mm(x1, y1), Mm(x0, y1)});
    const RouteResult result = Router::Route(board);
    EXPECT_EQ(result.connections, 1);
    EXPECT_ROUTED(board, result);
    EXPECT_THAT(result.lines, IsEmpty());
    ASSERT_EQ(result.tracks.size(), 1u);
    EXPECT_NEAR(result.tracks[0].a.x, 20 * kMm, 1e-6);
    EXPECT_NEAR(result.tracks[0].b.x, 20 * kMm, 1e-6);
}

// A row of pads 0.3 mm tall at 0.5 mm pitch, for nets of 0.3048 mm tracks
// at 0.2032 mm clearance: a track that wide passes no gap between two
// neighbours, so the pads inside the row stay open, each with a line that
// says a narrower track would fit; the two at the ends are routed.
TEST(Router, SaysWhenTheNetsTrackIsTooWideForAPad) {
    RouteBoard board = EmptyBoard();
    board.clearance = 0.2032 * kMm;
    AddRow(board, {5, 0.5, 1.5, 0.3, 0.3048, 10}, {35, 4}, 5, 1.5);
    const RouteResult result = Router::Route(board);
    EXPECT_EQ(result.connections, 5);
    EXPECT_EQ(result.open, 3);
    EXPECT_EQ(Violations(board, result), 0);
    ASSERT_EQ(result.lines.size(), 3u);
    for (const std::string& line : result.lines) {
        EXPECT_THAT(line, HasSubstr("the net's 12.0 mil track does not fit onto pad U1-"));
        EXPECT_THAT(line, Not(HasSubstr("U1-1 ")));
        EXPECT_THAT(line, Not(HasSubstr("U1-5 ")));
    }
}

// A pad ringed by pads of another net on both layers, closer than a track
// and its clearances need: its connection stays open, and the line says the
// pad is walled in rather than that no path was found.
TEST(Router, SaysWhenAPadIsWalledIn) {
    RouteBoard board = EmptyBoard();
    const int a = AddNet(board, "A"), b = AddNet(board, "B");
    AddPad(board, a, 20, 15, 0.3, 3u, "U1-E5");
    AddPad(board, a, 35, 25, 1.5, 3u, "J1-1");
    int ball = 0;
    for (int dx = -1; dx <= 1; ++dx)
        for (int dy = -1; dy <= 1; ++dy)
            if (dx != 0 || dy != 0)
                AddPad(board, b, 20 + 0.8 * dx, 15 + 0.8 * dy, 0.5, 3u,
                       "U1-R" + std::to_string(++ball));
    AddPad(board, b, 5, 5, 1.5, 3u, "J2-1");
    const RouteResult result = Router::Route(board);
    EXPECT_THAT(result.lines,
                Contains(HasSubstr("net A: U1-E5 to J1-1 not routed: pad U1-E5 is walled in")))
        << Text(result);
    EXPECT_EQ(Violations(board, result), 0);
}

// A net whose class asks for a wider clearance keeps it from everything,
// and everything keeps it from that net.
TEST(Router, KeepsEachNetsOwnClearance) {
    RouteBoard board = EmptyBoard();
    const int hv = AddNet(board, "HV", 1.5, 3u, {{5, 10, "J1-1"}, {35, 10, "J2-1"}});
    AddNet(board, "A", 1.5, 3u, {{20, 5, "J3-1"}, {20, 25, "J4-1"}});
    board.nets[hv].clearance = 1.5 * kMm;
    for (auto& o : board.obstacles)
        o.clearance = board.nets[o.net].clearance;
    const RouteResult result = Router::Route(board);
    EXPECT_EQ(result.open, 0) << (result.lines.empty() ? "" : result.lines.front());
    EXPECT_GE(Nearest(board, result, hv, [](auto& p, auto& q) { return !(p.box && q.box); }),
              1.5 * kMm - 1);
}

// A net and the pads it passes between ask for the same clearance, more
// than the board's: that clearance applies once, and the track fits through
// a gap that holds it and its clearance to each side.
TEST(Router, AppliesTheLargerClearanceOnce) {
    RouteBoard board = EmptyBoard();
    const int a = AddNet(board, "A", 1.2, 3u, {{5, 15, "J1-1"}, {35, 15, "J2-1"}});
    board.nets[a].clearance = 0.5 * kMm;
    // A wall of net-less pads that ask 0.5 mm too, across the board on both
    // layers, with one gap of 1.5 mm: room for the 0.25 mm track and 0.5 mm
    // to each side, not for the board's 0.2 mm counted on top of that.
    int k = 0;
    for (double y = 14.25 - 0.4; y > -0.5; y -= 0.9)
        AddPad(board, Router::kNoNet, 20, y, 0.8, 3u, "W-" + std::to_string(k++));
    for (double y = 15.75 + 0.4; y < 30.5; y += 0.9)
        AddPad(board, Router::kNoNet, 20, y, 0.8, 3u, "W-" + std::to_string(k++));
    for (auto& o : board.obstacles)
        o.clearance = 0.5 * kMm;
    const RouteResult result = Router::Route(board);
    EXPECT_EQ(result.open, 0) << (result.lines.empty() ? "" : result.lines.front());
    EXPECT_TRUE(result.vias.empty());
    EXPECT_GE(Nearest(board, result, a, [](auto&, auto& q) { return q.net == Router::kNoNet; }),
              0.5 * kMm - 1);
}

// Classes A and B ask 0.18 mm between their own nets, the board 0.3 mm
// for everything else. Net A1 must cross a wall of pads of another net on
// both layers with one gap of 0.7 mm: room for its 0.25 mm track at 0.18 mm,
// not at 0.3 mm.
void ExpectTheBoardsGapThroughWall(const std::string& wallNet) {
    SCOPED_TRACE("the wall of net " + wallNet);
    RouteBoard board = EmptyBoard();
    const int a = AddNet(board, "A1", 1.2, 3u, {{5, 15, "J1-1"}, {35, 15, "J2-1"}});
    const int wall = AddNet(board, wallNet);
    auto rules = std::make_shared<clearance::Rules>();
    rules->AddClass("A", {"A1"});
    if (wallNet[0] == 'B')
        rules->AddClass("B", {wallNet});
    EXPECT_TRUE(rules->AddRule("All", "All", static_cast<int32_t>(0.3 * kMm)));
    const int32_t narrow = static_cast<int32_t>(0.18 * kMm);
    EXPECT_TRUE(rules->AddRule("InNetClass('A')", "InNetClass('A')", narrow));
    EXPECT_TRUE(rules->AddRule("InNetClass('B')", "InNetClass('B')", narrow));
    board.clearance = rules->Board();
    int k = 0;
    for (double y = 14.65 - 0.4; y > -0.5; y -= 0.85)
        AddPad(board, wall, 20, y, 0.8, 3u, "W-" + std::to_string(k++));
    for (double y = 15.35 + 0.4; y < 30.5; y += 0.85)
        AddPad(board, wall, 20, y, 0.8, 3u, "W-" + std::to_string(k++));
    board.nets[static_cast<std::size_t>(wall)].pads.clear(); // the wall is not to be joined
    for (Router::RouteNet& net : board.nets)
        net.clearance = rules->WidestFor(net.name);
    for (Router::Obstacle& o : board.obstacles)
        o.kind = 2, o.clearance = board.nets[static_cast<std::size_t>(o.net)].clearance; // pads
    board.rules = rules;
    const RouteResult result = Router::Route(board);
    const auto wallPads = [&](auto& p, auto& q) { return q.net == wall && !(p.box && q.box); };
    EXPECT_GE(Nearest(board, result, a, wallPads), 0.3 * kMm - 1) << Text(result);
}

TEST(Router, KeepsTheGapTheRulesAskOfEachPairOfNets) {
    ExpectTheBoardsGapThroughWall("B1"); // of class B: the pair falls to the board's 0.3 mm
    ExpectTheBoardsGapThroughWall("U1"); // of no class: the board's too
}

// One layer, no vias. B leaves a pocket through its only opening; A's
// straight route runs across that opening, its way round is long. Routed
// greedily, short A first, B is shut in; negotiated, A gives way.
TEST(Router, NegotiationMakesTheShortNetGiveWay) {
    RouteBoard board = EmptyBoard();
    board.viaDiameter = 0;
    AddNet(board, "A", 1, 1u, {{19.5, 12.5, "A-1"}, {19.5, 17.5, "A-2"}});
    AddNet(board, "B", 1, 1u, {{24, 15, "B-1"}, {10, 15, "B-2"}});
    // The pocket around B-1: walls of net-less pads, open at the left.
    int wall = 0;
    for (double t = 0; t <= 6.31; t += 0.9) {
        AddPad(board, Router::kNoNet, 21 + t, 11.5, 0.8, 1u, "W-" + std::to_string(++wall));
        AddPad(board, Router::kNoNet, 21 + t, 18.5, 0.8, 1u, "W-" + std::to_string(++wall));
        AddPad(board, Router::kNoNet, 27.3, 11.5 + t, 0.8, 1u, "W-" + std::to_string(++wall));
        if (std::fabs(11.5 + t - 15) > 1.2)
            AddPad(board, Router::kNoNet, 21, 11.5 + t, 0.8, 1u, "W-" + std::to_string(++wall));
    }
    EXPECT_EQ(Router::Route(board, Greedy()).open, 1);
    Router::RouteOptions negotiated;
    negotiated.rounds = 1, negotiated.ripUps = 0;
    EXPECT_ROUTED(board, Router::Route(board, negotiated));
    // Without negotiating, the rip-up after the round takes up the short
    // net that walls in B-1, routes B first and A around it.
    const RouteResult reroute = Router::Route(board, Greedy(4));
    EXPECT_ROUTED(board, reroute);
    EXPECT_TRUE(reroute.lines.empty());
}

// A wall of net-less pads splits a one-layer board; two corridors, each one
// track wide, lead through it. The nearer one is crossed by six short nets
// whose pads face each other across it and have no other way; the farther
// one is closed at its mouth by a net that can go round. The long net
// between the halves is routed last and finds both closed; the rip-up must
// take the corridor whose crossing routes can move, not the shorter one.
RouteBoard CorridorBoard() {
    RouteBoard board = EmptyBoard();
    board.viaDiameter = 0;
    // The wall's rows lie 0.9 mm apart; a corridor is a row left out.
    const double near = 0.45 + 18 * 0.9, far = 0.45 + 13 * 0.9;
    AddNet(board, "B", 1, 1u, {{3, 15, "B-1"}, {37, 15, "B-2"}});
    AddNet(board, "M", 0.8, 1u, {{14, far - 1.5, "M-1"}, {14, far + 1.5, "M-2"}});
    int wall = 0, pinned = 0;
    for (int column = 0; column < 11; ++column) {
        const double x = 15 + 0.9 * column;
        // Across the nearer corridor, every other column holds a net's pads.
        const bool crossed = column % 2 == 1;
        if (crossed) {
            const std::string n = std::to_string(++pinned);
            AddNet(board, "N" + n, 0.8, 1u,
                   {{x, near - 0.9, "N-" + n + "-1"}, {x, near + 0.9, "N-" + n + "-2"}});
        }
        for (int row = 0; row < 33; ++row) {
            const double y = 0.45 + 0.9 * row;
            if (std::fabs(y - near) < 0.1 || std::fabs(y - far) < 0.1 ||
                (crossed && std::fabs(std::fabs(y - near) - 0.9) < 0.1))
                continue;
            AddPad(board, Router::kNoNet, x, y, 0.8, 1u, "W-" + std::to_string(++wall));
        }
    }
    return board;
}

TEST(Router, RipUpTakesUpTheRoutesThatCanMove) {
    const RouteBoard board = CorridorBoard();
    const RouteResult first = Router::Route(board, Greedy());
    ASSERT_EQ(first.open, 1);
    EXPECT_THAT(first.lines, ElementsAre(HasSubstr("B-1 to B-2")));
    const Router::RouteOptions ripUp = Greedy(200);
    const RouteResult result = Router::Route(board, ripUp);
    EXPECT_ROUTED(board, result);
    EXPECT_EQ(Text(result), Text(Router::Route(board, ripUp)));
}

// Every effort level routes the corridor board legally and the same way
// twice; a higher level never leaves more open than a lower one. The
// levels differ in how much they may search, nothing else.
TEST(Router, EffortLevelsAreRepeatableAndNeverWorseThanALowerOne) {
    const RouteBoard board = CorridorBoard();
    int lastOpen = 1 << 30;
    for (const Router::Effort effort :
         {Router::Effort::Low, Router::Effort::Normal, Router::Effort::High}) {
        const Router::RouteOptions options = Router::OptionsFor(effort);
        const RouteResult result = Router::Route(board, options);
        EXPECT_EQ(Text(result), Text(Router::Route(board, options)));
        EXPECT_EQ(Violations(board, result), 0);
        EXPECT_EQ(Router::CountOpen(board, result.tracks, result.vias), result.open);
        EXPECT_LE(result.open, lastOpen);
        lastOpen = result.open;
    }
    const Router::RouteOptions low = Router::OptionsFor(Router::Effort::Low);
    const Router::RouteOptions high = Router::OptionsFor(Router::Effort::High);
    EXPECT_LT(low.ripUpSteps, high.ripUpSteps);
    EXPECT_LT(low.rounds, high.rounds);
    Router::Effort effort = Router::Effort::Low;
    EXPECT_TRUE(Router::ParseEffort("high", effort));
    EXPECT_EQ(effort, Router::Effort::High);
    EXPECT_FALSE(Router::ParseEffort("medium", effort));
    EXPECT_FALSE(Router::ParseEffort("", effort));
    EXPECT_EQ(effort, Router::Effort::High);
}

// While routing, the router tells each stage it finishes with the routing
// that stage holds; the figures add up to the board's connections, and the
// routing kept is one of those told. What stays open (pad J2-1, under a
// keep-out on both layers) is counted by reason.
TEST(Router, ReportsEveryStageAndCountsTheOpenByReason) {
    RouteBoard board = EmptyBoard();
    AddNet(board, "A", 1.5, 3u, {{5, 5, "J1-1"}, {30, 20, "J2-1"}});
    AddNet(board, "B", 1.5, 3u, {{5, 20, "J3-1"}, {30, 5, "J4-1"}});
    AddObstacle(board, {Mm(28, 18), Mm(32, 18), Mm(32, 22), Mm(28, 22)});
    AddNet(board, "C", 1.5, 3u, {{10, 12, "J5-1"}, {20, 12, "J6-1"}});
    std::vector<Router::RouteProgress> told;
    Router::RouteOptions options;
    options.report = [&told](const Router::RouteProgress& now) { told.push_back(now); };
    const RouteResult result = Router::Route(board, options);
    ASSERT_EQ(result.open, 1);
    EXPECT_THAT(result.lines, ElementsAre(testing::AllOf(HasSubstr("net A"), HasSubstr("J2-1"))));
    EXPECT_EQ(Router::CountOpen(board, result.tracks, result.vias), 1);
    EXPECT_EQ(Violations(board, result), 0);
    ASSERT_FALSE(told.empty());
    EXPECT_EQ(told.front().stage.rfind("negotiation pass 1", 0), 0u) << told.front().stage;
    for (const Router::RouteProgress& now : told)
        EXPECT_EQ(now.routed + now.open, result.connections) << now.stage;
    EXPECT_TRUE(std::any_of(told.begin(), told.end(), [&](const Router::RouteProgress& now) {
        return now.stage.find("round") != std::string::npos && now.open == result.open &&
               now.vias == static_cast<int>(result.vias.size());
    }));
    EXPECT_EQ(result.openByReason,
              (std::vector<std::pair<std::string, int>>{{"no legal way onto a pad", 1}}));
}

// A board with no signal layer, and one whose nets have a single pad: the
// router finishes with nothing added.
TEST(Router, BoardsWithNothingToRoute) {
    RouteBoard none = EmptyBoard();
    none.layers.clear();
    const RouteResult noLayers = Router::Route(none);
    EXPECT_TRUE(noLayers.tracks.empty());
    ASSERT_FALSE(noLayers.lines.empty());
    EXPECT_NE(noLayers.lines[0].find("no signal layer"), std::string::npos);

    RouteBoard single = EmptyBoard();
    AddPad(single, AddNet(single, "A"), 5, 5, 1.5, 3u, "J1-1");
    const RouteResult nothing = Router::Route(single);
    EXPECT_EQ(nothing.connections, 0);
    EXPECT_TRUE(nothing.tracks.empty() && nothing.vias.empty());
}

// A board of more connections than the router counts as big, where its
// search trusts the estimate of the way left beyond its strict value: still
// everything routed, legally, the same twice, and not much longer than with
// the strict estimate.
TEST(Router, BigBoardRoutesCompletelyWithTheWeightedEstimate) {
    RouteBoard board = EmptyBoard();
    int count = 0;
    for (int row = 0; row < 11; ++row)
        for (int column = 0; column < 10; ++column) {
            const int net = AddNet(board, "N" + std::to_string(count++));
            const double x = 2.5 + 3.6 * column, y = 2.5 + 2.5 * row;
            AddPad(board, net, x, y, 0.8, 3u, "A" + std::to_string(count));
            // On odd rows the second pad sits up in the gap between rows.
            AddPad(board, net, row % 2 == 0 ? x + 2 : x + 1, row % 2 == 0 ? y : y + 1.25, 0.8, 3u,
                   "B" + std::to_string(count));
        }
    const RouteResult first = Router::Route(board);
    ASSERT_GT(first.connections, 100);
    for (const auto& t : first.tracks)
        EXPECT_DOUBLE_EQ(t.width, 0.25 * kMm); // the board's default
    EXPECT_ROUTED(board, first);
    EXPECT_EQ(Text(first), Text(Router::Route(board)));
    Router::RouteOptions strict;
    strict.bigBoardEstimate = 1, strict.bigBoardNegotiationEstimate = 1;
    const RouteResult exact = Router::Route(board, strict);
    EXPECT_EQ(exact.open, 0);
    EXPECT_LE(first.length, exact.length * 1.25);
}

// A diagonal strip of small two-pad parts (0.45 x 0.4 mm pads 1.1 mm apart),
// each part turned by `angle` degrees about its centre, 2.25 mm from the
// next one; the first pads of neighbouring parts share a net, and so do the
// second pads.
RouteBoard SlantedParts(double angle) {
    RouteBoard board = EmptyBoard();
    const int a = AddNet(board, "A"), b = AddNet(board, "B");
    const double rad = angle * std::acos(-1.0) / 180;
    for (int k = 0; k < 8; ++k) {
        const Pt at{5 + 2.25 * k * 0.5, 5 + 2.25 * k * 0.866};
        for (const double s : {-0.55, 0.55})
            AddPad(board, s < 0 ? a : b, at.x + s * std::cos(rad), at.y + s * std::sin(rad), 0.45,
                   3u, "D" + std::to_string(k + 1) + (s < 0 ? "-1" : "-2"), 0.4, angle);
    }
    return board;
}

// Tracks and vias nearer than the clearance to a pad of another net,
// measured to the pad's own shape (a turned pad is not its box).
int NearTurnedPads(const RouteBoard& board, const RouteResult& result) {
    int count = 0;
    for (const Router::RoutePad& pad : board.pads)
        for (std::size_t l = 0; l < pad.perLayer.size(); ++l) {
            const Shape& shape = pad.perLayer[l];
            if (shape.points.empty())
                continue;
            for (const auto& t : result.tracks)
                count += t.net != pad.net && t.layer == static_cast<int>(l) &&
                         SegmentShapeDistance(t.a, t.b, shape) - t.width / 2 < board.clearance - 1;
            for (const auto& v : result.vias)
                count += v.net != pad.net &&
                         SegmentShapeDistance(v.at, v.at, shape) - board.ViaDiameterOf(v.net) / 2 <
                             board.clearance - 1;
        }
    return count;
}

TEST(Router, TurnedPartsGetAFinerGrid) {
    const RouteBoard square = SlantedParts(0), slanted = SlantedParts(60);
    const RouteResult plain = Router::Route(square), turned = Router::Route(slanted);
    EXPECT_ROUTED(square, plain);
    EXPECT_THAT(plain.lines, IsEmpty());
    EXPECT_EQ(turned.open, 0);
    EXPECT_EQ(Router::CountOpen(slanted, turned.tracks, turned.vias), 0);
    EXPECT_EQ(NearTurnedPads(slanted, turned), 0);
    // Routed copper among itself (no pads: those are turned).
    RouteBoard bare = slanted;
    for (Router::RoutePad& pad : bare.pads)
        pad.perLayer.assign(pad.perLayer.size(), Shape{});
    EXPECT_EQ(Violations(bare, turned), 0);
    // A third finer, in whole fractions of 25 mil.
    EXPECT_LT(turned.pitch, plain.pitch * 0.8);
    const double unit = 25 * 10000;
    EXPECT_NEAR(unit / turned.pitch, std::round(unit / turned.pitch), 1e-6);
    // A few parts turned among many that are not leave the grid as it was.
    RouteBoard few = SlantedParts(0);
    few.pads[0].angle = few.pads[1].angle = 60;
    EXPECT_DOUBLE_EQ(Router::Route(few).pitch, plain.pitch);
}

} // namespace
