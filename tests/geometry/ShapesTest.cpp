// Shapes read from design text, measured, written back as text and kept in
// parameter text; then written to a board of the engine by owner and layer.
#include "BoardItems.h"
#include "support/EngineFixture.h"
#include "support/ParserTestSupport.h"

#include "design/SpecctraDesign.h"
#include "geometry/SpecctraShapes.h"
#include "persistence/EmbeddedStorageWrapper.h"
#include "persistence/ReportManager.h"
#include "specctra/SpecctraParser2.h"
#include "specctra/SpecctraWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Reads "(keyword ...)" into a new shape owned by `owner`; `ok` tells whether it read.
std::unique_ptr<TSpecctraAbstractGeometryShape> ReadShape(TSpecctraParser& parser,
                                                          TSpecctraObject* owner, bool& ok) {
    EXPECT_EQ(parser.NextToken(), eTok_OpenParen);
    auto shape = CreateShapeForToken(parser.NextToken(), owner);
    EXPECT_NE(shape, nullptr);
    ok = shape->ImportFromFile();
    return shape;
}

// A design root over a text whose first block is read by the test.
struct TShapeReader {
    explicit TShapeReader(const std::string& text, intptr_t board = 0) {
        ResetTranslationState();
        // Files end with a line end; the reader needs one after a last ")".
        parser = MakeParser(text + "\n");
        design = std::make_unique<TSpecctraDesign>("t.dsn", parser.get(), nullptr, board);
        design->SetReportEnabled(false);
        design->FUnits = eDimMil;
    }
    // The next shape of the text, owned by the design.
    std::unique_ptr<TSpecctraAbstractGeometryShape> Read(bool* ok = nullptr) {
        bool ignored = false;
        return ReadShape(*parser, design.get(), ok ? *ok : ignored);
    }
    const std::vector<std::string>& Events() const { return design->Report()->Events(); }
    bool Has(const std::string& line) const {
        return std::find(Events().begin(), Events().end(), line) != Events().end();
    }
    std::unique_ptr<TSpecctraParser> parser;
    std::unique_ptr<TSpecctraDesign> design;
};

// A shape's bounding rectangle: left, bottom, right, top.
std::vector<double> Bounds(TSpecctraAbstractGeometryShape& shape) {
    double lx, ly, hx, hy;
    shape.BoundingRectangle(lx, ly, hx, hy);
    return {lx, ly, hx, hy};
}

std::pair<double, double> XY(const TVertex& vertex) {
    return {vertex.X, vertex.Y};
}

// Shapes read one after the other from one text: each stays within its own
// block, whatever it holds, and the text ends after the last one. Each row:
// the text, whether it reads, its vertices, layer and bounds (when checked).
TEST(ShapeText, ShapesReadTheirVerticesOrReportAndStayWithinTheirBlock) {
    struct TCase {
        std::string Text;
        bool Ok;
        int32_t Vertices; // -1: not checked
        std::string Layer;
        std::vector<double> Bounds;
    };
    const std::vector<TCase> cases = {
        // Rect corners come in any order; plain words arrive in upper case.
        {"(rect SIGNAL 100 200 0 0)", true, 2, "SIGNAL", {0, 0, 100, 200}},
        {"(rect pcb -5 7 5 -7)", true, 2, "PCB", {-5, -7, 5, 7}},
        // A circle's centre is optional; quoted names keep their case; a
        // third number is reported.
        {"(circle TOP 50)", true, -1, "TOP", {-25, -25, 25, 25}},
        {"(circ 'F.Cu' 20 3.5 -4)", true, -1, "F.Cu", {-6.5, -14, 13.5, 6}},
        {"(circle TOP 10 1 2 3)", false, -1, "", {}},
        {"(path TOP 10 0 0 100 0 (aperture_type square))", true, 2, "", {}},
        // Flag words and blocks inside a path are passed over.
        {"(path TOP 4 1 1 2 2 (ViaPop 3) (x (y 1)) 5 5)", true, 3, "", {}},
        {"(path TOP 4 1 1 (aperture_type oval))", false, -1, "", {}},
        // A polygon is closed once; a path is not.
        {"(polygon TOP 0 0 0 100 0 100 100)", true, 4, "", {}},
        {"(polygon TOP 0 0 0 1 0 1 1 0 0)", true, 4, "", {}},
        {"(path TOP 0 0 0 100 0 100 100)", true, 3, "", {}},
        {"(rect TOP 1 2 3)", false, -1, "", {}},
        {"(qarc TOP 1 0 0 1 1)", false, -1, "", {}},
        // A polygon of one vertex reads; it is closed by nothing.
        {"(polygon TOP 1 5 5)", true, 1, "", {}},
        {"(path TOP 1 abc 2 3 4)", false, -1, "", {}},
        {"(rect)", false, -1, "", {}}};
    std::string text;
    for (const TCase& c : cases)
        text += c.Text + " ";
    TShapeReader reader(text);
    std::vector<std::unique_ptr<TSpecctraAbstractGeometryShape>> shapes;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Text);
        bool ok = !c.Ok;
        shapes.push_back(reader.Read(&ok));
        EXPECT_EQ(ok, c.Ok);
        if (c.Vertices >= 0) {
            EXPECT_EQ(shapes.back()->VertexCount(), c.Vertices);
        }
        if (!c.Layer.empty()) {
            EXPECT_EQ(shapes.back()->LayerID, c.Layer);
            EXPECT_EQ(Bounds(*shapes.back()), c.Bounds);
        }
    }
    reader.parser->NextToken();
    EXPECT_TRUE(reader.parser->EndOfFile());
    EXPECT_EQ(shapes[1]->AreaSize(), 140);
    auto* circle = static_cast<TSpecctraCircleShape*>(shapes[2].get());
    EXPECT_EQ(circle->Diameter(), 50);
    EXPECT_EQ(XY(circle->Center()), std::pair(0.0, 0.0));
    EXPECT_TRUE(reader.Has("ERROR: Unexpected token <3> in line 1"));
    EXPECT_TRUE(reader.Has("ERROR: Unexpected token <OVAL> in line 1"));
    auto* square = static_cast<TSpecctraPolyLineShape*>(shapes[5].get());
    EXPECT_EQ(square->ApertureType(), eSquareAperture);
    EXPECT_EQ(square->ApertureWidth(), 10);
    EXPECT_EQ(XY(shapes[10]->GetVertex(2)), std::pair(100.0, 100.0)); // the last one
}

