// The rule check on small boards made through the engine's entry points:
// connections made and open, clearances by the rule that applies, shorts,
// layers joined by vias and not by stacked SMD pads, arcs, keep-outs and the
// outline. Lengths are in mil (10000 host units each).
#include "engine/Drc.h"
#include "sdk/CorvaneEngine.h"
#include "support/SampleBoard.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace enginetest;

int32_t Mil(double mil) {
    return static_cast<int32_t>(std::lround(mil * 10000.0));
}

constexpr int32_t kTop = 1, kBottom = 32, kKeepOutLayer = 56, kMulti = 74, kRound = 1, kRect = 2;

// A fresh board with the helpers a case needs.
class Board {
public:
    Board() {
        static int serial = 0;
        board =
            Corvane_NewBoard(("drc-" + std::to_string(++serial) + ".pcbdoc").c_str(), nullptr, 0);
    }
    ~Board() { Corvane_CloseBoard(board); }
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    intptr_t Net(const char* name) {
        if (intptr_t net = PcbApi_GetNetByName(board, name))
            return net;
        return AddNet(board, name);
    }
    intptr_t Pad(const char* net, int32_t layer, double x, double y, double xs, double ys,
                 int32_t shape = kRound, double angle = 0) {
        const intptr_t netHandle = net ? Net(net) : 0;
        return AddObject<enginetest::Pad>(board, 2, [&](enginetest::Pad& p) {
            p.c.layer = layer, p.c.net = netHandle, p.c.x1 = Mil(x), p.c.y1 = Mil(y);
            for (int i = 0; i < 6; i += 2)
                p.sizes[i] = Mil(xs), p.sizes[i + 1] = Mil(ys);
            p.shapes[0] = p.shapes[1] = p.shapes[2] = shape;
            p.holeSize = layer == kMulti ? Mil(20) : 0, p.angle = angle;
        });
    }
    intptr_t Track(const char* net, int32_t layer, double x1, double y1, double x2, double y2,
                   double width, bool keepOut = false) {
        const uint16_t bits = keepOut ? PCBAPI_BITFIELD_KEEPOUT : 0;
        const intptr_t netHandle = net ? Net(net) : 0;
        return AddObject<enginetest::Track>(board, 4, [&](enginetest::Track& t) {
            t.c = Common{bits, 0, layer, netHandle, 1, 0, Mil(x1), Mil(y1)};
            t.x2 = Mil(x2), t.y2 = Mil(y2), t.width = Mil(width);
        });
    }
    void Arc(const char* net, int32_t layer, double cx, double cy, double r, double a1, double a2,
             double width) {
        const intptr_t netHandle = Net(net);
        AddObject<enginetest::Arc>(board, 1, [&](enginetest::Arc& a) {
            a.c.layer = layer, a.c.net = netHandle, a.c.x1 = Mil(cx), a.c.y1 = Mil(cy);
            a.radius = Mil(r), a.angle1 = a1, a.angle2 = a2, a.lineWidth = Mil(width);
        });
    }
    void Via(const char* net, double x, double y, double size) {
        const intptr_t netHandle = Net(net);
        AddObject<enginetest::Via>(board, 3, [&](enginetest::Via& v) {
            v.c.layer = kMulti, v.c.net = netHandle, v.c.x1 = Mil(x), v.c.y1 = Mil(y);
            v.size = Mil(size), v.holeSize = Mil(size / 2), v.low = kTop, v.high = kBottom;
        });
    }
    void KeepOut(int32_t layer, double x1, double y1, double x2, double y2) {
        AddObject<enginetest::Region>(board, 11, [&](enginetest::Region& r) {
            r.c.bitField = PCBAPI_BITFIELD_KEEPOUT, r.c.layer = layer;
            r.contour = {
                {Mil(x1), Mil(y1)}, {Mil(x2), Mil(y1)}, {Mil(x2), Mil(y2)}, {Mil(x1), Mil(y2)}};
        });
    }
    void Outline(double x1, double y1, double x2, double y2) {
        intptr_t outline = PcbApi_CreateBoardOutline(board);
        enginetest::Polygon o;
        Query(1, outline, o);
        const double corners[][2] = {{x1, y1}, {x2, y1}, {x2, y2}, {x1, y2}, {x1, y1}};
        o.segments.clear();
        for (const auto& [x, y] : corners)
            o.segments.push_back({0, Mil(x), Mil(y), 0, 0, 0, 0, 0});
        o.pointCount = 5;
        Query(0, outline, o);
        PcbApi_UpdateBoardOutline(outline);
    }
    void Clearance(double gap, const char* scope1 = "All", const char* scope2 = "All") {
        intptr_t rule = PcbApi_CreateRuleObject(0);
        enginetest::Rule r;
        Query(1, rule, r);
        r.scope1 = Text(scope1), r.scope2 = Text(scope2);
        Query(0, rule, r);
        int32_t value = Mil(gap);
        PcbApi_QueryRuleClearanceConstraint(0, rule, &value);
        PcbApi_AddObjectToContainer(board, rule);
    }
    void NetClass(const char* name, const char* member) {
        intptr_t cls = PcbApi_CreateClassObject(8);
        Text className(name);
        int32_t memberKind = 0, superClass = 0;
        PcbApi_QueryClass(0, cls, className.buf, &memberKind, &superClass);
        PcbApi_AddMemberToClass(cls, member);
        PcbApi_AddObjectToContainer(board, cls);
    }
    corvane::BoardCheck Check() {
        bool ok = false;
        corvane::BoardCheck check = corvane::CheckBoard(board, CORVANE_CHECK_STRICT, ok);
        EXPECT_TRUE(ok);
        return check;
    }

