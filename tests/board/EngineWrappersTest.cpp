// Wrappers against the real engine: every kind written and read back, classes,
// rules, walks by kind, layer and net, stale handles and the layer stack.
#include "board/BoardFacade.h"
#include "board/Pcbclass.h"
#include "support/BoardItems.h"
#include "support/EngineFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using ::testing::HasSubstr;

namespace {

using enginetest::EngineBoardTest;

// Makes a new engine object of the wrapper's kind and takes its defaults.
template <typename W> W Make(TObjectId kind) {
    W w(PCBProcs::PcbApi_CreateObject(kind));
    EXPECT_NE(w.ObjectHandle, 0) << "kind " << kind;
    EXPECT_EQ(w.QueryDatabase(1), 1);
    return w;
}

// Writes the wrapper's record, adds the object to the board and reads it back
// into a fresh wrapper.
template <typename W> W WriteAddReadBack(TPcbBoard& host, W& written) {
    EXPECT_EQ(written.QueryDatabase(0), 1);
    EXPECT_EQ(host.AddObject(written.ObjectHandle), 0);
    return BoardItem<W>(written.ObjectHandle);
}

// Every listed field (or state getter) of the read-back wrapper equals the one written.
template <typename W, typename... Members>
void ExpectFieldsKept(const W& written, const W& read, Members... members) {
    int field = 0;
    auto same = [&](auto m) {
        EXPECT_EQ(std::invoke(m, read), std::invoke(m, written))
            << "field " << field++ << " listed";
    };
    (same(members), ...);
}

// Each test's new board, as the wrappers' host.
class EngineWrappers : public EngineBoardTest {
protected:
    void SetUp() override {
        EngineBoardTest::SetUp();
        host = TPcbBoard(board);
    }
    TPcbBoard host{0};
};

TEST_F(EngineWrappers, TrackArcFillViaRoundTrip) {
    auto n = Make<TPcbNet>(eNetObject);
    n.Name = "SIG1";
    const intptr_t net = WriteAddReadBack(host, n).ObjectHandle;
    auto track = Make<TPcbTrack>(eTrackObject);
    track.x1 = 1000, track.y1 = -2000, track.x2 = 3000000, track.y2 = 4000, track.Width = 80000;
    track.Net = net, track.Moveable = true, track.BitField2 = 0x5A, track.BitField3 = 0x1234;
    track.SetState_Layer(eV6_BottomLayer);
    const auto t = WriteAddReadBack(host, track);
    EXPECT_EQ(GetObjectKind(track.ObjectHandle), eTrackObject);
    ExpectFieldsKept(track, t, &TPcbTrack::x1, &TPcbTrack::y1, &TPcbTrack::x2, &TPcbTrack::y2,
                     &TPcbTrack::Width, &TPcbTrack::Net, &TPcbTrack::Moveable,
                     &TPcbTrack::BitField2, &TPcbTrack::BitField3, &TPcbTrack::GetState_Layer);

    auto arc = Make<TPcbArc>(eArcObject);
    arc.x1 = 500, arc.y1 = 600, arc.Radius = 250000, arc.Angle1 = 45.5, arc.Angle2 = 270.25;
    arc.LineWidth = 12000;
    arc.SetState_Layer(eV6_TopOverlay);
    const auto a = WriteAddReadBack(host, arc);
    ExpectFieldsKept(arc, a, &TPcbArc::x1, &TPcbArc::y1, &TPcbArc::Radius, &TPcbArc::Angle1,
                     &TPcbArc::Angle2, &TPcbArc::LineWidth, &TPcbArc::GetState_Layer);

    auto fill = Make<TPcbFill>(eFillObject);
    fill.x1 = -10, fill.y1 = -20, fill.x2 = 30, fill.y2 = 40, fill.Angle = 30.0;
    fill.SetState_Layer(eV6_KeepOutLayer);
    const auto f = WriteAddReadBack(host, fill);
    ExpectFieldsKept(fill, f, &TPcbFill::x1, &TPcbFill::y1, &TPcbFill::x2, &TPcbFill::y2,
                     &TPcbFill::Angle, &TPcbFill::GetState_Layer);

    auto via = Make<TPcbVia>(eViaObject);
    via.x1 = 777, via.y1 = 888, via.Size = 500000, via.HoleSize = 250000;
    via.LowLayer = eV6_TopLayer, via.HighLayer = eV6_BottomLayer, via.Height = 15000;
    via.FIsAssyTestPointBtm = true, via.Net = net;
    via.SetState_Layer(eV6_MultiLayer);
    const auto v = WriteAddReadBack(host, via);
    ExpectFieldsKept(via, v, &TPcbVia::x1, &TPcbVia::y1, &TPcbVia::Size, &TPcbVia::HoleSize,
                     &TPcbVia::LowLayer, &TPcbVia::HighLayer, &TPcbVia::Height,
                     &TPcbVia::FIsAssyTestPointTop, &TPcbVia::FIsAssyTestPointBtm, &TPcbVia::Net);
    EXPECT_FALSE(v.FIsAssyTestPointTop);
}

TEST_F(EngineWrappers, PadRecordAndPerLayerStack) {
    auto pad = Make<TPcbPad>(ePadObject);
    pad.x1 = 12345, pad.y1 = 54321, pad.TopXsize = 600000, pad.TopYsize = 400000;
    pad.MidXsize = 500000, pad.MidYsize = 500000, pad.BotXsize = 300000, pad.BotYsize = 200000;
    pad.HoleSize = 150000, pad.TopShape = eRectangular, pad.MidShape = eRounded;
    pad.BotShape = eOctagonal, pad.Name = "A12", pad.DaisyChainStyle = eDaisyChainSource;
    pad.Plated = false, pad.Angle = 90.0, pad.SwapID_Pad = "sp", pad.SwappedPadName = "A13";
    pad.FHoleType = eSlotHole, pad.FHoleWidth = 99000, pad.FHoleRotation = 15.0;
    pad.FPadOffsetX = 11, pad.FPadOffsetY = -11, pad.FJumperID = 3;
    pad.FIsAssyTestPointBtm = true;
    pad.SetState_Layer(eV6_MultiLayer);
    ASSERT_EQ(pad.QueryDatabase(0), 1);
    // The per-layer entries follow the top, mid and bottom sizes and shapes.
    ASSERT_EQ(pad.QueryDatabase(1), 1);
    EXPECT_EQ(pad.GetState_ShapeOnLayer(eV6_MidLayer3), eRounded);
    EXPECT_EQ(pad.GetState_XSizeOnLayer(eV6_MidLayer3), 500000);
    // In external-stack mode the per-layer copies go out on a write.
    pad.FMode = ePadMode_ExternalStack;
    pad.SetState_ShapeOnLayer(eV6_MidLayer3, eRoundedRectangular);
    pad.SetState_XSizeOnLayer(eV6_MidLayer3, 420000);
    pad.SetState_YSizeOnLayer(eV6_MidLayer3, 210000);
    pad.SetState_CRPctOnLayer(eV6_MidLayer3, 40);
    ASSERT_EQ(pad.QueryDatabase(0), 1);
    ASSERT_EQ(host.AddObject(pad.ObjectHandle), 0);

    const auto p = BoardItem<TPcbPad>(pad.ObjectHandle);
    ExpectFieldsKept(pad, p, &TPcbPad::x1, &TPcbPad::y1, &TPcbPad::TopXsize, &TPcbPad::TopYsize,
                     &TPcbPad::MidXsize, &TPcbPad::BotXsize, &TPcbPad::BotYsize, &TPcbPad::HoleSize,
                     &TPcbPad::TopShape, &TPcbPad::MidShape, &TPcbPad::BotShape, &TPcbPad::Name,
                     &TPcbPad::DaisyChainStyle, &TPcbPad::Plated, &TPcbPad::Angle,
                     &TPcbPad::SwapID_Pad, &TPcbPad::SwappedPadName, &TPcbPad::FHoleType,
                     &TPcbPad::FHoleWidth, &TPcbPad::FHoleRotation, &TPcbPad::FPadOffsetX,
                     &TPcbPad::FPadOffsetY, &TPcbPad::FJumperID, &TPcbPad::FMode,
                     &TPcbPad::FIsAssyTestPointTop, &TPcbPad::FIsAssyTestPointBtm);
    EXPECT_EQ(p.GetState_ShapeOnLayer(eV6_MidLayer3), eRoundedRectangular);
    EXPECT_EQ(p.GetState_XSizeOnLayer(eV6_MidLayer3), 420000);
    EXPECT_EQ(p.GetState_YSizeOnLayer(eV6_MidLayer3), 210000);
    EXPECT_EQ(p.GetState_CRPctOnLayer(eV6_MidLayer3), 40);
    EXPECT_EQ(p.GetState_ShapeOnLayer(eV6_TopLayer), eRectangular);
    EXPECT_EQ(p.GetState_XSizeOnLayer(eV6_BottomLayer), 300000);

    // A walk's read of the record alone (the test points' walk), into a
    // wrapper just made: the record as the whole read gives it, the
    // per-layer entries as made. A deleted pad's read fails and leaves the
    // wrapper as made.
    const TPcbPad made(pad.ObjectHandle);
    TPcbPad recordOnly(pad.ObjectHandle);
    ASSERT_EQ(recordOnly.ReadRecordOnly(), 1);
    ExpectFieldsKept(p, recordOnly, &TPcbPad::x1, &TPcbPad::y1, &TPcbPad::TopXsize,
                     &TPcbPad::MidYsize, &TPcbPad::BotYsize, &TPcbPad::HoleSize, &TPcbPad::BotShape,
                     &TPcbPad::Name, &TPcbPad::DaisyChainStyle, &TPcbPad::Plated, &TPcbPad::Angle,
                     &TPcbPad::SwapID_Pad, &TPcbPad::SwappedPadName, &TPcbPad::FHoleType,
                     &TPcbPad::FHoleRotation, &TPcbPad::FPadOffsetY, &TPcbPad::FJumperID,
                     &TPcbPad::Net, &TPcbPad::FIsAssyTestPointTop, &TPcbPad::FIsAssyTestPointBtm);
    EXPECT_EQ(recordOnly.GetState_XSizeOnLayer(eV6_MidLayer3),
              made.GetState_XSizeOnLayer(eV6_MidLayer3));
    ASSERT_EQ(host.DeleteObject(pad.ObjectHandle), 0);
    TPcbPad stale(pad.ObjectHandle);
    EXPECT_NE(stale.ReadRecordOnly(), 1);
    ExpectFieldsKept(made, stale, &TPcbPad::x1, &TPcbPad::TopXsize, &TPcbPad::Name,
                     &TPcbPad::Plated, &TPcbPad::FIsAssyTestPointBtm);
}

TEST_F(EngineWrappers, NewPadsCopiedFromOneMadeKeepTheModeTheyAreGiven) {
    // A pad made through the facade notes what the new object holds; copies
    // given other new pads take the note along. Whatever the note, the mode
    // each write asks for is the mode the engine keeps.
    TPcbPad first(0);
    ASSERT_TRUE(Board::Make(first));
    ASSERT_TRUE(first.FreshBitFields().Known);
    EXPECT_EQ(first.FreshBitFields().PadMode, first.FMode);
    const TPadMode fresh = first.FMode;
    const TPadMode other = fresh == ePadMode_LocalStack ? ePadMode_Simple : ePadMode_LocalStack;
    TPcbPad same = first;
    same.SetState_ObjectHandle(Board::NewObject(ePadObject));
    TPcbPad changed = first;
    changed.SetState_ObjectHandle(Board::NewObject(ePadObject));
    changed.FMode = other;
    first.FMode = other;
    for (TPcbPad* pad : {&first, &same, &changed})
        ASSERT_TRUE(Board::AddTo(board, *pad));
    EXPECT_EQ(BoardItem<TPcbPad>(first.ObjectHandle).FMode, other);
    EXPECT_EQ(BoardItem<TPcbPad>(same.ObjectHandle).FMode, fresh);
    EXPECT_EQ(BoardItem<TPcbPad>(changed.ObjectHandle).FMode, other);
    // The write used the note up: a later change of mode is written too.
    same.FMode = other;
    ASSERT_TRUE(Board::Write(same));
    EXPECT_EQ(BoardItem<TPcbPad>(same.ObjectHandle).FMode, other);
}

TEST_F(EngineWrappers, TextComponentRegionPolygonSplitPlane) {
    auto comp = Make<TPcbComponent>(eComponentObject);
    comp.Pattern = "SO-8", comp.x1 = 100000, comp.y1 = 200000, comp.SourceDesignator = "U1";
    comp.FootprintDescription = "small outline";
    comp.SetState_Layer(eV6_TopLayer);
    WriteAddReadBack(host, comp);
    auto pad = Make<TPcbPad>(ePadObject);
    pad.Name = "1", pad.x1 = 100000, pad.y1 = 200000;
    pad.SetState_Layer(eV6_TopLayer);
    ASSERT_EQ(pad.QueryDatabase(0), 1);
    EXPECT_EQ(comp.AddObject(0), 1);
    ASSERT_EQ(comp.AddObject(pad.ObjectHandle), 0);
    const auto c = BoardItem<TPcbComponent>(comp.ObjectHandle);
    ExpectFieldsKept(comp, c, &TPcbComponent::Pattern, &TPcbComponent::SourceDesignator,
                     &TPcbComponent::FootprintDescription);
    EXPECT_NE(c.Name, 0);
    EXPECT_EQ(BoardItem<TPcbPad>(pad.ObjectHandle).Component, comp.ObjectHandle);
    int pads = 0;
    ProcessItems(
        board, ePadObject, [&](intptr_t) { return ++pads, true; }, comp.ObjectHandle);
    EXPECT_EQ(pads, 1);

    auto designator = BoardItem<TPcbText>(c.Name);
    designator.Text = "U1", designator.Size = 600000, designator.FontName = "Mono";
    designator.Mirror = true;
    ASSERT_EQ(designator.QueryDatabase(0), 1);
    ExpectFieldsKept(designator, BoardItem<TPcbText>(c.Name), &TPcbText::Text, &TPcbText::Size,
                     &TPcbText::FontName, &TPcbText::Mirror);

    auto region = Make<TPCBRegion>(eRegionObject);
    region.MainContour = {{0, 0}, {1000, 0}, {1000, 1000}, {0, 1000}};
    region.Holes = {{{100, 100}, {200, 100}, {200, 200}},
                    {{500, 500}, {600, 500}, {600, 600}, {500, 600}}};
    region.FKind = eRegionKind_Cutout;
    region.LayerSet = TV6_LayerSet{eV6_TopLayer, eV6_BottomLayer, eV6_Mechanical2};
    region.Data = 7;
    region.SetState_Layer(eV6_TopLayer);
    const auto r = WriteAddReadBack(host, region);
    ASSERT_EQ(r.GetState_MainContourCount(), 4);
    EXPECT_EQ(r.MainContour[2].x, 1000);
    EXPECT_EQ(r.MainContour[2].y, 1000);
    ASSERT_EQ(r.GetState_HoleCount(), 2);
    EXPECT_EQ(r.Holes[0].size(), 3u);
    EXPECT_EQ(r.Holes[1].size(), 4u);
    EXPECT_EQ(r.Holes[1][3].x, 500);
    ExpectFieldsKept(region, r, &TPCBRegion::FKind, &TPCBRegion::LayerSet, &TPCBRegion::Data);

    auto polygon = Make<TPcbPolygon>(ePolygonObject);
    for (int i = 0; i < 5; ++i) {
        TPcbPolySegment& s = polygon.Segments.emplace_back();
        s.Kind = ePolySegmentLine, s.vx = i * 100, s.vy = (i % 2) * 100;
    }
    polygon.PointCount = 4, polygon.PourOver = true, polygon.TrackSize = 8000, polygon.Grid = 8000;
    polygon.PolyHatchStyle = ePolyHatch45;
    polygon.SetState_Layer(eV6_TopLayer);
    const auto pg = WriteAddReadBack(host, polygon);
    ExpectFieldsKept(polygon, pg, &TPcbPolygon::PointCount, &TPcbPolygon::PourOver,
                     &TPcbPolygon::PolyHatchStyle);
    ASSERT_EQ(pg.Segments.size(), 5u);
    EXPECT_EQ(pg.Segments[3].vx, 300);
    EXPECT_EQ(pg.Segments[3].vy, 100);

    auto plane = Make<TPcbSplitPlane>(eSplitPlaneObject);
    plane.Segments = polygon.Segments, plane.PointCount = 4;
    plane.SetState_Layer(eV6_InternalPlane2);
    const auto sp = WriteAddReadBack(host, plane);
    EXPECT_EQ(sp.Segments.size(), 5u);
    EXPECT_EQ(sp.GetState_Layer(), eV6_InternalPlane2);

    TPcbBoardOutline outline(TPcbBoardOutline::CreateFor(board));
    ASSERT_NE(outline.ObjectHandle, 0);
    ASSERT_EQ(outline.QueryDatabase(1), 1);
    outline.Segments = polygon.Segments, outline.PointCount = 4;
    ASSERT_EQ(outline.QueryDatabase(0), 1);
    EXPECT_EQ(outline.Update(), 1);
    const auto o = BoardItem<TPcbBoardOutline>(outline.ObjectHandle);
    EXPECT_EQ(o.ObjectKind, eBoardOutlineObject);
    EXPECT_EQ(o.Segments.size(), 5u);
}

TEST_F(EngineWrappers, OutlinesWithoutSegmentsStillExchangeTheirRecord) {
    // A new polygon has no segments yet; its record still carries the
    // engine's defaults.
    auto polygon = Make<TPcbPolygon>(ePolygonObject);
    EXPECT_TRUE(polygon.Segments.empty());
    EXPECT_EQ(polygon.GetState_Layer(), eV6_TopLayer);
    EXPECT_EQ(polygon.PolyHatchStyle, ePolySolid);
    EXPECT_TRUE(polygon.PrimitiveLock);
    EXPECT_GT(polygon.TrackSize, 0);
    auto plane = Make<TPcbSplitPlane>(eSplitPlaneObject);
    EXPECT_EQ(plane.GetState_Layer(), eV6_InternalPlane1);
    EXPECT_TRUE(plane.PrimitiveLock);
    TPcbBoardOutline outline(TPcbBoardOutline::CreateFor(board));
    ASSERT_EQ(outline.QueryDatabase(1), 1);
    EXPECT_EQ(outline.GetState_Layer(), eV6_KeepOutLayer);

    // Segments taken away: the rest of the record still comes back.
    polygon.Segments.assign(3, TPcbPolySegment{});
    polygon.PointCount = 3;
    ASSERT_EQ(polygon.QueryDatabase(0), 1);
    ASSERT_EQ(host.AddObject(polygon.ObjectHandle), 0);
    auto emptied = BoardItem<TPcbPolygon>(polygon.ObjectHandle);
    ASSERT_EQ(emptied.Segments.size(), 3u);
    emptied.Segments.clear();
    emptied.PointCount = 0, emptied.PourOver = true;
    emptied.SetState_Layer(eV6_BottomLayer);
    ASSERT_EQ(emptied.QueryDatabase(0), 1);
    TPcbPolygon again(polygon.ObjectHandle);
    again.Segments.assign(2, TPcbPolySegment{});
    ASSERT_EQ(again.QueryDatabase(1), 1);
    EXPECT_TRUE(again.Segments.empty());
    EXPECT_TRUE(again.PourOver);
    EXPECT_EQ(again.GetState_Layer(), eV6_BottomLayer);
}

// Embedded objects of the longest description: the chunked storage test.
TEST_F(EngineWrappers, NetFromToRoundTrip) {
    auto net = Make<TPcbNet>(eNetObject);
    net.Name = "VCC", net.ConnectsVisible = false, net.PwrGndColor = 0x00FF00;
    ExpectFieldsKept(net, WriteAddReadBack(host, net), &TPcbNet::Name, &TPcbNet::ConnectsVisible,
                     &TPcbNet::PwrGndColor);

    auto fromTo = Make<TPcbManualFromTo>(eManualFromToObject);
    fromTo.FromPad = "U1-1", fromTo.ToPad = "R3-2", fromTo.NetName = "VCC", fromTo.Color = 5;
    ExpectFieldsKept(fromTo, WriteAddReadBack(host, fromTo), &TPcbManualFromTo::FromPad,
                     &TPcbManualFromTo::ToPad, &TPcbManualFromTo::NetName,
                     &TPcbManualFromTo::Color);
}

TEST_F(EngineWrappers, ClassMembersAreReplacedOnWrite) {
    TPCBObjectClass cls(PCBProcs::PcbApi_CreateClassObject(eNetObject));
    ASSERT_NE(cls.ObjectHandle, 0);
    ASSERT_EQ(cls.QueryDatabase(1), 1);
    EXPECT_TRUE(cls.MemberList.empty());
    cls.Name = "Power", cls.MemberKind = eClassMemberKind_Net;
    cls.MemberList = {"VCC", "GND", "V3_3"};
    ASSERT_EQ(cls.QueryDatabase(0), 1);
    ASSERT_EQ(host.AddObject(cls.ObjectHandle), 0);
    auto readBack = BoardItem<TPCBObjectClass>(cls.ObjectHandle);
    ExpectFieldsKept(cls, readBack, &TPCBObjectClass::Name, &TPCBObjectClass::MemberList);

    readBack.MemberList = {"GND"};
    ASSERT_EQ(readBack.QueryDatabase(2), 1);
    EXPECT_EQ(BoardItem<TPCBObjectClass>(cls.ObjectHandle).MemberList,
              (std::vector<std::string>{"GND"}));

    readBack.MemberList.clear();
    ASSERT_EQ(readBack.QueryDatabase(0), 1);
    const auto emptied = BoardItem<TPCBObjectClass>(cls.ObjectHandle);
    EXPECT_TRUE(emptied.MemberList.empty());
    EXPECT_EQ(emptied.Name, "Power");
}

TEST_F(EngineWrappers, RuleRecordAndName) {
    TPcbRuleEx rule(PCBProcs::PcbApi_CreateRuleObject(eRule_MaxMinWidth));
    ASSERT_NE(rule.ObjectHandle, 0);
    EXPECT_EQ(rule.Priority, -1);
    ASSERT_EQ(rule.QueryDatabase(1), 0);
    EXPECT_EQ(rule.Kind, eRule_MaxMinWidth);
    EXPECT_EQ(rule.Scope1Expression, "All");
    rule.Name = "Width_Power", rule.Scope1Expression = "InNet('VCC')";
    rule.NetScope = eNetScope_AnyNet, rule.LayerKind = eRuleLayerKind_AdjacentLayer;
    rule.Priority = 3;
    ASSERT_EQ(rule.QueryDatabase(0), 0);
    ASSERT_EQ(host.AddObject(rule.ObjectHandle), 0);
    TPcbRuleEx back(rule.ObjectHandle);
    ASSERT_EQ(back.QueryDatabase(1), 0);
    ExpectFieldsKept(rule, back, &TPcbRuleEx::Name, &TPcbRuleEx::Scope1Expression,
                     &TPcbRuleEx::NetScope, &TPcbRuleEx::LayerKind, &TPcbRuleEx::Priority);
    EXPECT_EQ(back.Scope2Expression, "All");

    // A stale rule: the record exchange fails (1) and the name is not touched.
    ASSERT_EQ(host.DeleteObject(rule.ObjectHandle), 0);
    TPcbRuleEx stale(rule.ObjectHandle);
    stale.Name = "kept";
    EXPECT_EQ(stale.QueryDatabase(1), 1);
    EXPECT_EQ(stale.Name, "kept");
}

TEST_F(EngineWrappers, WalksByKindLayerAndNet) {
    auto makeNet = [&](const std::string& name) {
        auto n = Make<TPcbNet>(eNetObject);
        n.Name = name;
        return WriteAddReadBack(host, n).ObjectHandle;
    };
    const intptr_t gnd = makeNet("GND");
    const intptr_t vcc = makeNet("VCC");
    std::vector<intptr_t> made;
    for (int i = 0; i < 12; ++i) {
        auto t = Make<TPcbTrack>(eTrackObject);
        t.x2 = i * 1000, t.Width = 100;
        t.SetState_Layer(i % 3 == 0 ? eV6_BottomLayer
                                    : (i % 3 == 1 ? eV6_TopLayer : eV6_MidLayer1));
        t.Net = i % 2 ? gnd : vcc;
        made.push_back(WriteAddReadBack(host, t).ObjectHandle);
    }
    auto via = Make<TPcbVia>(eViaObject);
    via.Net = gnd;
    WriteAddReadBack(host, via);

    EXPECT_EQ(CollectItems(board, eTrackObject), made); // in the order added
    EXPECT_EQ(CollectItems(board, eViaObject).size(), 1u);
    EXPECT_EQ(CollectItems(board, eTrackObject, 0, eV6_TopLayer).size(), 4u);
    EXPECT_EQ(CollectItems(board, eTrackObject, gnd).size(), 6u);
    EXPECT_EQ(CollectItems(board, eIgnoreObject, gnd).size(), 7u);
    int onLayers = host.ProcessItems_2(eTrackObject, TV6_LayerSet{eV6_TopLayer, eV6_BottomLayer},
                                       [](intptr_t) { return true; });
    EXPECT_EQ(onLayers, 8);
    // Every track seen on a layer-set walk lies on one of those layers.
    ProcessItemsOnLayers(board, eTrackObject, TV6_LayerSet{eV6_MidLayer1}, [&](intptr_t h) {
        EXPECT_EQ(BoardItem<TPcbTrack>(h).GetState_Layer(), eV6_MidLayer1);
        return true;
    });
    // A visitor answering false stops the walk.
    int seen = 0;
    host.ProcessItems_1(eTrackObject, [&](intptr_t) { return ++seen < 3; });
    EXPECT_EQ(seen, 3);
}

TEST_F(EngineWrappers, StaleAndForeignHandlesAreRefused) {
    auto track = Make<TPcbTrack>(eTrackObject);
    track.Width = 321;
    WriteAddReadBack(host, track);
    ASSERT_EQ(host.DeleteObject(track.ObjectHandle), 0);

    TPcbTrack stale(track.ObjectHandle);
    stale.Width = 999, stale.x1 = 5;
    EXPECT_EQ(stale.QueryDatabase(1), 0);
    EXPECT_EQ(stale.Width, 999);
    EXPECT_EQ(stale.x1, 5);
    EXPECT_EQ(stale.QueryDatabase(0), 0);
    EXPECT_NE(host.AddObject(track.ObjectHandle), 0);
    EXPECT_EQ(GetObjectKind(track.ObjectHandle), eIgnoreObject);
    EXPECT_TRUE(CollectItems(board, eTrackObject).empty());

    // A handle of another kind is refused by a wrapper of a different kind.
    auto net = Make<TPcbNet>(eNetObject);
    TPcbVia notAVia(net.ObjectHandle);
    notAVia.Size = 42;
    EXPECT_EQ(notAVia.QueryDatabase(1), 0);
    EXPECT_EQ(notAVia.Size, 42);
    PCBProcs::PcbApi_DestroyObject(net.ObjectHandle);
    EXPECT_EQ(TPcbBoard(987654).QueryDatabase(1), 0);
}

TEST_F(EngineWrappers, BoardRecordPlanesAndPairs) {
    TPcbBoard current = TPcbBoard::Current();
    ASSERT_EQ(current.ObjectHandle, board);
    ASSERT_EQ(current.QueryDatabase(1), 1);
    EXPECT_THAT(current.GetState_FileName(), HasSubstr(fileName));
    EXPECT_EQ(current.Dielectric_Top.Material, "FR-4");
    EXPECT_EQ(current.Dielectric_Top.Kind, 1);
    EXPECT_DOUBLE_EQ(current.Dielectric_Top.Constant, 4.8);
    EXPECT_EQ(current.Dielectric_Bottom.Height, 126000);
    current.OriginX = 1234567, current.OriginY = -7654321, current.SnapGridSize = 25000.0;
    current.DisplayUnit = eMetric;
    ASSERT_EQ(current.QueryDatabase(0), 1);
    TPcbBoard again(board);
    ASSERT_EQ(again.QueryDatabase(1), 1);
    ExpectFieldsKept(current, again, &TPcbBoard::OriginX, &TPcbBoard::OriginY,
                     &TPcbBoard::SnapGridSize, &TPcbBoard::DisplayUnit);

    ASSERT_EQ(current.SetProperty_InternalPlaneNetName(eV6_InternalPlane2, "GND"), 1);
    ASSERT_GT(again.QueryLayers(1), 0);
    EXPECT_EQ(again.GetState_InternalPlane(eV6_InternalPlane2)->NetName, "GND");

    ASSERT_EQ(
        current.AddLayerPair("Top-Bottom", TV7_Layer(eV6_TopLayer), TV7_Layer(eV6_BottomLayer)), 0);
    ASSERT_EQ(again.ReadLayerPairs(), 1);
    const TPcbLayerPair* pair =
        again.GetState_LayerPairByPair(TV7_Layer(eV6_BottomLayer), TV7_Layer(eV6_TopLayer));
    ASSERT_NE(pair, nullptr);
    EXPECT_EQ(pair->Name, "Top-Bottom");
    EXPECT_EQ(again.GetState_LayerPairByPair(TV7_Layer(eV6_TopLayer), TV7_Layer(eV6_MidLayer1)),
              nullptr);
}

std::vector<TV6_Layer> StackOf(const TPcbBoard& board) {
    std::vector<TV6_Layer> stack;
    for (const TLayerObject* layer = board.GetState_FirstLayerInStack();
         layer != nullptr && stack.size() < 100; layer = board.GetState_NextLayerInStack(layer))
        stack.push_back(layer->LayerId);
    return stack;
}

TEST_F(EngineWrappers, LayerStackWalk) {
    ASSERT_EQ(host.QueryLayers(1), 82);
    EXPECT_EQ(StackOf(host), (std::vector<TV6_Layer>{eV6_TopLayer, eV6_BottomLayer}));

    ASSERT_EQ(host.InsertLayerInStack(eV6_MidLayer1, eV6_TopLayer), 0);
    ASSERT_EQ(host.InsertLayerInStack(eV6_InternalPlane1, eV6_MidLayer1), 0);
    TLayerObject* mid = host.GetState_LayerObject(eV6_MidLayer1);
    mid->Name = "Signal 2";
    mid->CopperThickness = 14000;
    ASSERT_EQ(mid->QueryDatabase(0), 1);
    ASSERT_EQ(host.QueryLayers(1), 82);
    EXPECT_EQ(StackOf(host), (std::vector<TV6_Layer>{eV6_TopLayer, eV6_MidLayer1,
                                                     eV6_InternalPlane1, eV6_BottomLayer}));
    EXPECT_EQ(host.GetState_LayerObject(eV6_MidLayer1)->Name, "Signal 2");
    EXPECT_EQ(host.GetState_LayerObject(eV6_MidLayer1)->CopperThickness, 14000);
    EXPECT_TRUE(host.GetState_LayerObject(eV6_InternalPlane1)->IsInLayerStack());
    EXPECT_FALSE(host.GetState_LayerObject(eV6_MidLayer2)->IsInLayerStack());

    // Down to a single layer: it is the first layer without a previous layer.
    for (const TV6_Layer layer : {eV6_MidLayer1, eV6_InternalPlane1, eV6_BottomLayer})
        ASSERT_EQ(PCBProcs::PcbApi_RemoveLayerFromStack(board, layer), 0) << V6LayerName(layer);
    EXPECT_NE(PCBProcs::PcbApi_RemoveLayerFromStack(board, eV6_TopLayer), 0);
    ASSERT_EQ(host.QueryLayers(1), 82);
    const TLayerObject* first = host.GetState_FirstLayerInStack();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->LayerId, eV6_TopLayer);
    EXPECT_EQ(host.GetState_NextLayerInStack(first), nullptr);
    EXPECT_EQ(StackOf(host), (std::vector<TV6_Layer>{eV6_TopLayer}));
}

} // namespace
