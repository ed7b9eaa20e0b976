// The structure through harrow: import a design, save the board, reopen it
// with "harrow show --json" and find what the design's structure holds.
#include "support/ScratchShell.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using testshell::Outcome;
using testshell::Read;

class StructureEndToEnd : public testshell::ScratchFolderTest {
protected:
    // Imports the design text and answers the reopened board as JSON.
    std::string ImportAndShow(const std::string& text) {
        Write("d.dsn", text);
        // 1: imported, with errors in the report (those the test asks for).
        const Outcome import = Harrow("import d.dsn");
        EXPECT_TRUE(import.exitCode == 0 || import.exitCode == 1) << import.err;
        const Outcome show = Harrow("show d.pcbdoc --json");
        EXPECT_EQ(show.exitCode, 0) << show.err;
        report = Read(folder + "/d.rpt");
        return show.out;
    }
    static bool Has(const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
    }
    static void ExpectIn(const std::string& text, std::initializer_list<const char*> parts) {
        for (const char* part : parts)
            EXPECT_TRUE(Has(text, part)) << part;
    }
    std::string report;
};

TEST_F(StructureEndToEnd, DemoShowsItsLayersOutlineKeepoutAndPlane) {
    const std::string demo = Read(std::string(DSNLINK_SOURCE_DIR) + "/examples/demo.dsn");
    ASSERT_FALSE(demo.empty());
    const std::string json = ImportAndShow(demo);
    ExpectIn(json, {"\"LayerStack\":[1,39,32]", "\"LayerId\":1,\"Name\":\"F.CU\"",
                    "\"LayerId\":39,\"Name\":\"GND.PLANE\"", "\"LayerId\":32,\"Name\":\"B.CU\"",
                    // The outline: four corners of the 50 x 30 mm board, moved 2000 mil in.
                    "\"V6_Layer\":56,\"x1\":0,\"y1\":0,\"PointCount\":4,\"Segments\":[{"
                    "\"Kind\":0,\"vx\":20000000,\"vy\":31811024},{\"Kind\":0,\"vx\":"
                    "39685039,\"vy\":31811024}",
                    // The mounting-hole keepout: a flagged full circle on the keep-out layer.
                    "\"Arc\":[{\"Id\":\"Arc#1\",\"BitField\":1,",
                    "\"Radius\":688976,\"Angle1\":0,\"Angle2\":360,\"LineWidth\":0",
                    // The GND plane on the first internal plane.
                    "\"SplitPlane\":[{\"Id\":\"SplitPlane#1\"",
                    "\"V6_Layer\":39,\"x1\":0,\"y1\":0,\"PointCount\":4",
                    "Type=BoardOffset|X=20000000|Y=31811024"});
    EXPECT_TRUE(Has(report, "WARNING: Board offseted to fit in Harrow workspace."));
}

TEST_F(StructureEndToEnd, OffsetOfABoardLeftOfTheWorkspace) {
    const std::string json = ImportAndShow(
        "(pcb d (unit mil) (structure (layer A) (layer B)"
        " (boundary (rect pcb -500 3000 3000 4000) (path signal 0 -500 3000 3000 3000 3000 4000"
        "   -500 4000))"
        " (keepout (rect A 100 3900 0 3800))"
        " (keepout (qarc B 1 0 3500 -10 3510 0 3510))))\n");
    ExpectIn(json, {"Type=BoardOffset|X=25000000|Y=0", "\"OriginX\":25000000,\"OriginY\":0",
                    // The keepout rect's edges go round in order, whatever order its
                    // corners came in.
                    "\"V6_Layer\":1,\"x1\":25000000,\"y1\":38000000,\"x2\":26000000,"
                    "\"y2\":38000000",
                    "\"V6_Layer\":1,\"x1\":26000000,\"y1\":39000000,\"x2\":25000000,"
                    "\"y2\":39000000",
                    // The quarter arc starts below its centre: 270 degrees; its width is
                    // the qarc's 1 mil.
                    "\"Radius\":100000,\"Angle1\":270,\"Angle2\":180,\"LineWidth\":10000",
                    "\"PointCount\":4,\"Segments\":[{\"Kind\":0,\"vx\":20000000,\"vy\":"
                    "30000000}"});
}

TEST_F(StructureEndToEnd, BadStructuresReportAndImportTheRest) {
    const std::string json =
        ImportAndShow("(pcb d (unit mil) (structure (layer A) (layer B)"
                      " (boundary (polygon signal 0 0 0 5 0 5 5))"
                      " (grid via 0) (grid wire -3)"
                      " (keepout (path B 0 0 0 1e15 1e15)) (keepout (polygon A 0 1 1))"
                      " (plane GND (circle A 5))))\n");
    EXPECT_TRUE(Has(json, "\"LayerStack\":[1,32]"));
    // The far path lies beyond the host range: reported and left out, never
    // clamped; a one-vertex polygon makes no region (and, as a failed
    // keepout, ends the keepouts).
    ExpectIn(report, {"ERROR: Unexpected token <POLYGON> in line 1",
                      "WARNING: Board Shape Not Found, Design Bounding Rectangle Not Found!",
                      "WARNING: Grid step 0 in line 1 is not positive; the grid is not used.",
                      "ERROR: Failed creating polygon //DR"});
    EXPECT_TRUE(Has(report, "ERROR: Polyline Shape on B at (1e+15, 1e+15) lies outside the "
                            "coordinate range of the board; it is not imported."))
        << report;
    EXPECT_FALSE(Has(json, "2147483647"));
    EXPECT_TRUE(Has(json, "\"ViaGridSize\":50000")); // the board's own grid stays
}

} // namespace
