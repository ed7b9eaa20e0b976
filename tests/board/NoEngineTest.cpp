// The wrappers with no engine in the process: every query answers its unbound
// result and leaves the fields as they were, nothing is made or added.
#include "board/PCBProcs.h"
#include "board/Pcbclass.h"

#include <gtest/gtest.h>

namespace {

class NoEngine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(PCBProcs::BindEngine()) << "this test must run without the engine";
    }
};

// A failed read writes nothing back: one field of each wrapper tells.
TEST_F(NoEngine, PrimitiveQueriesFailAndKeepFields) {
    TPcbTrack track(77);
    track.Width = 12;
    track.SetState_Layer(eV6_MidLayer4);
    EXPECT_EQ(track.QueryDatabase(1), 0);
    EXPECT_EQ(track.Width, 12);
    EXPECT_EQ(track.GetState_Layer(), eV6_MidLayer4);
    EXPECT_EQ(track.QueryDatabase(0), 0);

    TPcbPad pad(5);
    pad.Name = "A1";
    pad.FMode = ePadMode_ExternalStack;
    pad.SetState_ShapeOnLayer(eV6_BottomLayer, eOctagonal);
    EXPECT_EQ(pad.QueryDatabase(1), 0);
    EXPECT_EQ(pad.Name, "A1");
    EXPECT_EQ(pad.FMode, ePadMode_ExternalStack);
    EXPECT_EQ(pad.GetState_ShapeOnLayer(eV6_BottomLayer), eOctagonal);
    EXPECT_EQ(pad.GetState_ShapeOnLayer(eV6_TopLayer), eRounded);

    TPcbVia via(6);
    via.Height = 17;
    EXPECT_EQ(via.QueryDatabase(1), 0);
    EXPECT_EQ(via.Height, 17);
    TPCBRegion region(8);
    region.MainContour = {{0, 0}, {10, 0}, {10, 10}};
    EXPECT_EQ(region.QueryDatabase(1), 0);
    EXPECT_EQ(region.GetState_MainContourCount(), 3);
    TPcbPolygon polygon(9);
    polygon.Segments.resize(4);
    EXPECT_EQ(polygon.QueryDatabase(1), 0);
    EXPECT_EQ(polygon.Segments.size(), 4u);
    TPcbEmbedded embedded(10);
    embedded.Description = "payload";
    EXPECT_EQ(embedded.QueryDatabase(1), 0);
    EXPECT_EQ(embedded.Description, "payload");
    TPcbNet net(11);
    net.Name = "GND";
    EXPECT_EQ(net.QueryDatabase(1), 0);
    EXPECT_EQ(net.Name, "GND");
}

TEST_F(NoEngine, ClassAndRuleKeepTheirCopies) {
    TPCBObjectClass cls(12);
    cls.Name = "Power";
    cls.MemberList = {"VCC", "GND"};
    EXPECT_EQ(cls.QueryDatabase(1), 0);
    EXPECT_EQ(cls.MemberList, (std::vector<std::string>{"VCC", "GND"}));
    EXPECT_EQ(cls.QueryDatabase(2), 0);

    TPcbRuleEx rule(13);
    rule.Name = "Width_GND";
    EXPECT_EQ(rule.QueryDatabase(1), 0); // unbound rule queries answer 0
    EXPECT_EQ(rule.Name, "Width_GND");
    EXPECT_EQ(rule.Priority, -1);
}

TEST_F(NoEngine, NothingIsMadeAddedOrWalked) {
    EXPECT_EQ(PCBProcs::PcbApi_CreateObject(eTrackObject), 0);
    EXPECT_EQ(PCBProcs::PcbApi_CreateRuleObject(eRule_Clearance), 0);
    EXPECT_EQ(PCBProcs::PcbApi_CreateClassObject(eNetObject), 0);
    EXPECT_EQ(PCBProcs::PcbApi_GetCurrentBoardHandle(), 0);

    TPcbBoard board(1);
    EXPECT_EQ(board.AddObject(0), 1);
    EXPECT_EQ(board.AddObject(42), 1);
    EXPECT_EQ(board.DeleteObject(42), 1);
    TPcbComponent component(2);
    EXPECT_EQ(component.AddObject(0), 1);
    EXPECT_EQ(component.AddObject(42), 1);

    int visited = 0;
    auto count = [&](intptr_t) { return ++visited, true; };
    EXPECT_EQ(ProcessItems(1, eTrackObject, count), 0);
    EXPECT_EQ(ProcessItemsOnLayers(1, eTrackObject, TV6_LayerSet::SignalLayers(), count), 0);
    EXPECT_EQ(visited, 0);
    EXPECT_TRUE(CollectItems(1, eIgnoreObject).empty());
    EXPECT_EQ(GetObjectKind(42), eIgnoreObject);
}

TEST_F(NoEngine, BoardKeepsItsDefaults) {
    TPcbBoard board(3);
    EXPECT_EQ(board.QueryDatabase(1), 0);
    EXPECT_EQ(board.QueryLayers(1), 0);
    EXPECT_EQ(board.Dielectric_Top.Material, "FR-4");
    EXPECT_EQ(board.Dielectric_Top.Kind, 1);
    EXPECT_DOUBLE_EQ(board.Dielectric_Top.Constant, 4.8);
    EXPECT_EQ(board.Dielectric_Top.Height, 126000);
    EXPECT_EQ(board.Dielectric_Bottom, board.Dielectric_Top);
    EXPECT_EQ(board.GetState_FileName(), "");
    EXPECT_EQ(board.ReadLayerPairs(), 1); // no pairs to read
    EXPECT_TRUE(board.LayerPairs.empty());
    EXPECT_EQ(board.InsertLayerInStack(eV6_MidLayer1, eV6_TopLayer), 1);
    EXPECT_EQ(board.SetProperty_InternalPlaneNetName(eV6_InternalPlane1, "GND"), 0);
    EXPECT_EQ(board.GetState_InternalPlane(eV6_InternalPlane1)->NetName, "GND");
    EXPECT_EQ(board.GetState_InternalPlane(eV6_TopLayer), nullptr);
    for (int v = 1; v <= 82; ++v) {
        const auto layer = static_cast<TV6_Layer>(v);
        ASSERT_NE(board.GetState_LayerObject(layer), nullptr);
        EXPECT_EQ(board.GetState_LayerObject(layer)->LayerId, layer);
    }
    EXPECT_EQ(board.GetState_LayerObject(eV6_NoLayer), nullptr);
}

} // namespace
