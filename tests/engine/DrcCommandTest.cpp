// harrow drc end to end on a small design: a routed net and a clean board
// exit 0; a missing wire and a wire near the outline are listed and exit 1.
#include "support/ScratchShell.h"
#include "support/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

using ::testing::HasSubstr;

namespace {

const std::filesystem::path kData = std::filesystem::path(DSNLINK_SOURCE_DIR) / "tests/engine/data";

// A two-part design in um, its wiring block open to take `wiring`.
std::string Design(const std::string& wiring) {
    return testfs::ReadFile(kData / "drc.dsn") + wiring + "\n  )\n)\n";
}

// A 30 x 20 mm two-layer design in um with via V and the board's rule
// (clearance `clearance`), then `rest` (placement, library, network, wiring).
std::string TwoLayerDesign(const std::string& name, int clearance, const std::string& rest) {
    return "(pcb \"" + name +
           "\"\n  (resolution um 10)\n  (unit um)\n  (structure\n"
           "    (layer F.Cu (type signal)) (layer B.Cu (type signal))\n"
           "    (boundary (rect pcb 0 -20000 30000 0))\n    (via V)\n"
           "    (rule (width 250) (clearance " +
           std::to_string(clearance) + "))\n  )\n" + rest + "\n)\n";
}

class DrcCommandTest : public testshell::ScratchFolderTest {
protected:
    testshell::Outcome Check(const std::string& wiring, bool json = false) {
        Write("drc.dsn", Design(wiring));
        EXPECT_EQ(Harrow("import -q drc.dsn").exitCode, 0);
        return Harrow(std::string("drc drc.pcbdoc") + (json ? " --json" : ""));
    }
};

TEST_F(DrcCommandTest, RoutedBoardIsClean) {
    const testshell::Outcome run =
        Check("(wire (path F.Cu 250  11000 -10000  19000 -10000)(net A))\n"
              "(wire (path F.Cu 250  9000 -10000  9000 -5000  21000 -5000  21000 -10000)(net B))");
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_THAT(run.out,
                HasSubstr("drc.pcbdoc: 2 nets (2 with pads, 2 connected), 0 open connections, "
                          "0 violations"));
}

TEST_F(DrcCommandTest, OpenAndOutlineAreListed) {
    // B is not wired; A's three segments come within 0.1 mm of the top edge.
    const std::string wiring =
        "(wire (path F.Cu 250  11000 -10000  11000 -225  19000 -225  19000 -10000)(net A))";
    const testshell::Outcome run = Check(wiring);
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_THAT(run.out, HasSubstr("open B: Pad (354.331, -393.701) mil (9, -10) mm F.CU to Pad "
                                   "(826.772, -393.701) mil (21, -10) mm F.CU"));
    EXPECT_THAT(run.out, HasSubstr("outline on F.CU"));
    EXPECT_THAT(run.out,
                HasSubstr("Track A - BoardOutline (no net), 3.937 mil (0.1 mm) < 7.874 mil "
                          "(0.2 mm)"));
    const testshell::Outcome json = Check(wiring, true);
    EXPECT_THAT(json.out, HasSubstr("\"opens\":1,\"violations\":3,"));
    EXPECT_THAT(json.out, HasSubstr("\"exit\":1}"));
}

TEST_F(DrcCommandTest, ALayerWithoutAPadShapeCarriesNoCopper) {
    // The pads have shapes on F.Cu, In1.Cu and B.Cu only; B's tracks cross
    // A's pads on the inner layer named Power and on In2.Cu.
    Write("layers.dsn", testfs::ReadFile(kData / "layers.dsn"));
    ASSERT_EQ(Harrow("import -q layers.dsn").exitCode, 0);
    const testshell::Outcome run = Harrow("drc layers.pcbdoc --json");
    EXPECT_THAT(run.out, HasSubstr("\"opens\":0,\"violations\":0,"));
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
}

// Classes A and B ask 0.18 mm between their own nets, the board 0.3 mm. B
// must cross a wall of A's pads (on both layers, edge to edge) through one
// gap of 0.7 mm: room for its 0.25 mm track at 0.18 mm, not at 0.3 mm. The
// router keeps what the check asks of the pair: B stays open, nothing is
// too near.
TEST_F(DrcCommandTest, TheRouterKeepsTheClearanceTheCheckAsksOfTwoClasses) {
    std::string pins, wallPins;
    int n = 0;
    auto pin = [&](double y) {
        pins +=
            "(pin SQ " + std::to_string(++n) + " 0 " + std::to_string(static_cast<int>(y)) + ")";
        wallPins += " W1-" + std::to_string(n);
    };
    for (double y = -10000 + 9650 - 400; y > -10500; y -= 850)
        pin(y);
    for (double y = -10000 + 10350 + 400; y < 10500; y += 850)
        pin(y);
    Write("classes.dsn", TwoLayerDesign("classes.dsn", 300,
                                        R"(
  (placement (component WALL (place W1 15000 -10000 front 0))
             (component R (place R1 5000 -10000 front 0) (place R2 25000 -10000 front 0)))
  (library
    (image WALL )" + pins + R"()
    (image R (pin P 1 0 0))
    (padstack SQ (shape (rect F.Cu -400 -400 400 400)) (shape (rect B.Cu -400 -400 400 400)))
    (padstack P (shape (circle F.Cu 800)) (shape (circle B.Cu 800)))
    (padstack V (shape (circle F.Cu 600)) (shape (circle B.Cu 600)))
  )
  (network
    (net A (pins)" + wallPins +
                                            R"())
    (net B (pins R1-1 R2-1))
    (class CA A (rule (clearance 180)))
    (class CB B (rule (clearance 180)))
  ))"));
    const testshell::Outcome route = Harrow("import -q classes.dsn --autoroute");
    EXPECT_LE(route.exitCode, 1) << route.err;
    const testshell::Outcome run = Harrow("drc classes.pcbdoc --json");
    EXPECT_THAT(run.out, HasSubstr("\"clearance\":0,\"short\":0,"));
}

// Two vias of one net 0.3 mm apart: their copper may touch, their drills
// (5 mil each) come 0.173 mm near, within the board's 0.25 mm. Two vias of
// one net on one centre are one hole.
TEST_F(DrcCommandTest, DrillsNearerThanTheHoleGapAreListed) {
    Write("holes.dsn", TwoLayerDesign("holes.dsn", 200, R"(
  (library (padstack V (shape (circle F.Cu 600)) (shape (circle B.Cu 600))))
  (network (net A))
  (wiring
    (via V 10000 -10000 (net A)) (via V 10300 -10000 (net A)) (via V 20000 -10000 (net A))
    (via V 20000 -10000 (net A))
  ))"));
    ASSERT_EQ(Harrow("import -q holes.dsn").exitCode, 0);
    const testshell::Outcome run = Harrow("drc holes.pcbdoc");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.out, HasSubstr(": Via A - Via A, 6.811 mil (0.173 mm) < 9.842 mil (0.25 mm)"));
    const testshell::Outcome json = Harrow("drc holes.pcbdoc --json");
    EXPECT_THAT(json.out, HasSubstr("\"violations\":1,\"clearance\":0,\"short\":0,\"outline\":0,"
                                    "\"keepout\":0,\"hole\":1,"));
    EXPECT_THAT(json.out, HasSubstr("\"hole_gap_mil\":9.842"));
}

// Square and L-shaped polygon pads on parts turned by 0 and 45 degrees and
// on the back. Tracks of B come 0.16 mm from a square's corner, which a
// disc of the square's size leaves 1.3 mm away; tracks of A lie in the L's
// notch, inside the L's bounding box but clear of its copper.
TEST_F(DrcCommandTest, PolygonPadsHaveTheirTrueCopper) {
    const std::string library = R"(
  (placement
    (component SQ (place U1 10000 -10000 front 0) (place U2 30000 -10000 front 45)
                  (place U3 10000 -30000 back 0)))
  (library
    (image SQ (pin Sq 1 0 0) (pin Ell 2 3000 0))
    (padstack Sq (shape (polygon F.Cu 0  -2500 -2500  2500 -2500  2500 2500  -2500 2500)))
    (padstack Ell (shape (polygon F.Cu 0  0 0  2000 0  2000 500  500 500  500 2000  0 2000)))
    (padstack V (shape (circle F.Cu 600)) (shape (circle B.Cu 600)))
  )
  (network (net A (pins U1-1 U2-1 U3-1)) (net B (pins U1-2 U2-2 U3-2))))";
    auto design = [&](const std::string& name, const std::string& wiring) {
        std::string text = TwoLayerDesign(name, 200, library + wiring);
        text.replace(text.find("(rect pcb 0 -20000 30000 0)"), 27, "(rect pcb 0 -40000 40000 0)");
        return text;
    };
    Write("poly.dsn", design("poly.dsn", R"(
  (wiring
    (wire (path F.Cu 250  7300 -7300  7250 -7250)(net B))
    (wire (path F.Cu 250  26182 -10000  26132 -10000)(net B))
    (wire (path B.Cu 250  12700 -27300  12750 -27250)(net B))
    (wire (path F.Cu 250  14600 -8600  14650 -8550)(net A))
    (wire (path F.Cu 250  32263 -5757  32313 -5707)(net A))
    (wire (path B.Cu 250  5400 -28600  5350 -28550)(net A))
  ))"));
    ASSERT_LE(Harrow("import -q poly.dsn").exitCode, 1);
    const testshell::Outcome run = Harrow("drc poly.pcbdoc");
    for (const char* at : {"(7.4, -7.4) mm: Pad A - Track B, 6.214 mil (0.1578 mm)",
                           "(26.3232, -10) mm: Pad A - Track B, 6.199 mil (0.1575 mm)",
                           "(12.6, -27.4) mm: Pad A - Track B, 6.214 mil (0.1578 mm)"})
        EXPECT_THAT(run.out, HasSubstr(at)) << at;
    EXPECT_THAT(run.out, HasSubstr("3 violations (3 clearance, 0 short,"));

    // Routed: every connection ends on copper (the L's centre is not on
    // it), and nothing comes near a corner.
    Write("bare.dsn", design("bare.dsn", ""));
    ASSERT_LE(Harrow("import -q bare.dsn --autoroute").exitCode, 1);
    const testshell::Outcome routed = Harrow("drc bare.pcbdoc");
    EXPECT_EQ(routed.exitCode, 0) << routed.out;
    EXPECT_THAT(routed.out, HasSubstr("0 open connections, 0 violations"));
    // The picture draws the L as it is, in its part's frame.
    const testshell::Outcome svg = Harrow("show bare.pcbdoc --svg");
    EXPECT_THAT(svg.out,
                HasSubstr("points=\"118.1102,0 196.8504,0 196.8504,19.6851 137.7953,19.6851 "
                          "137.7953,78.7402 118.1102,78.7402\""));
}

} // namespace
