// Where the router may work: the boundary read from the design text (units,
// origin, the quote character, which boundary wins) and the choice between
// it, the board outline and the pads' extent.
#include "router/DesignBoundary.h"
#include "router/RouteBoard.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using Router::Pt;
using ::testing::HasSubstr;

std::string Design(const std::string& head, const std::string& structure) {
    return "(pcb \"b\" (parser (string_quote \")(host_cad \"x (y)\"))\n" + head +
           "\n(structure (layer F.Cu (type signal))\n" + structure +
           "\n(rule (width 250)))\n(network (net \"(boundary\" (pins U1-1)))\n)";
}

TEST(DesignBoundary, ReadsTheBoundaryInBoardUnits) {
    struct Case {
        const char* name;
        std::string text;
        std::vector<Pt> expected;
        Pt origin = {0, 0};
    };
    const double mm = 10000 / 0.0254, ten = std::nearbyint(10 * mm);
    const Case cases[] = {
        {"a closed path in um",
         Design("(resolution um 10) (unit um)",
                "(boundary (path pcb 0  0 0  50000 0  50000 -20000  0 -20000  0 0))"),
         {{0, 0}, {50 * mm, 0}, {50 * mm, -20 * mm}, {0, -20 * mm}}},
        {"the structure's unit wins, the origin moves it",
         Design("(resolution mil 10) (unit mil)", "(unit inch) (boundary (rect pcb 0 0 2 1))"),
         {{1000, 2000}, {20001000, 2000}, {20001000, 10002000}, {1000, 10002000}},
         {1000, 2000}},
        {"the resolution's unit when no unit is given",
         Design("(resolution mm 1000)", "(boundary (polygon pcb 0 0 0 10 0 10 10))"),
         {{0, 0}, {ten, 0}, {ten, ten}}},
        {"the routing boundary beats the board's, however small",
         Design("(unit mil)", "(boundary (rect pcb 0 0 1000 1000))\n"
                              "(boundary (polygon signal 0 10 10 990 10 990 990 10 990))"),
         {{100000, 100000}, {9900000, 100000}, {9900000, 9900000}, {100000, 9900000}}},
        {"of two board boundaries the larger",
         Design("(unit mil)", "(boundary (rect pcb 0 0 10 10)) (boundary (rect pcb 0 0 20 10))"),
         {{0, 0}, {200000, 0}, {200000, 100000}, {0, 100000}}},
        {"no boundary, or only an open or degenerate one",
         Design("(unit mil)", "(boundary (path pcb 0 0 0 100 0)) (keepout (rect pcb 0 0 9 9))"),
         {}},
    };
    for (const Case& c : cases) {
        const std::vector<Pt> got = Router::ReadDesignBoundary(c.text, c.origin);
        ASSERT_EQ(got.size(), c.expected.size()) << c.name;
        for (std::size_t k = 0; k < got.size(); ++k) {
            EXPECT_NEAR(got[k].x, c.expected[k].x, 0.5) << c.name << " vertex " << k;
            EXPECT_NEAR(got[k].y, c.expected[k].y, 0.5) << c.name << " vertex " << k;
        }
    }
    // A circle becomes a polygon around its centre.
    const std::vector<Pt> circle = Router::ReadDesignBoundary(
        Design("(unit mil)", "(boundary (circle pcb 100 50 50))"), {0, 0});
    ASSERT_GE(circle.size(), 16u);
    for (const Pt& p : circle)
        EXPECT_NEAR(std::hypot(p.x - 500000, p.y - 500000), 500000, 1);
}