    intptr_t board = 0;
};

// A board and what the check finds on it: counts, and (unless -1) the first
// violation's distance and the distance it needs, in mil.
struct Case {
    const char* name;
    int opens, clearances, shorts, outlines, keepouts;
    double actual, required;
    std::function<void(Board&)> build;
};

const Case kCases[] = {
    {"two pads joined by a track", 0, 0, 0, 0, 0, -1, -1,
     [](Board& b) {
         b.Pad("A", kTop, 0, 0, 60, 60);
         b.Pad("A", kTop, 100, 0, 60, 60);
         b.Track("A", kTop, 0, 0, 100, 0, 10);
     }},
    {"a gap leaves one open connection", 1, 0, 0, 0, 0, -1, -1,
     [](Board& b) {
         b.Pad("A", kTop, 0, 0, 60, 60);
         b.Pad("A", kTop, 300, 0, 60, 60);
         b.Track("A", kTop, 0, 0, 100, 0, 10);
     }},
    {"a track too near another net's pad", 0, 1, 0, 0, 0, 25, 30,
     [](Board& b) {
         b.Clearance(30);
         b.Pad("A", kTop, 0, 0, 60, 60);
         b.Pad("A", kTop, 200, 0, 60, 60);
         b.Track("A", kTop, 0, 0, 200, 0, 10);
         b.Pad("B", kTop, 100, 50, 40, 40); // 50 - 20 - 5 = 25 mil from the track
     }},
    {"a rectangular pad turned by 45 degrees", 0, 1, 0, 0, 0, 35 - 5 - 20 * std::sqrt(2.0), 10,
     [](Board& b) {
         b.Clearance(10);
         b.Pad("A", kTop, 0, 0, 40, 40, kRect, 45); // corner at 28.28 mil on the x axis
         b.Track("B", kTop, 35, -50, 35, 50, 10);   // 35 - 5 - 28.28 = 1.72 mil
     }},
    {"the narrowest rule decides", 0, 1, 0, 0, 0, 30, 50,
     [](Board& b) {
         b.Clearance(10);
         b.Clearance(50, "InNetClass('HV')", "All");
         b.NetClass("HV", "B");
         b.Track("A", kTop, 0, 0, 200, 0, 10);
         b.Pad("B", kTop, 50, 55, 40, 40);  // 30 mil away, needs 50
         b.Pad("C", kTop, 150, 55, 40, 40); // 30 mil away, needs 10
     }},
    {"crossing tracks of two nets short", 0, 0, 1, 0, 0, -1, -1,
     [](Board& b) {
         b.Track("A", kTop, 0, 0, 100, 100, 10);
         b.Track("B", kTop, 0, 100, 100, 0, 10);
         b.Track("C", kBottom, 0, 50, 100, 50, 10); // another layer
     }},
    {"a via joins the layers", 0, 0, 0, 0, 0, -1, -1,
     [](Board& b) {
         b.Pad("A", kTop, 0, 0, 40, 40);
         b.Pad("A", kBottom, 100, 0, 40, 40);
         b.Track("A", kTop, 0, 0, 50, 0, 10);
         b.Via("A", 50, 0, 30);
         b.Track("A", kBottom, 50, 0, 100, 0, 10);
     }},
    {"SMD pads on opposite layers do not touch", 1, 0, 0, 0, 0, -1, -1,
     [](Board& b) {
         b.Pad("A", kTop, 0, 0, 40, 40);
         b.Pad("A", kBottom, 0, 0, 40, 40); // same place, other side: still open
         b.Pad("B", kTop, 200, 0, 40, 40);
         b.Pad("C", kBottom, 200, 0, 40, 40); // no short either
     }},
    {"a through-hole pad joins the layers", 0, 0, 0, 0, 0, -1, -1,
     [](Board& b) {
         b.Pad("A", kMulti, 0, 0, 60, 60);
         b.Pad("A", kBottom, 100, 0, 40, 40);
         b.Track("A", kBottom, 0, 0, 100, 0, 10);
         b.Pad("A", kTop, -100, 0, 40, 40);
         b.Track("A", kTop, -100, 0, 0, 0, 10);
     }},
    {"an arc joins its ends and keeps its clearance", 0, 1, 0, 0, 0, std::hypot(85.0, 85.0) - 115,
     10,
     [](Board& b) {
         b.Clearance(10);
         b.Pad("A", kTop, 100, 0, 20, 20);
         b.Pad("A", kTop, 0, 100, 20, 20);
         b.Arc("A", kTop, 0, 0, 100, 0, 90, 10);
         b.Pad("B", kTop, 85, 85, 20, 20); // 120.21 - 105 - 10 = 5.21 mil from the arc
     }},
    {"copper in a keep-out of its layer", 0, 0, 0, 0, 1, -1, -1,
     [](Board& b) {
         b.KeepOut(kTop, 0, 0, 100, 100);
         b.Track("A", kTop, -50, 50, 150, 50, 10);
         b.Track("B", kBottom, -50, 50, 150, 50, 10); // other layer
         b.Track("C", kTop, -50, 110, 150, 110, 10);  // outside
     }},
    {"what lies on the keep-out layer bars every layer and is no copper", 0, 0, 0, 0, 1, -1, -1,
     [](Board& b) {
         b.Outline(0, 0, 1000, 1000);
         b.Track(nullptr, kKeepOutLayer, -10, -10, 1010, -10, 0); // outside the outline
         b.Track(nullptr, kKeepOutLayer, 500, 0, 500, 1000, 0);
         b.Track("A", kBottom, 100, 500, 900, 500, 10); // crosses the keep-out line
     }},
    {"copper outside or too near the outline", 0, 0, 0, 2, 0, 5, 10,
     [](Board& b) {
         b.Clearance(10);
         b.Outline(0, 0, 1000, 1000);
         b.Track("A", kTop, 500, 500, 990, 500, 10); // 5 mil from the edge
         b.Via("B", 1200, 500, 30);                  // outside
         b.Track("C", kTop, 100, 100, 100, 900, 10); // well inside
     }},
};

