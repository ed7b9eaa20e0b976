// The structure section read from design text and written to a board of the
// engine: layer stack, routing layers, board offset, vias, grids, keepouts,
// planes and the boundary.
#include "support/DesignText.h"
#include "support/EngineFixture.h"

#include "board/BoardRules.h"
#include "design/SpecctraDesign.h"
#include "persistence/EmbeddedStorageWrapper.h"
#include "persistence/ReportManager.h"
#include "specctra/SpecctraParser2.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Reads a design (and writes it to `board` when asked).
struct TDesignRun : TReadDesign {
    explicit TDesignRun(const std::string& text, intptr_t board = 0, bool write = false)
        : TReadDesign(text + "\n", board, write) {}
    TSpecctraDSNStructureDescriptor& Structure() {
        return static_cast<TSpecctraDSNStructureDescriptor&>(*Design->Structure());
    }
};

std::string Layers(const std::vector<std::pair<std::string, std::string>>& layers) {
    std::string text;
    for (const auto& [name, type] : layers)
        text += "(layer " + name + " (type " + type + "))\n";
    return text;
}

TEST(StructureRead, LayersTypesDirectionsCostsAndNets) {
    TDesignRun run("(pcb t (structure"
                   " (layer TOP (type signal) (direction vertical) (cost high (type length))"
                   "   (property (index 0)))"
                   " (layer GND (type power) (use_net GND AGND))"
                   " (layer J1 (type jumper)) (layer J2 (type jumper))"
                   " (layer MID (type mixed) (direct diagonal) (cost 7) (use_net))"
                   " (layer BOT (type signal))))");
    TSpecctraLayerStack& stack = run.Structure().LayerStack();
    ASSERT_EQ(stack.Count(), 4);
    EXPECT_EQ(stack.Get_Layer(0)->FDirection, eDirection_Vertical);
    EXPECT_EQ(stack.Get_Layer(0)->FCost, eCost_High);
    EXPECT_EQ(stack.Get_Layer(0)->FCostType, 1);
    EXPECT_EQ(stack.Get_Layer(1)->Nets(), (std::vector<std::string>{"GND", "AGND"}));
    EXPECT_EQ(stack.Get_Layer(1)->SpecialLayerName(), "POWER");
    EXPECT_EQ(stack.Get_Layer(2)->FType, eLayerType_Mixed);
    EXPECT_EQ(stack.Get_Layer(2)->FDirection, eDirection_Diagonal);
    EXPECT_EQ(stack.Get_Layer(2)->FCost, 7);
    EXPECT_FALSE(stack.Get_Layer(2)->FHasNets); // an empty use_net names no net
    ASSERT_NE(stack.JumperLayer(), nullptr);
    EXPECT_EQ(stack.JumperLayer()->Name(), "J1");
    EXPECT_EQ(run.Count("WARNING: Multiple jumper layers are not allowed, only first one will be "
                        "used."),
              1);
    // Look-ups: by name (any case), the front and back names, the jumper layer.
    EXPECT_EQ(run.Design->Get_LayerByName("mid"), stack.Get_Layer(2));
    EXPECT_EQ(stack.Get_LayerByName("FRONT LAYER"), stack.First());
    EXPECT_EQ(stack.Get_LayerByName("BACK LAYER"), stack.Last());
    EXPECT_EQ(stack.Get_LayerByName("J1"), stack.JumperLayer());
    EXPECT_EQ(stack.Get_LayerByName("J2"), nullptr);
    EXPECT_EQ(run.Lines().size(), 1u); // the property block is passed over silently
}

TEST(StructureRead, RepeatedLayerNameKeepsBothAndWarns) {
    TDesignRun run("(pcb t (structure (layer A (type signal)) (layer a (type signal))))");
    TSpecctraLayerStack& stack = run.Structure().LayerStack();
    EXPECT_EQ(stack.Count(), 2);
    EXPECT_EQ(stack.Get_LayerByName("A"), stack.First());
    EXPECT_EQ(run.Count("WARNING: Layer A is defined more than once; shapes and rules naming it "
                        "use the first one."),
              1);
}

TEST(StructureRead, ViasSparesAndAForeignInnerBlock) {
    TDesignRun spare("(pcb t (structure (via V1 V2 (spare V3))) (unit mil))");
    const auto& vias = spare.Structure().Vias;
    ASSERT_EQ(vias.size(), 3u);
    EXPECT_FALSE(vias[0].Spare);
    EXPECT_FALSE(vias[1].Spare);
    EXPECT_TRUE(vias[2].Spare);
    EXPECT_EQ(vias[2].Padstack, "V3");
    EXPECT_FALSE(TranslationState().StopFlag);
    EXPECT_EQ(spare.Design->GetUnit(), eDimMil); // reading went on after the structure

    TDesignRun other("(pcb t (structure (via A (other B))) (unit mm))");
    EXPECT_TRUE(TranslationState().StopFlag);
    EXPECT_NE(other.Design->GetUnit(), eDimMm); // the parse stopped
}