TEST(ShapeText, PolygonOfAMillionVerticesReadsInOnePass) {
    std::string text = "(polygon TOP 1";
    text.reserve(14 * 1000000);
    for (int i = 0; i < 1000000; ++i)
        text += " " + std::to_string(i % 1000) + " " + std::to_string(i / 1000);
    text += ")";
    TShapeReader reader(text);
    bool ok = false;
    auto shape = reader.Read(&ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(shape->VertexCount(), 1000001);
    EXPECT_EQ(Bounds(*shape), (std::vector<double>{-0.5, -0.5, 999.5, 999.5}));
}

TEST(ShapeText, ArcAnglesAreSeenFromTheCentre) {
    const TVertex c{0, 0};
    EXPECT_EQ(ArcAngleOf({10, 0}, c), 0);
    EXPECT_EQ(ArcAngleOf({0, -10}, c), 270);
    EXPECT_EQ(ArcAngleOf({-10, 0}, c), 180);
    EXPECT_EQ(ArcAngleOf({0, 10}, c), 90);
    EXPECT_EQ(ArcAngleOf({0, 0}, c), 270); // start on the centre
    EXPECT_NEAR(ArcAngleOf({-1, -1}, c), 225, 1e-9);
}

// The shapes as they come back from stored parameters (host units), written as
// route-file text.
TEST(ShapeWriting, EveryKindHasItsLayout) {
    ResetTranslationState();
    const testfs::TempFolder scratch;
    TSpecctraWriter writer((scratch / "shapes.rte").string());
    TSpecctraDesign design("t.rte", nullptr, &writer, 0);
    design.SetReportEnabled(false);
    design.FUnits = eDimMil;
    TranslationState().BoardOffsetX = 10000;
    TSpecctraRectShape rect(&design);
    rect.LayerID = "TOP";
    rect.Coordinates = {{10000, -20000}, {30000, 40000}};
    rect.ExportToFile();
    TSpecctraCircleShape circle(&design);
    circle.LayerID = "TOP";
    circle.FDiameter = 25000;
    circle.ExportToFile();
    TSpecctraQArcShape arc(&design);
    arc.LayerID = "B";
    arc.FApertureWidth = 5;
    arc.Coordinates = {{20000, 0}, {10000, 10000}, {10000, 0}};
    arc.ExportToFile();
    TSpecctraPolyLineShape path(&design);
    path.LayerID = "TOP";
    path.FApertureWidth = 2540;
    path.FApertureType = eSquareAperture;
    path.Coordinates = {{10000, 0}, {253997460, 1}};
    path.ExportToFile();
    TSpecctraFilledPolyShape polygon(&design);
    polygon.LayerID = "TOP";
    polygon.Coordinates = {{10000, 0}, {10000, 10000}};
    polygon.ExportToFile();
    EXPECT_EQ(writer.Buffer(), "\r\n"
                               "(rect TOP 0 -20000 20000 40000)\r\n"
                               "\r\n"
                               "  (circle TOP 25000 -10000 0)\r\n"
                               "(qarc B 5 \r\n"
                               "  10000 0 0 10000 0 0 \r\n"
                               ")\r\n"
                               "(path TOP 2540\r\n"
                               "0 0 \r\n"
                               "253987460 1 \r\n"
                               "(aperture_type square)\r\n"
                               ")\r\n"
                               "(polygon TOP 0\r\n"
                               "    0 0\r\n"
                               "    0 10000\r\n"
                               ")");
}

TEST(ShapeParams, HexTextKeepsOneDigitAtLeastAndRectsStoreBoardCoordinates) {
    for (const auto& [number, text] : std::vector<std::pair<int32_t, std::string>>{
             {255, "FF"}, {-1, "FFFFFFFF"}, {0, "0"}, {-5, "FFFFFFFB"}})
        EXPECT_EQ(ShapeHexText(number), text) << number;
    int32_t value = 1;
    EXPECT_TRUE(ShapeHexValue("FFFFFFFB", value));
    EXPECT_EQ(value, -5);
    EXPECT_FALSE(ShapeHexValue("G1", value));
    EXPECT_EQ(value, 0);
    EXPECT_FALSE(ShapeHexValue("123456789", value));
    // A rect stores its board coordinates in it and reads them back.
    TShapeReader reader("(rect TOP -5 -5 5 5)");
    auto shape = reader.Read();
    TStoredParameters params;
    shape->ExportToPcb_ToParams("0P", params);
    EXPECT_EQ(params.ToString(), "0PL=TOP|0PVC=2|0PX0=FFFF3CB0|0PY0=FFFF3CB0|0PX1=C350|0PY1=C350");
    // The layer must be known to the design: it is not, so the read reports it.
    TSpecctraRectShape back(reader.design.get());
    EXPECT_TRUE(back.ImportFromPcb_FromParams("0P", params));
    EXPECT_EQ(back.Left(), -50000);
    EXPECT_EQ(back.Top(), 50000);
    EXPECT_TRUE(reader.Has("ERROR: Stored padstacks contain original layer names. Can't find "
                           "layer: <TOP>. If you change layer names, host PCB sytem might report "
                           "errors."));
}

TEST(ShapeParams, ZeroCoordinatesAreNotStoredAndMissingKeysFail) {
    TShapeReader reader("(rect SIGNAL 0 0 10 0) (circle SIGNAL 8)");
    auto rect = reader.Read();
    TStoredParameters params;
    rect->ExportToPcb_ToParams("1P", params);
    EXPECT_EQ(params.ToString(), "1PVC=2|1PX1=186A0"); // no layer key for SIGNAL
    TSpecctraRectShape back(reader.design.get());
    EXPECT_FALSE(back.ImportFromPcb_FromParams("1P", params)); // Top is 0
    EXPECT_EQ(back.LayerID, "SIGNAL");
    EXPECT_EQ(back.Top(), 0);

    auto circle = reader.Read();
    TStoredParameters circleParams;
    circle->ExportToPcb_ToParams("2P", circleParams);
    EXPECT_EQ(circleParams.ToString(), "2PD=13880|2PVC=1");
    TSpecctraCircleShape lost(reader.design.get());
    EXPECT_FALSE(lost.ImportFromPcb_FromParams("2P", TStoredParameters("2PVC=1"))); // no diameter
    EXPECT_EQ(lost.Diameter(), 0);
    TSpecctraCircleShape kept(reader.design.get());
    EXPECT_TRUE(kept.ImportFromPcb_FromParams("2P", circleParams));
    EXPECT_EQ(kept.Diameter(), 80000);
}

TEST(ShapeParams, PathsKeepApertureAndVertexCountRules) {
    TShapeReader reader("(path TOP 2 1 1 2 2 (aperture_type square))");
    auto path = reader.Read();
    TStoredParameters params;
    path->ExportToPcb_ToParams("P", params);
    EXPECT_TRUE(params.Has("PAS"));
    TSpecctraPolyLineShape back(reader.design.get());
    EXPECT_TRUE(back.ImportFromPcb_FromParams("P", params));
    EXPECT_EQ(back.ApertureType(), eSquareAperture);
    EXPECT_EQ(back.ApertureWidth(), 20000);
    EXPECT_EQ(back.VertexCount(), 2);
    EXPECT_EQ(back.GetVertex(1).X, 20000);

    TSpecctraPolyLineShape empty(reader.design.get());
    TStoredParameters none;
    empty.ExportToPcb_ToParams("E", none);
    EXPECT_TRUE(reader.Has("ERROR: Invalid shape Polyline Shape, no vertexes defined."));
    EXPECT_FALSE(empty.ImportFromPcb_FromParams("E", none));
    EXPECT_TRUE(reader.Has("ERROR: Cannot load number of vertexes for shape: Polyline Shape"));

    TSpecctraRectShape rect(reader.design.get());
    EXPECT_FALSE(rect.ImportFromPcb_FromParams("R", TStoredParameters("RVC=3|RX0=1|RY1=5")));
    EXPECT_TRUE(reader.Has("ERROR: Rectangle may contain only two opposite corner vertices."));

    TSpecctraCircleShape twoCentres(reader.design.get());
    twoCentres.NewVertex();
    TStoredParameters unused;
    twoCentres.ExportToPcb_ToParams("C", unused);
    EXPECT_EQ(unused.Size(), 0u);
    EXPECT_TRUE(reader.Has("ERROR: Error: Multiple point definitions in circle. #10#13 Circle may "
                           "contain only single vertex defining center of the circle."));
}

// Owners with a role, as the model's keepouts, planes and images are.
class TRoleOwner : public TSpecctraObject, public IShapeOwner {
public:
    TRoleOwner(TSpecctraObject* owner, TShapeOwnerRole role, std::string net = {})
        : TSpecctraObject(owner), FRole(role), FNet(std::move(net)) {}
    TShapeOwnerRole ShapeOwnerRole() const override { return FRole; }
    const std::string& ShapeNetName() const override { return FNet; }
    TShapeOwnerRole FRole;
    std::string FNet;
};

const char* const kThreeLayers = "(pcb t (unit mil) (structure (layer TOP (type signal)) "
                                 "(layer GND (type power)) (layer BOT (type signal))))";

// A design whose structure gives three layers, TOP, GND (a plane) and BOT;
// each test reads shapes of its own.
class ShapesOnBoard : public enginetest::EngineBoardTest {
protected:
    void SetUp() override {
        EngineBoardTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        reader = std::make_unique<TShapeReader>(kThreeLayers, board);
        EXPECT_TRUE(reader->design->ImportFromFile());
        reader->design->Structure()->LayerStack().ExportToPCB();
    }
    std::unique_ptr<TSpecctraAbstractGeometryShape> Shape(const std::string& text,
                                                          TSpecctraObject* owner) {
        shapeParsers.push_back(MakeParser(text + "\n", reader->design->Report()));
        owner->Parser = shapeParsers.back().get();
        bool ok = false;
        auto shape = ReadShape(*owner->Parser, owner, ok);
        EXPECT_TRUE(ok) << ::testing::PrintToString(reader->Events());
        return shape;
    }
    // The board's tracks as "layer x1 y1 x2 y2 width keepout".
    std::vector<std::string> Tracks() {
        std::vector<std::string> tracks;
        for (const TPcbTrack& t : BoardItems<TPcbTrack>(board, eTrackObject)) {
            std::ostringstream shown;
            shown << static_cast<int>(t.GetState_Layer()) << " " << t.GetState_x1() << " "
                  << t.GetState_y1() << " " << t.GetState_x2() << " " << t.GetState_y2() << " "
                  << t.GetState_Width() << " "
                  << ((t.GetState_BitField() & PCBAPI_BITFIELD_KEEPOUT) != 0);
            tracks.push_back(shown.str());
        }
        return tracks;
    }
    // The shape parsers outlive the design that is pointed at them.
    std::vector<std::unique_ptr<TSpecctraParser>> shapeParsers;
    std::unique_ptr<TShapeReader> reader;
};

TEST_F(ShapesOnBoard, PlanePolygonOnAPlaneLayerIsASplitPlaneElsewhereAPolygon) {
    TRoleOwner plane(reader->design.get(), TShapeOwnerRole::eSplitPlane, "");
    auto onPlane = Shape("(polygon GND 0 0 0 10 0 10 10)", &plane);
    auto onSignal = Shape("(polygon TOP 2 0 0 10 0 10 10)", &plane);
    EXPECT_TRUE(onPlane->ExportToPCB());
    EXPECT_TRUE(onSignal->ExportToPCB());
    auto planes = BoardItems<TPcbSplitPlane>(board, eSplitPlaneObject);
    ASSERT_EQ(planes.size(), 1u);
    EXPECT_EQ(planes[0].GetState_Layer(), eV6_InternalPlane1);
    EXPECT_EQ(planes[0].GetState_PointCount(), 3);
    auto polygons = BoardItems<TPcbPolygon>(board, ePolygonObject);
    ASSERT_EQ(polygons.size(), 1u);
    EXPECT_EQ(polygons[0].GetState_Layer(), eV6_TopLayer);
    EXPECT_TRUE(polygons[0].GetState_PourOver());
    EXPECT_EQ(polygons[0].GetState_TrackSize(), 20000);
    EXPECT_EQ(polygons[0].GetState_Segments().size(), 4u);
    EXPECT_EQ(TranslationState().CreatedPolygons.size(), 2u);
    // Both shapes name no net: each is reported once as an orphan.
    EXPECT_TRUE(reader->Has("WARNING: Found orphan Filled Polygon Shape shape - without net "
                            "assigned, starting at point (0, 0)"));
}

TEST_F(ShapesOnBoard, KeepoutPathIsFlaggedTracksAndPolygonARegion) {
    TRoleOwner keepout(reader->design.get(), TShapeOwnerRole::eKeepout);
    auto path = Shape("(path BOT 3 0 0 10 0 10 10)", &keepout);
    auto polygon = Shape("(polygon NOSUCH 0 0 0 10 0 10 10)", &keepout);
    EXPECT_TRUE(path->ExportToPCB());
    EXPECT_TRUE(polygon->ExportToPCB());
    EXPECT_EQ(Tracks(), (std::vector<std::string>{"32 0 0 100000 0 30000 1",
                                                  "32 100000 0 100000 100000 30000 1"}));
    auto regions = BoardItems<TPCBRegion>(board, eRegionObject);
    ASSERT_EQ(regions.size(), 1u);
    EXPECT_EQ(regions[0].GetState_Layer(), eV6_KeepOutLayer); // unknown layer under a keepout
    EXPECT_EQ(regions[0].GetState_MainContourCount(), 4);
    EXPECT_NE(regions[0].GetState_BitField() & PCBAPI_BITFIELD_KEEPOUT, 0);
}

TEST_F(ShapesOnBoard, LayerClassesAndUnknownLayers) {
    TRoleOwner image(reader->design.get(), TShapeOwnerRole::eComponentImage);
    EXPECT_EQ(Shape("(path BOT 1 0 0 1 1)", &image)->ExportToPCB_Layer(), eV6_TopOverlay);
    TRoleOwner boundary(reader->design.get(), TShapeOwnerRole::eBoundary);
    EXPECT_EQ(Shape("(path TOP 1 0 0 1 1)", &boundary)->ExportToPCB_Layer(), eV6_KeepOutLayer);
    auto* root = reader->design.get();
    EXPECT_EQ(Shape("(path signal 1 0 0 1 1)", root)->ExportToPCB_Layer(), eV6_MultiLayer);
    EXPECT_EQ(Shape("(path pcb 1 0 0 1 1)", root)->ExportToPCB_Layer(), eV6_KeepOutLayer);
    EXPECT_EQ(Shape("(path power 1 7 8 1 1)", root)->ExportToPCB_Layer(), eV6_MultiLayer);
    EXPECT_TRUE(reader->Has(
        "WARNING: Polyline Shape starting at (70000, 80000) moved from POWER layer to Multilayer"));
    auto lost = Shape("(path INNER9 1 0 0 1 1)", root);
    EXPECT_EQ(lost->ExportToPCB_Layer(), eV6_NoLayer);
    EXPECT_FALSE(lost->ExportToPCB()); // nothing is made on no layer
    EXPECT_TRUE(CollectItems(board, eTrackObject).empty());
    EXPECT_EQ(reader->design->Report()->ErrorCount() > 0, true);
}

TEST_F(ShapesOnBoard, HugeCoordinatesAreReportedNeitherClampedNorWrapped) {
    auto far = Shape("(path TOP 0 0 0 9e12 -9e12)", reader->design.get());
    EXPECT_TRUE(far->ExportToPCB()); // the rest of the design goes on
    EXPECT_TRUE(Tracks().empty()) << "a track beyond the range was made";
    EXPECT_TRUE(reader->Has(
        "ERROR: Polyline Shape on TOP at (9000000000000, -9000000000000) lies outside the "
        "coordinate range of the board; it is not imported."));
    auto near = Shape("(path TOP 0 0 0 200000 -200000)", reader->design.get());
    ASSERT_TRUE(near->ExportToPCB());
    EXPECT_EQ(Tracks(), std::vector<std::string>{"1 0 0 2000000000 -2000000000 0 0"});
}

} // namespace