class CheckBoardTest : public ::testing::TestWithParam<Case> {};

TEST_P(CheckBoardTest, FindsWhatTheBoardHolds) {
    const Case& c = GetParam();
    Board b;
    c.build(b);
    const corvane::BoardCheck check = b.Check();
    const CorvaneCheckSummary& s = check.summary;
    EXPECT_EQ(std::tuple(s.opens, s.clearances, s.shorts, s.outlines, s.keepouts),
              std::tuple(c.opens, c.clearances, c.shorts, c.outlines, c.keepouts))
        << "opens, clearances, shorts, outlines, keep-outs";
    EXPECT_EQ(static_cast<size_t>(s.opens), check.opens.size());
    EXPECT_EQ(static_cast<size_t>(s.violations), check.violations.size());
    if (c.actual >= 0) {
        ASSERT_FALSE(check.violations.empty());
        EXPECT_NEAR(check.violations[0].actual / 10000.0, c.actual, 0.01);
        EXPECT_NEAR(check.violations[0].required / 10000.0, c.required, 0.001);
    }
}

INSTANTIATE_TEST_SUITE_P(Boards, CheckBoardTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

// The open connection of a gap names both pads and their distance; the C
// entry points hand out the same as the C++ check.
TEST(CheckBoardEntries, OpenConnectionEndsAndCInterface) {
    Board b;
    const intptr_t first = b.Pad("A", kTop, 0, 0, 60, 60);
    const intptr_t second = b.Pad("A", kTop, 300, 400, 60, 60);
    const CorvaneBoardCheck check = Corvane_CheckBoard(b.board, 0, nullptr, 0);
    ASSERT_NE(check, 0);
    CorvaneCheckSummary s{};
    ASSERT_EQ(Corvane_CheckSummaryOf(check, &s), 1);
    EXPECT_EQ(std::tuple(s.nets, s.netsWithPads, s.netsConnected, s.groups), std::tuple(1, 1, 0, 2))
        << "nets, with pads, connected; groups";
    CorvaneOpenConnection open{};
    ASSERT_EQ(Corvane_CheckOpen(check, 0, &open), 1);
    EXPECT_EQ(Corvane_CheckOpen(check, 1, &open), 0);
    Corvane_CheckOpen(check, 0, &open);
    EXPECT_EQ(std::tuple(open.length, open.from.object, open.to.object, open.x2, open.y2),
              std::tuple(Mil(500), first, second, Mil(300), Mil(400)));
    char name[8] = {};
    EXPECT_EQ(Corvane_CheckNetName(check, open.net, name, sizeof name), 1);
    EXPECT_STREQ(name, "A");
    EXPECT_NE(Corvane_CheckGroupOf(check, first), Corvane_CheckGroupOf(check, second));
    EXPECT_EQ(Corvane_CheckGroupOf(check, b.board), -1);
    Corvane_FreeCheck(check);
    EXPECT_EQ(Corvane_CheckBoard(0, 0, nullptr, 0), 0);
}

// The netlist service gives free tracks the net of the pads they touch.
TEST(CheckBoardEntries, FreeTracksTakeThePadsNet) {
    Board b;
    b.Pad("A", kTop, 0, 0, 60, 60);
    const intptr_t touching = b.Track(nullptr, kTop, 0, 0, 100, 0, 10);
    const intptr_t chained = b.Track(nullptr, kTop, 100, 0, 200, 0, 10);
    const intptr_t apart = b.Track(nullptr, kTop, 300, 0, 400, 0, 10);
    EXPECT_EQ(Corvane_UpdateFreePrimitiveNets(b.board), 2);
    for (auto [track, net] : {std::pair{touching, b.Net("A")}, std::pair{chained, b.Net("A")},
                              std::pair{apart, intptr_t(0)}}) {
        enginetest::Track t;
        Query(1, track, t);
        EXPECT_EQ(t.c.net, net);
    }
}

} // namespace