TEST(StructureRead, GridsControlAndNoiseWeights) {
    TDesignRun run("(pcb t (structure"
                   " (grid via 5) (grid wire 2 (direction x)) (grid wire 3)"
                   " (grid place 10 (direction y) (image_type smd)) (grid snap 0)"
                   " (grid via_keepout 1 (x)) (grid place 4 (image_type foo))"
                   " (control (off_grid off) (microvia on) (noise_accumulation RSS)"
                   "   (crosstalk_model cct1a) (noise_calculation bogus))"
                   " (layer_noise_weight (layer_pair A B 0.5) (layer_pair B C 2))))");
    TSpecctraDSNStructureDescriptor& s = run.Structure();
    EXPECT_EQ(s.Grids.Count(), 6); // the failed place grid is dropped
    EXPECT_EQ(s.Grids.GetState_Grid(eGrid_Via, eGridDirection_X)->FStep, 5);
    EXPECT_EQ(s.Grids.GetState_Grid(eGrid_Wire, eGridDirection_X)->FStep, 2);
    EXPECT_EQ(s.Grids.GetState_Grid(eGrid_Wire, eGridDirection_Y)->FStep, 3);
    EXPECT_EQ(s.Grids.GetState_Grid(eGrid_Place, eGridDirection_Y)->FStep, 10);
    EXPECT_EQ(s.Grids.GetState_Grid(eGrid_Place, eGridDirection_X), nullptr);
    EXPECT_EQ(s.Grids.GetState_Grid(eGrid_Snap, eGridDirection_X), nullptr); // step 0
    EXPECT_EQ(run.Count("ERROR: Unexpected token <FOO> in line 1"), 1);
    EXPECT_FALSE(s.Control->OffGrid);
    EXPECT_TRUE(s.Control->Microvia);
    EXPECT_TRUE(s.Control->RouteToFanoutOnly);
    EXPECT_EQ(s.Control->NoiseAccumulation, 0);
    EXPECT_EQ(s.Control->CrosstalkModel, 1);
    EXPECT_EQ(s.Control->NoiseCalculation, 1);
    ASSERT_EQ(s.LayerNoiseWeights.size(), 2u);
    EXPECT_EQ(s.LayerNoiseWeights[1].Weight, 2);
}

TEST(StructureRead, KeepoutsPlanesRegionsAndWindows) {
    TDesignRun run("(pcb t (structure"
                   " (keepout 'hole 1' (circle signal 30 5 5) (sequence_number 4))"
                   " (via_keepout (rect TOP 0 0 10 10) (window (rect TOP 2 2 4 4)))"
                   " (place_keepout (polygon signal 0 0 0 5 0 5 5) (type placement))"
                   " (wire_keepout (triangle TOP))"
                   " (plane GND (polygon GND 0 0 0 10 0 10 10))"
                   " (region R1 (rect TOP 0 0 1 1) (region_net N1))"
                   " (place_boundary (rect pcb 0 0 9 9))))");
    TSpecctraDSNStructureDescriptor& s = run.Structure();
    ASSERT_EQ(s.Keepouts->Count(), 3); // the one with an unknown shape fails
    auto* hole = static_cast<TSpecctraKeepout*>(s.Keepouts->GetState_SpecctraObject(0));
    EXPECT_EQ(hole->FIdentifier, "hole 1");
    EXPECT_EQ(hole->FKind, eKeepout_All);
    EXPECT_EQ(hole->FSequenceNumber, 4);
    EXPECT_EQ(hole->VisibleShape()->Kind, TSpecctraShapeType::eCircleShape);
    auto* via = static_cast<TSpecctraKeepout*>(s.Keepouts->GetState_SpecctraObject(1));
    EXPECT_EQ(via->FKind, eKeepout_Via);
    EXPECT_EQ(via->ShapeCount(), 1);
    EXPECT_EQ(via->WindowCount(), 1);
    ASSERT_EQ(s.SplitPlanes->Count(), 1);
    EXPECT_EQ(
        static_cast<TSpecctraSplitPlaneShape*>(s.SplitPlanes->GetState_SpecctraObject(0))->FNetName,
        "GND");
    ASSERT_EQ(s.Regions->Count(), 1);
    auto* region = static_cast<TSpecctraRegion*>(s.Regions->GetState_SpecctraObject(0));
    EXPECT_EQ(region->FIdentifier, "R1");
    ASSERT_NE(region->FShape, nullptr);
    EXPECT_EQ(s.PlaceBoundary->Count(), 1);
    EXPECT_EQ(run.Count("ERROR: Unexpected token <TRIANGLE> in line 1"), 1);
}