// The board's edge given only as a boundary path on layer pcb.
TEST(DesignBoundary, BoardEdgeFromAPcbPath) {
    std::string note;
    const Digest::DesignDigest closed = Digest::ReadDesignDigest(
        Design("(resolution um 10) (unit um)",
               "(boundary (path pcb 0  233680 -139700  73660 -139700  73660 -40640  233680 -40640\n"
               "  233680 -139700))"));
    const double um = 10 / 0.0254;
    const std::vector<Pt> edge = Router::BoardEdge(closed, {1000, -2000}, note);
    ASSERT_EQ(edge.size(), 4u) << "the closing corner is not repeated";
    EXPECT_TRUE(note.empty()) << note;
    EXPECT_NEAR(edge[0].x, 1000 + 233680 * um, 0.5);
    EXPECT_NEAR(edge[0].y, -2000 - 139700 * um, 0.5);
    EXPECT_NEAR(edge[2].x, 1000 + 73660 * um, 0.5);

    // An open path is closed, and the note says so; the signal boundary does
    // not count (the translator makes the outline of that one).
    const Digest::DesignDigest open = Digest::ReadDesignDigest(
        Design("(unit mil)", "(boundary (path pcb 0 0 0 100 0 100 100 0 100))"
                             "(boundary (path signal 0 10 10 90 10 90 90 10 10))"));
    EXPECT_EQ(Router::BoardEdge(open, {0, 0}, note).size(), 4u);
    EXPECT_THAT(note, HasSubstr("does not end where it starts"));

    // Two points, or three in a line, give no outline and say why.
    for (const char* degenerate :
         {"(boundary (path pcb 0 0 0 100 0))", "(boundary (path pcb 0 0 0 50 0 100 0 0 0))"}) {
        const Digest::DesignDigest d = Digest::ReadDesignDigest(Design("(unit mil)", degenerate));
        EXPECT_TRUE(Router::BoardEdge(d, {0, 0}, note).empty()) << degenerate;
        EXPECT_THAT(note, HasSubstr("fewer than three corners")) << degenerate;
    }
    // A rectangle on pcb is the translator's own outline: nothing here.
    const Digest::DesignDigest rect =
        Digest::ReadDesignDigest(Design("(unit mil)", "(boundary (rect pcb 0 0 10 10))"));
    EXPECT_TRUE(Router::BoardEdge(rect, {0, 0}, note).empty());
    EXPECT_TRUE(note.empty());
}

TEST(DesignBoundary, WorkingAreaFallsBackAndSaysWhy) {
    auto board = [](bool outline) {
        Router::RouteBoard b;
        b.clearance = 10000;
        Router::RouteNet& net = b.nets.emplace_back();
        net.name = "A", net.pads = {0, 1};
        for (double x : {100000.0, 900000.0}) {
            Router::RoutePad& pad = b.pads.emplace_back();
            pad.at = {x, 100000}, pad.net = 0, pad.name = x < 500000 ? "J1-1" : "J2-1";
        }
        if (outline)
            b.outline = {{0, 0}, {1000000, 0}, {1000000, 500000}, {0, 500000}};
        return b;
    };
    const std::vector<Pt> design = {{-1, -1}, {2000000, -1}, {2000000, 600000}, {-1, 600000}};
    const std::vector<Pt> far = {{5e7, 5e7}, {6e7, 5e7}, {6e7, 6e7}};
    const std::vector<Pt> half = {{0, 0}, {500000, 0}, {500000, 500000}, {0, 500000}};

    Router::RouteBoard b = board(true);
    EXPECT_EQ(Router::SetWorkingArea(b, design), "routing inside the design's boundary");
    EXPECT_EQ(b.outline.size(), design.size());
    EXPECT_TRUE(b.notes.empty());

    b = board(true);
    EXPECT_THAT(Router::SetWorkingArea(b, far), HasSubstr("routing inside the board outline"));
    EXPECT_EQ(b.outline.size(), 4u);

    b = board(false);
    EXPECT_THAT(Router::SetWorkingArea(b, {}), HasSubstr("routing stays near the pads"));
    EXPECT_TRUE(b.outline.empty());

    // Half the pads inside: the boundary is the board's, the other pad is
    // said to lie outside it.
    b = board(false);
    EXPECT_EQ(Router::SetWorkingArea(b, half), "routing inside the design's boundary");
    ASSERT_EQ(b.notes.size(), 1u);
    EXPECT_EQ(b.notes[0], "pad J2-1 of net A lies outside the board; it cannot be reached");

    b = board(true);
    b.clearance = 300000;
    Router::SetWorkingArea(b, {});
    ASSERT_EQ(b.notes.size(), 1u);
    EXPECT_EQ(b.notes[0], "the clearance to the board edge (30 mil) leaves no room on the board");
}

} // namespace