class StructureOnBoard : public enginetest::EngineBoardTest {
protected:
    std::vector<int32_t> StackOrder() {
        TPcbBoard pcb(board);
        pcb.QueryLayers(1);
        std::vector<int32_t> order;
        for (TLayerObject* layer = pcb.GetState_FirstLayerInStack(); layer;
             layer = pcb.GetState_NextLayerInStack(layer))
            order.push_back(layer->GetState_LayerId());
        return order;
    }
    std::string LayerName(TV6_Layer layer) { return LayerNameOf(board, layer); }
    std::vector<int32_t> RoutingCodes() {
        for (intptr_t handle : CollectItems(board, eRuleObject)) {
            TPcbRuleEx rule(handle);
            rule.QueryDatabase(1);
            if (rule.GetState_Kind() != eRule_RoutingLayers)
                continue;
            EXPECT_EQ(rule.GetState_Name(), "Routing Layers From Layer Stack");
            std::vector<int32_t> codes(PCBAPI_ROUTING_LAYER_COUNT);
            PCBProcs::PcbApi_QueryRuleRoutingLayersRule(1, handle, codes.data());
            return codes;
        }
        return {};
    }
};

TEST_F(StructureOnBoard, EighteenPowerLayersFillSixteenPlanesSignalsGoOn) {
    std::vector<std::pair<std::string, std::string>> layers = {{"TOP", "signal"}};
    for (int i = 1; i <= 18; ++i)
        layers.push_back({"PWR" + std::to_string(i), "power"});
    layers.insert(layers.end(), {{"IN1", "signal"}, {"BOT", "signal"}});
    TDesignRun run("(pcb t (structure " + Layers(layers) + "))", board, true);
    std::vector<int32_t> expected = {1};
    for (int plane = 39; plane <= 54; ++plane)
        expected.push_back(plane);
    expected.insert(expected.end(), {2, 32});
    EXPECT_EQ(StackOrder(), expected);
    EXPECT_EQ(LayerName(eV6_InternalPlane16), "PWR16");
    EXPECT_EQ(LayerName(eV6_MidLayer1), "IN1");
    for (const char* lost : {"PWR17", "PWR18"})
        EXPECT_EQ(run.Count(std::string("ERROR: Cannot add ") + lost +
                            " to layer stack. No internal planes available. Try decreasing "
                            "number of internal planes in design!"),
                  1);
    EXPECT_EQ(run.Structure().LayerStack().Get_LayerByName("PWR17")->GetState_HostLayer(),
              eV6_NoLayer);
}

TEST_F(StructureOnBoard, ThirtyThreeSignalLayersLeaveOneOut) {
    std::vector<std::pair<std::string, std::string>> layers;
    for (int i = 0; i < 33; ++i)
        layers.push_back({"L" + std::to_string(i), "signal"});
    TDesignRun run("(pcb t (structure " + Layers(layers) + "))", board, true);
    EXPECT_EQ(StackOrder().size(), 32u);
    EXPECT_EQ(run.Count("ERROR: Cannot add L31 to layer stack. No more layers available. Try "
                        "decreasing number of layers in design"),
              1);
    EXPECT_EQ(LayerName(eV6_BottomLayer), "L32");
}

TEST_F(StructureOnBoard, UndirectedLayersAlternateFromTheLastDirectedOne) {
    TDesignRun run("(pcb t (structure (layer A) (layer B) (layer P (type power))"
                   " (layer C (direction vertical)) (layer D) (layer E (direction diagonal))"
                   " (layer F) (layer G (direction negative_diagonal))))",
                   board, true);
    std::vector<int32_t> codes = RoutingCodes();
    ASSERT_EQ(codes.size(), 32u);
    // A 1, B 2, C vertical 2, D 1, E diagonal 3, F 2, G negative diagonal 9.
    EXPECT_EQ((std::vector<int32_t>{codes[0], codes[1], codes[2], codes[3], codes[4], codes[5],
                                    codes[31]}),
              (std::vector<int32_t>{1, 2, 2, 1, 3, 2, 9}));
}

TEST_F(StructureOnBoard, BoardsInsideOrTooWideGetNoOffset) {
    TDesignRun inside("(pcb t (unit mil) (structure (boundary (rect pcb 2000 2000 97999 97999))))",
                      board, true);
    EXPECT_EQ(TranslationState().BoardOffsetX, 0);
    EXPECT_EQ(TranslationState().BoardOffsetY, 0);
    EXPECT_EQ(FindEmbeddedObject(board, "BoardOffset"), 0);
    EXPECT_EQ(inside.Count("WARNING: Board offseted to fit in Harrow workspace. Please check "
                           "current board origin"),
              0);

    TDesignRun wide("(pcb t (unit mil) (structure (boundary (rect pcb -10 -5 100000 5))))");
    EXPECT_EQ(TranslationState().BoardOffsetX, 0);
    EXPECT_EQ(TranslationState().BoardOffsetY, 0);
}

TEST_F(StructureOnBoard, BoundaryOutlinePlanesKeepoutsAndGrids) {
    TDesignRun run("(pcb t (unit mil) (structure"
                   " (layer TOP (type signal)) (layer GND (type power) (use_net GND))"
                   " (layer BOT (type signal))"
                   " (boundary (rect pcb 2000 2000 3000 3000)"
                   "  (path signal 5 2000 2000 3000 2000 3000 3000 2000 3000))"
                   " (keepout (rect TOP 2100 2100 2200 2200))"
                   " (keepout (polygon BOT 0 2100 2100 2200 2100 2200 2200))"
                   " (plane GND (polygon GND 0 2000 2000 2500 2000 2500 2500))"
                   " (grid via 5) (grid snap 2 (direction y))))",
                   board, true);
    EXPECT_EQ(StackOrder(), (std::vector<int32_t>{1, 39, 32}));
    // The design rectangle and the board shape, four tracks each, and the
    // keepout rect's four flagged tracks.
    int keepoutTracks = 0, outlineTracks = 0;
    for (intptr_t handle : CollectItems(board, eTrackObject)) {
        TPcbTrack track(handle);
        track.QueryDatabase(1);
        const bool keepout = track.GetState_BitField() & PCBAPI_BITFIELD_KEEPOUT;
        ++(keepout ? keepoutTracks : outlineTracks);
        EXPECT_EQ(track.GetState_Layer(), keepout ? eV6_TopLayer : eV6_KeepOutLayer);
    }
    EXPECT_EQ(keepoutTracks, 4);
    EXPECT_EQ(outlineTracks, 8);
    EXPECT_EQ(CollectItems(board, eRegionObject).size(), 1u);
    // The plane polygon and the outline plane of the one-net power layer.
    EXPECT_EQ(CollectItems(board, eSplitPlaneObject).size(), 2u);
    TPcbBoard pcb(board);
    pcb.QueryDatabase(1);
    TPcbBoardOutline outline(pcb.GetState_BoardOutline());
    outline.QueryDatabase(1);
    EXPECT_EQ(outline.GetState_PointCount(), 4);
    EXPECT_EQ(outline.GetState_TrackSize(), 50000);
    EXPECT_EQ(pcb.GetState_ViaGridSize(), 50000);
    EXPECT_EQ(pcb.GetState_SnapGridSizeY(), 20000);
    EXPECT_EQ(pcb.GetState_SnapGridUnit(), 1);
    TPcbBoard planes(board);
    planes.QueryLayers(1);
    EXPECT_EQ(planes.GetState_InternalPlane(eV6_InternalPlane1)->GetState_NetName(), "GND");
}

TEST_F(StructureOnBoard, BoundaryWithoutRectOrSignalShapeOnlyWarns) {
    TDesignRun run("(pcb t (structure (boundary (path pcb 0 0 0 100 0 100 100))))", board, true);
    EXPECT_EQ(run.Count("WARNING: Board Shape Not Found, Design Bounding Rectangle Not Found!"), 1);
    EXPECT_TRUE(CollectItems(board, eTrackObject).empty());
    TPcbBoard pcb(board);
    pcb.QueryDatabase(1);
    EXPECT_EQ(pcb.GetState_BoardOutline(), 0);
}

// Via styles come from the library's padstacks; the test stands in for it.
TEST_F(StructureOnBoard, ViaStylesForNonSpareViasOnly) {
    // The library holds none of the padstacks: each via that asks for a style
    // is named in an error, the spare one is not asked for.
    TDesignRun run("(pcb t (structure (via V1 V2 MISSING (spare V3))) (library))", board, true);
    for (const auto& [padstack, count] : {std::pair{"V1", 1}, {"V2", 1}, {"MISSING", 1}, {"V3", 0}})
        EXPECT_EQ(run.Count(std::string("ERROR: Invalid padstack reference returned for: ") +
                            padstack + ", while tryng to create board level routing via styles."),
                  count)
            << padstack;
    TDesignRun noLibrary("(pcb t (structure (via V1)))", board, true);
    EXPECT_EQ(noLibrary.Count("ERROR: Invalid library reference returned, while tryng to create "
                              "board level routing via styles."),
              1);
}

} // namespace
