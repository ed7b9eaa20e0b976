// Board-object wrappers and the host enumerations.
//
// A wrapper holds an engine handle and a copy of the object's record as plain
// fields. QueryDatabase(1) reads the record into the fields, QueryDatabase(0)
// writes the fields into the engine object. A read that fails leaves the
// fields as they were. Text crosses the engine boundary in buffers of
// PCBAPI_TEXT_CAPACITY bytes; inside, every text is a std::string.
#pragma once

#include "board/Layers.h"
#include "sdk/ObjectKinds.h"
#include "sdk/PcbApi.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// ----------------------------------------------------------------- enumerations

enum TObjectId : int32_t {
#define DSNLINK_OBJECT_ID(name, ordinal) e##name##Object = ordinal,
    PCBAPI_OBJECT_KINDS(DSNLINK_OBJECT_ID)
#undef DSNLINK_OBJECT_ID
};

enum TShape : int32_t {
    eNoShape = 0,
    eRounded = 1,
    eRectangular = 2,
    eOctagonal = 3,
    eCircleShape = 4,
    eArcShape = 5,
    eTerminator = 6,
    eRoundRectShape = 7,
    eRotatedRectShape = 8,
    eRoundedRectangular = 9,
};

enum TPadMode : int32_t {
    ePadMode_Simple = 0,
    ePadMode_LocalStack = 1,
    ePadMode_ExternalStack = 2,
};

enum TDaisyChainStyle : int32_t {
    eDaisyChainLoad = 0,
    eDaisyChainTerminator = 1,
    eDaisyChainSource = 2,
};

enum TClassMemberKind : int32_t {
    eClassMemberKind_Net = 0,
    eClassMemberKind_Component = 1,
    eClassMemberKind_FromTo = 2,
    eClassMemberKind_Pad = 3,
    eClassMemberKind_Layer = 4,
    eClassMemberKind_DesignChannel = 5,
    eClassMemberKind_DifferentialPair = 6,
    eClassMemberKind_Polygon = 7,
    eClassMemberKind_SplitPlane = 8,
};

enum TRegionKind : int32_t {
    eRegionKind_Copper = 0,
    eRegionKind_Cutout = 1,
    eRegionKind_NamedRegion = 2,
    eRegionKind_BoardCutout = 3,
};

enum TNetScope : int32_t {
    eNetScope_DifferentNetsOnly = 0,
    eNetScope_SameNetOnly = 1,
    eNetScope_AnyNet = 2,
};

enum TRuleLayerKind : int32_t {
    eRuleLayerKind_SameLayer = 0,
    eRuleLayerKind_AdjacentLayer = 1,
};

enum TPolyHatchStyle : int32_t {
    ePolyHatch90 = 0,
    ePolyHatch45 = 1,
    ePolyVHatch = 2,
    ePolyHHatch = 3,
    ePolyNoHatch = 4,
    ePolySolid = 5,
};

enum TUnit : int32_t {
    eMetric = 0,
    eImperial = 1,
};

enum TExtendedDrillType : int32_t {
    eDrilledHole = 0,
    ePunchedHole = 1,
    eLaserDrilledHole = 2,
    ePlasmaDrilledHole = 3,
};

enum TExtendedHoleType : int32_t {
    eRoundHole = 0,
    eSquareHole = 1,
    eSlotHole = 2,
};

// Segment kinds of a polygon, split plane or board outline.
enum TPolySegmentKind : int32_t {
    ePolySegmentLine = 0,
    ePolySegmentArc = 1,
};

enum TRuleKind : int32_t {
    eRule_Clearance = 0,
    eRule_ParallelSegment = 1,
    eRule_MaxMinWidth = 2,
    eRule_MaxMinLength = 3,
    eRule_MatchedLengths = 4,
    eRule_DaisyChainStubLength = 5,
    eRule_PowerPlaneConnectStyle = 6,
    eRule_RoutingTopology = 7,
    eRule_RoutingPriority = 8,
    eRule_RoutingLayers = 9,
    eRule_RoutingCornerStyle = 10,
    eRule_RoutingViaStyle = 11,
    eRule_PowerPlaneClearance = 12,
    eRule_SolderMaskExpansion = 13,
    eRule_PasteMaskExpansion = 14,
    eRule_ShortCircuit = 15,
    eRule_BrokenNets = 16,
    eRule_ViasUnderSMD = 17,
    eRule_MaximumViaCount = 18,
    eRule_MinimumAnnularRing = 19,
    eRule_PolygonConnectStyle = 20,
    eRule_AcuteAngle = 21,
    eRule_ConfinementConstraint = 22,
    eRule_SMDToCorner = 23,
    eRule_ComponentClearance = 24,
    eRule_ComponentRotations = 25,
    eRule_PermittedLayers = 26,
    eRule_NetsToIgnore = 27,
    eRule_SignalStimulus = 28,
    eRule_OvershootFalling = 29,
    eRule_OvershootRising = 30,
    eRule_UndershootFalling = 31,
    eRule_UndershootRising = 32,
    eRule_MaxMinImpedance = 33,
    eRule_SignalTopValue = 34,
    eRule_SignalBaseValue = 35,
    eRule_FlightTimeRising = 36,
    eRule_FlightTimeFalling = 37,
    eRule_LayerStack = 38,
    eRule_SlopeRising = 39,
    eRule_SlopeFalling = 40,
    eRule_SupplyNets = 41,
    eRule_MaxMinHoleSize = 42,
    eRule_TestPointStyle = 43,
    eRule_TestPointUsage = 44,
    eRule_UnconnectedPin = 45,
    eRule_SMDToPlane = 46,
    eRule_SMDNeckDown = 47,
    eRule_LayerPair = 48,
    eRule_FanoutControl = 49,
    eRule_MaxMinHeight = 50,
    eRule_DifferentialPairsRouting = 51,
    eRule_HoleToHoleClearance = 52,
    eRule_MinimumSolderMaskSliver = 53,
    eRule_SilkToSolderMaskClearance = 54,
    eRule_SilkToSilkClearance = 55,
    eRule_NetAntennae = 56,
    eRule_AssyTestPointStyle = 57,
    eRule_AssyTestPointUsage = 58,
    eRule_SilkToBoardRegionClearance = 59,
    eRule_SMDPadEntry = 60,
    eRule_ComponentPlacementGrid = 61,
    eRule_BoardOutlineClearance = 62,
    eRule_CrossTalk = 63,
    eRule_ThermalRelief = 64,
    eRule_BackDrilling = 65,
    eRule_ReturnPath = 66,
};
constexpr int32_t kRuleKindCount = 67;

// A field with its accessors GetState_<Name> and SetState_<Name>.
#define PCB_FIELD(Type, Name, Init)                                                                \
    Type Name = Init;                                                                              \
    const Type& GetState_##Name() const {                                                          \
        return Name;                                                                               \
    }                                                                                              \
    void SetState_##Name(const Type& value) {                                                      \
        Name = value;                                                                              \
    }

using TPcbPoint = PcbApiPoint;
using TPcbPolySegment = PcbApiPolySegment;

// A dielectric record (material, kind, constant, height in host units).
struct TDielectricRecord {
    std::string Material = "FR-4";
    int32_t Kind = 1;
    double Constant = 4.8;
    int32_t Height = 126000;
    bool operator==(const TDielectricRecord&) const = default;
};

// ------------------------------------------------------------------ TPCBObject

// Base of every board-object wrapper.
class TPCBObject {
public:
    TPCBObject(intptr_t handle, TObjectId kind) : ObjectHandle(handle), ObjectKind(kind) {}
    virtual ~TPCBObject() = default;
    TPCBObject(const TPCBObject&) = default;
    TPCBObject& operator=(const TPCBObject&) = default;

    // Mode 1 reads the engine record into the fields, mode 0 (or 2) writes the
    // fields into the engine object. Exchanges BitField2 and BitField3 first,
    // then the kind's record. Answers the kind's query result (1 on success
    // for objects, 0 on success for rules).
    virtual int32_t QueryDatabase(int32_t mode);

    PCB_FIELD(intptr_t, ObjectHandle, 0)
    PCB_FIELD(TObjectId, ObjectKind, eIgnoreObject)
    PCB_FIELD(int32_t, x1, 0)
    PCB_FIELD(int32_t, y1, 0)
    PCB_FIELD(uint16_t, BitField, 0)
    PCB_FIELD(uint8_t, BitField2, 0)
    PCB_FIELD(uint16_t, BitField3, 0)
    PCB_FIELD(uint16_t, Index, 0)
    PCB_FIELD(bool, Moveable, false)
    PCB_FIELD(intptr_t, Net, 0)
    PCB_FIELD(intptr_t, Component, 0)
    PCB_FIELD(TV7_Layer, V7_Layer, TV7_Layer())

    // The layer in its legacy form; stored as TV7_Layer.
    TV6_Layer GetState_Layer() const { return V7_Layer.ToV6(); }
    void SetState_Layer(TV6_Layer layer) { V7_Layer = V6ToV7(layer); }

    // What a new engine object holds in BitField2 and BitField3 (and a pad
    // in its stack mode), noted when its record was read right after it was
    // made. Until the first write the object is the caller's alone, so that
    // write leaves out values that still hold what was noted; the write
    // drops the note. A copy of the wrapper given the handle of another new
    // object of its kind may take the note along.
    struct TFreshBitFields {
        bool Known = false;
        uint8_t Two = 0;
        uint16_t Three = 0;
        int32_t PadMode = -1; // -1: not a pad
    };
    void NoteFreshBitFields() { fresh_ = {true, BitField2, BitField3, FreshPadMode()}; }
    const TFreshBitFields& FreshBitFields() const { return fresh_; }
    void SetFreshBitFields(const TFreshBitFields& fresh) { fresh_ = fresh; }

protected:
    virtual int32_t QueryRecord(int32_t mode) = 0;
    // The stack mode to note for a new object: a pad's, -1 for other kinds.
    virtual int32_t FreshPadMode() const { return -1; }
    static bool IsWrite(int32_t mode) { return mode == 0 || mode == 2; }
    void ExchangeBitFields(int32_t mode);

private:
    TFreshBitFields fresh_;
};

class TPcbTrack : public TPCBObject {
public:
    explicit TPcbTrack(intptr_t handle) : TPCBObject(handle, eTrackObject) {}
    PCB_FIELD(int32_t, x2, 0)
    PCB_FIELD(int32_t, y2, 0)
    PCB_FIELD(int32_t, Width, 0)
    PCB_FIELD(intptr_t, Polygon, 0)
    PCB_FIELD(intptr_t, Coordinate, 0)
    PCB_FIELD(intptr_t, Dimension, 0)

protected:
    int32_t QueryRecord(int32_t mode) override;
};

class TPcbArc : public TPCBObject {
public:
    explicit TPcbArc(intptr_t handle) : TPCBObject(handle, eArcObject) {}
    PCB_FIELD(int32_t, Radius, 0)
    PCB_FIELD(double, Angle1, 0.0)
    PCB_FIELD(double, Angle2, 0.0)
    PCB_FIELD(int32_t, LineWidth, 0)
    PCB_FIELD(intptr_t, Polygon, 0)

protected:
    int32_t QueryRecord(int32_t mode) override;
};

class TPcbFill : public TPCBObject {
public:
    explicit TPcbFill(intptr_t handle) : TPCBObject(handle, eFillObject) {}
    PCB_FIELD(int32_t, x2, 0)
    PCB_FIELD(int32_t, y2, 0)
    PCB_FIELD(intptr_t, Polygon, 0)
    PCB_FIELD(double, Angle, 0.0)

protected:
    int32_t QueryRecord(int32_t mode) override;
};

class TPcbVia : public TPCBObject {
public:
    explicit TPcbVia(intptr_t handle) : TPCBObject(handle, eViaObject) {}
    PCB_FIELD(int32_t, Size, 0)
    PCB_FIELD(int32_t, Height, 0)
    PCB_FIELD(int32_t, HoleSize, 0)
    PCB_FIELD(TV6_Layer, LowLayer, eV6_TopLayer)
    PCB_FIELD(TV6_Layer, HighLayer, eV6_BottomLayer)
    PCB_FIELD(bool, FIsAssyTestPointTop, false)
    PCB_FIELD(bool, FIsAssyTestPointBtm, false)

protected:
    int32_t QueryRecord(int32_t mode) override;
};

class TPcbPad : public TPCBObject {
public:
    explicit TPcbPad(intptr_t handle);
    PCB_FIELD(int32_t, TopXsize, 0)
    PCB_FIELD(int32_t, TopYsize, 0)
    PCB_FIELD(int32_t, MidXsize, 0)
    PCB_FIELD(int32_t, MidYsize, 0)
    PCB_FIELD(int32_t, BotXsize, 0)
    PCB_FIELD(int32_t, BotYsize, 0)
    PCB_FIELD(int32_t, HoleSize, 0)
    PCB_FIELD(TShape, TopShape, eRounded)
    PCB_FIELD(TShape, MidShape, eRounded)
    PCB_FIELD(TShape, BotShape, eRounded)
    // Corner-radius percentages of the top, mid and bottom layers; they are
    // exchanged through the per-layer entries of layers 1, 2 and 32.
    PCB_FIELD(int32_t, TopCRPct, 0)
    PCB_FIELD(int32_t, MidCRPct, 0)
    PCB_FIELD(int32_t, BotCRPct, 0)
    PCB_FIELD(std::string, Name, "")
    PCB_FIELD(TDaisyChainStyle, DaisyChainStyle, eDaisyChainLoad)
    PCB_FIELD(double, Angle, 0.0)
    PCB_FIELD(bool, Plated, true)
    PCB_FIELD(std::string, SwapID_Pad, "")
    PCB_FIELD(std::string, SwapID_Part, "")
    PCB_FIELD(int32_t, OwnerPart_ID, 0)
    PCB_FIELD(std::string, SwappedPadName, "")
    PCB_FIELD(TPadMode, FMode, ePadMode_Simple)
    PCB_FIELD(TExtendedDrillType, FDrillType, eDrilledHole)
    PCB_FIELD(TExtendedHoleType, FHoleType, eRoundHole)
    PCB_FIELD(int32_t, FHoleWidth, 0)
    PCB_FIELD(int32_t, FPadOffsetX, 0)
    PCB_FIELD(int32_t, FPadOffsetY, 0)
    PCB_FIELD(double, FHoleRotation, 0.0)
    PCB_FIELD(int32_t, FJumperID, 0)
    PCB_FIELD(bool, FIsAssyTestPointTop, false)
    PCB_FIELD(bool, FIsAssyTestPointBtm, false)
    PCB_FIELD(TV6_Layer, FLowLayer, eV6_TopLayer)
    PCB_FIELD(TV6_Layer, FHighLayer, eV6_BottomLayer)

    // Per-layer entries (TV6_Layer 1..82). The setters change the copy only;
    // they reach the engine on a write when FMode is ePadMode_ExternalStack.
    TShape GetState_ShapeOnLayer(TV6_Layer layer) const;
    int32_t GetState_XSizeOnLayer(TV6_Layer layer) const;
    int32_t GetState_YSizeOnLayer(TV6_Layer layer) const;
    int32_t GetState_CornerRadiusOnLayer(TV6_Layer layer) const;
    int32_t GetState_CRPctOnLayer(TV6_Layer layer) const;
    void SetState_ShapeOnLayer(TV6_Layer layer, TShape shape);
    void SetState_XSizeOnLayer(TV6_Layer layer, int32_t size);
    void SetState_YSizeOnLayer(TV6_Layer layer, int32_t size);
    void SetState_CRPctOnLayer(TV6_Layer layer, int32_t percentage);

    // Stack mode first, then the pad record, then the per-layer entries.
    int32_t QueryDatabase(int32_t mode) override;
    // The pad record alone (place, net, sizes, names, flags), without the
    // bit fields, stack mode or per-layer entries: what a walk over every
    // pad for a few of its fields needs. For a wrapper just made from its
    // handle, and not read or changed since: a failed read leaves it as
    // made. Answers as QueryDatabase(1) does.
    int32_t ReadRecordOnly() { return QueryFields(1, true); }

protected:
    int32_t QueryRecord(int32_t mode) override;
    int32_t FreshPadMode() const override { return FMode; }

private:
    // `inPlace`: a read straight into this wrapper, for one just made.
    int32_t QueryFields(int32_t mode, bool inPlace = false);
    bool QueryLayersAtOnce();
    template <typename T> using PerLayer = std::array<T, kV6_LayerCount>;
    PerLayer<int32_t> xSizeOnLayer_{};
    PerLayer<int32_t> ySizeOnLayer_{};
    PerLayer<TShape> shapeOnLayer_{};
    PerLayer<int32_t> cornerRadiusOnLayer_{};
    PerLayer<int32_t> crPctOnLayer_{};
};

class TPCBRegion : public TPCBObject {
public:
    explicit TPCBRegion(intptr_t handle) : TPCBObject(handle, eRegionObject) {}
    PCB_FIELD(std::vector<TPcbPoint>, MainContour, {})
    PCB_FIELD(std::vector<std::vector<TPcbPoint>>, Holes, {})
    PCB_FIELD(TRegionKind, FKind, eRegionKind_Copper)
    PCB_FIELD(TV6_LayerSet, LayerSet, TV6_LayerSet())
    PCB_FIELD(int32_t, Data, 0)
    PCB_FIELD(intptr_t, Polygon, 0)
    int32_t GetState_MainContourCount() const { return static_cast<int32_t>(MainContour.size()); }
    int32_t GetState_HoleCount() const { return static_cast<int32_t>(Holes.size()); }

protected:
    int32_t QueryRecord(int32_t mode) override;
};

class TPcbText : public TPCBObject {
public:
    explicit TPcbText(intptr_t handle) : TPCBObject(handle, eTextObject) {}
    PCB_FIELD(int32_t, Size, 0)
    PCB_FIELD(int32_t, Font, 0)
    PCB_FIELD(double, Angle, 0.0)
    PCB_FIELD(bool, Mirror, false)
    PCB_FIELD(std::string, Text, "")
    PCB_FIELD(int32_t, LineWidth, 0)
    PCB_FIELD(bool, UseTTFonts, false)
    PCB_FIELD(bool, Bold, false)
    PCB_FIELD(bool, Italic, false)
    PCB_FIELD(std::string, FontName, "")
    PCB_FIELD(bool, Inverted, false)
    PCB_FIELD(int32_t, InvertedBorder, 0)
    PCB_FIELD(int32_t, BarCodeKind, 0)
    PCB_FIELD(int32_t, BarCodeRenderMode, 0)
    PCB_FIELD(int32_t, BarCodeFullWidth, 0)
    PCB_FIELD(int32_t, BarCodeFullHeight, 0)
    PCB_FIELD(int32_t, BarCodeXMargin, 0)
    PCB_FIELD(int32_t, BarCodeYMargin, 0)
    PCB_FIELD(bool, BarCodeShowText, false)
    PCB_FIELD(bool, BarCodeInverted, false)

protected:
    int32_t QueryRecord(int32_t mode) override;
};

class TPcbComponent : public TPCBObject {
public:
    explicit TPcbComponent(intptr_t handle) : TPCBObject(handle, eComponentObject) {}
    PCB_FIELD(int32_t, ChannelOffset, 0)
    PCB_FIELD(int32_t, ComponentKind, 0)
    PCB_FIELD(intptr_t, Name, 0)    // designator text object
    PCB_FIELD(intptr_t, Comment, 0) // comment text object
    PCB_FIELD(std::string, Pattern, "")
    PCB_FIELD(bool, NameOn, true)
    PCB_FIELD(bool, CommentOn, false)
    PCB_FIELD(int32_t, GroupNum, 0)
    PCB_FIELD(double, Angle, 0.0)
    PCB_FIELD(bool, PrimitiveLock, true)
    PCB_FIELD(int32_t, Height, 0)
    PCB_FIELD(int32_t, NameAutoPosition, 0)
    PCB_FIELD(int32_t, CommentAutoPosition, 0)
    PCB_FIELD(int32_t, UnionIndex, 0)
    PCB_FIELD(std::string, SourceDesignator, "")
    PCB_FIELD(std::string, SourceUniqueId, "")
    PCB_FIELD(std::string, SourceHierarchicalPath, "")
    PCB_FIELD(std::string, SourceLibraryName, "")
    PCB_FIELD(std::string, FootprintDescription, "")
    PCB_FIELD(std::string, DefaultPCB3DModel, "")
    PCB_FIELD(std::string, LibraryLinkId, "")

    // Reads only the handles of the designator and comment texts (Name,
    // Comment) of the engine record; the other fields stay. 1 on success.
    // The engine gives them alone where it can, else the record is read.
    int32_t QueryTextHandles();
    // Test seam: false has QueryTextHandles read the whole record, as with an
    // engine that does not give the handles alone.
    static void UseTextHandleQueries(bool use);

    // Adds a primitive to this component (0 on success; a 0 object is refused
    // with 1). DeleteObject removes one.
    int32_t AddObject(intptr_t object);
    int32_t DeleteObject(intptr_t object);

protected:
    int32_t QueryRecord(int32_t mode) override;

private:
    // The record's exchange; with `blank`, a read into it that takes only the
    // text handles from it.
    int32_t Exchange(int32_t mode, TPcbComponent* blank);
};

class TPcbPolygon : public TPCBObject {
public:
    explicit TPcbPolygon(intptr_t handle) : TPCBObject(handle, ePolygonObject) {}
    PCB_FIELD(int32_t, PointCount, 0)
    PCB_FIELD(std::vector<TPcbPolySegment>, Segments, {})
    PCB_FIELD(bool, SplitPlane, false)
    PCB_FIELD(bool, RemoveDead, false)
    PCB_FIELD(bool, UseOctagons, false)
    PCB_FIELD(bool, PourOver, false)
    PCB_FIELD(int32_t, Grid, 0)
    PCB_FIELD(int32_t, TrackSize, 0)
    PCB_FIELD(int32_t, MinTrack, 0)
    PCB_FIELD(bool, PrimitiveLock, false)
    PCB_FIELD(TPolyHatchStyle, PolyHatchStyle, ePolyHatch90)

protected:
    TPcbPolygon(intptr_t handle, TObjectId kind) : TPCBObject(handle, kind) {}
    int32_t QueryRecord(int32_t mode) override;
};

class TPcbBoardOutline : public TPcbPolygon {
public:
    explicit TPcbBoardOutline(intptr_t handle) : TPcbPolygon(handle, eBoardOutlineObject) {}
    // The board's outline object, made when the board has none (0 without engine).
    static intptr_t CreateFor(intptr_t board);
    // Refreshes the outline after its segments were written (1 on success).
    int32_t Update();
};

class TPcbSplitPlane : public TPCBObject {
public:
    explicit TPcbSplitPlane(intptr_t handle) : TPCBObject(handle, eSplitPlaneObject) {}
    PCB_FIELD(int32_t, PointCount, 0)
    PCB_FIELD(std::vector<TPcbPolySegment>, Segments, {})
    PCB_FIELD(bool, PrimitiveLock, false)

protected:
    int32_t QueryRecord(int32_t mode) override;
};

class TPcbNet : public TPCBObject {
public:
    explicit TPcbNet(intptr_t handle) : TPCBObject(handle, eNetObject) {}
    PCB_FIELD(std::string, Name, "")
    PCB_FIELD(bool, ConnectsVisible, true)
    PCB_FIELD(int32_t, PwrGndColor, 0)

protected:
    int32_t QueryRecord(int32_t mode) override;
};

class TPcbManualFromTo : public TPCBObject {
public:
    explicit TPcbManualFromTo(intptr_t handle) : TPCBObject(handle, eManualFromToObject) {}
    PCB_FIELD(std::string, FromPad, "")
    PCB_FIELD(std::string, ToPad, "")
    PCB_FIELD(std::string, NetName, "")
    PCB_FIELD(int32_t, Color, 0)

protected:
    int32_t QueryRecord(int32_t mode) override;
};

class TPcbEmbedded : public TPCBObject {
public:
    explicit TPcbEmbedded(intptr_t handle) : TPCBObject(handle, eEmbeddedObject) {}
    PCB_FIELD(std::string, Name, "")
    PCB_FIELD(std::string, Description, "")

protected:
    int32_t QueryRecord(int32_t mode) override;
};

// A host class. Read: the record, then the members from index 0 until the
// engine answers 1. Write (mode 0 or 2): the record, then all members are
// removed and MemberList is added in order.
class TPCBObjectClass : public TPCBObject {
public:
    explicit TPCBObjectClass(intptr_t handle) : TPCBObject(handle, eClassObject) {}
    PCB_FIELD(std::string, Name, "")
    PCB_FIELD(TClassMemberKind, MemberKind, eClassMemberKind_Net)
    PCB_FIELD(bool, SuperClass, false)
    PCB_FIELD(std::vector<std::string>, MemberList, {})

protected:
    int32_t QueryRecord(int32_t mode) override;
};

// A host rule. The query answers 0 on success and 1 on failure; the name is
// exchanged only when the record exchange did not fail.
class TPcbRuleEx : public TPCBObject {
public:
    explicit TPcbRuleEx(intptr_t handle);
    PCB_FIELD(TRuleKind, Kind, eRule_Clearance)
    PCB_FIELD(std::string, Name, "")
    PCB_FIELD(TNetScope, NetScope, eNetScope_DifferentNetsOnly)
    PCB_FIELD(int32_t, Priority, -1)
    PCB_FIELD(TRuleLayerKind, LayerKind, eRuleLayerKind_SameLayer)
    PCB_FIELD(std::string, Scope1Expression, "All")
    PCB_FIELD(std::string, Scope2Expression, "All")

protected:
    int32_t QueryRecord(int32_t mode) override;
};

// ------------------------------------------------------------- layers, board

// One board layer.
class TLayerObject {
public:
    TLayerObject(intptr_t board, TV6_Layer layer) : BoardHandle(board), LayerId(layer) {}
    virtual ~TLayerObject() = default;
    TLayerObject(const TLayerObject&) = default;
    TLayerObject& operator=(const TLayerObject&) = default;

    // Mode 1 reads the layer record, mode 0 writes it; 1 on success.
    virtual int32_t QueryDatabase(int32_t mode);

    PCB_FIELD(intptr_t, BoardHandle, 0)
    PCB_FIELD(TV6_Layer, LayerId, eV6_NoLayer)
    PCB_FIELD(std::string, Name, "")
    PCB_FIELD(int32_t, CopperThickness, 0)
    PCB_FIELD(TDielectricRecord, DielectricRecord, TDielectricRecord())
    PCB_FIELD(int32_t, UsedByPrims, 0)
    PCB_FIELD(bool, IsDisplayed, false)
    PCB_FIELD(TV6_Layer, PreviousLayer, eV6_NoLayer)
    PCB_FIELD(TV6_Layer, NextLayer, eV6_NoLayer)
    PCB_FIELD(bool, MechanicalLayerEnabled, false)

    bool IsInLayerStack() const { return PreviousLayer != eV6_NoLayer || NextLayer != eV6_NoLayer; }
};

// An internal plane layer (39..54) with its net.
class TInternalPlane : public TLayerObject {
public:
    using TLayerObject::TLayerObject;
    int32_t QueryDatabase(int32_t mode) override;
    PCB_FIELD(std::string, NetName, "")
};

// A drill pair.
struct TPcbLayerPair {
    std::string Name;
    TV7_Layer V7_LowLayer;
    TV7_Layer V7_HighLayer;
    bool DrillDrawing = false;
    bool DrillGuide = false;
    std::string SubstackList;
    bool IsBackDrill = false;
};

// Visitor of an item walk: answers false to stop the walk.
using TObjectVisitor = std::function<bool(intptr_t object)>;

// Iterates one object kind (0 for all) of a board, optionally of one net or
// component (`filter`) and one layer (eV6_NoLayer for all). Answers the number
// of objects visited.
int ProcessItems(intptr_t board, TObjectId kind, const TObjectVisitor& visit, intptr_t filter = 0,
                 TV6_Layer layer = eV6_NoLayer);
// The same over a set of layers: one iterator per layer of the set.
int ProcessItemsOnLayers(intptr_t board, TObjectId kind, const TV6_LayerSet& layers,
                         const TObjectVisitor& visit, intptr_t filter = 0);
// Every handle of a walk, collected first (for walks that change the board).
std::vector<intptr_t> CollectItems(intptr_t board, TObjectId kind, intptr_t filter = 0,
                                   TV6_Layer layer = eV6_NoLayer);
// The kind of an engine object (eIgnoreObject for a bad handle or no engine).
TObjectId GetObjectKind(intptr_t object);

class TPcbBoard {
public:
    // Wraps a board handle; reads nothing (QueryDatabase(1) and QueryLayers(1) do).
    explicit TPcbBoard(intptr_t handle);
    // The focused board, or a wrapper of handle 0.
    static TPcbBoard Current();
    TPcbBoard(TPcbBoard&&) = default;
    TPcbBoard& operator=(TPcbBoard&&) = default;

    // Board record and grid settings; 1 when both exchanges succeeded.
    int32_t QueryDatabase(int32_t mode);
    // Every layer record (1..82) and, for internal planes, its net; answers
    // the number of layers exchanged.
    int QueryLayers(int32_t mode);
    // Reads the drill pairs into LayerPairs; 1 on success.
    int32_t ReadLayerPairs();

    PCB_FIELD(intptr_t, ObjectHandle, 0)
    PCB_FIELD(intptr_t, Window, 0)
    PCB_FIELD(std::string, FileName, "")
    PCB_FIELD(bool, IsLibrary, false)
    PCB_FIELD(int32_t, OriginX, 0)
    PCB_FIELD(int32_t, OriginY, 0)
    PCB_FIELD(int32_t, CursorX, 0)
    PCB_FIELD(int32_t, CursorY, 0)
    PCB_FIELD(TUnit, DisplayUnit, eImperial)
    PCB_FIELD(TDielectricRecord, Dielectric_Top, TDielectricRecord())
    PCB_FIELD(TDielectricRecord, Dielectric_Bottom, TDielectricRecord())
    PCB_FIELD(TV6_Layer, CurrentLayer, eV6_TopLayer)
    PCB_FIELD(int32_t, DrillGuideHoleSize, 0)
    PCB_FIELD(intptr_t, BoardOutline, 0)
    PCB_FIELD(std::vector<TPcbLayerPair>, LayerPairs, {})
    PCB_FIELD(double, SnapGridUnit, 0.0)
    PCB_FIELD(double, BigVisibleGridUnit, 0.0)
    PCB_FIELD(double, VisibleGridUnit, 0.0)
    PCB_FIELD(double, BigVisibleGridSize, 0.0)
    PCB_FIELD(double, VisibleGridSize, 0.0)
    PCB_FIELD(double, SnapGridSize, 0.0)
    PCB_FIELD(double, SnapGridSizeX, 0.0)
    PCB_FIELD(double, SnapGridSizeY, 0.0)
    PCB_FIELD(double, TrackGridSize, 0.0)
    PCB_FIELD(double, ViaGridSize, 0.0)
    PCB_FIELD(double, ComponentGridSize, 0.0)
    PCB_FIELD(double, ComponentGridSizeX, 0.0)
    PCB_FIELD(double, ComponentGridSizeY, 0.0)

    // The layer object of a legacy layer 1..82 (TInternalPlane for 39..54),
    // null for any other value.
    TLayerObject* GetState_LayerObject(TV6_Layer layer) const;
    TInternalPlane* GetState_InternalPlane(TV6_Layer layer) const;
    // The first layer of the stack (as last read), or null.
    TLayerObject* GetState_FirstLayerInStack() const;
    // The layer after `layer` in the stack (as last read), or null.
    TLayerObject* GetState_NextLayerInStack(const TLayerObject* layer) const;
    // The drill pair spanning the two layers (either order), or null.
    const TPcbLayerPair* GetState_LayerPairByPair(TV7_Layer low, TV7_Layer high) const;
    // Sets an internal plane's net in the copy and in the engine; 1 on success.
    int32_t SetProperty_InternalPlaneNetName(TV6_Layer layer, const std::string& net);
    // Puts a layer into the stack after another; 0 on success, 1 on failure.
    int32_t InsertLayerInStack(TV6_Layer layer, TV6_Layer afterLayer);
    // Appends a drill pair; 0 on success, 1 on failure.
    int32_t AddLayerPair(const std::string& name, TV7_Layer low, TV7_Layer high);

    // Adds an object to the board (0 on success; a 0 object is refused with 1).
    int32_t AddObject(intptr_t object) const;
    int32_t DeleteObject(intptr_t object) const;

    // Item walkers over this board.
    int ProcessItems_1(TObjectId kind, const TObjectVisitor& visit) const;
    int ProcessItems_2(TObjectId kind, const TV6_LayerSet& layers,
                       const TObjectVisitor& visit) const;

private:
    // The layer's object, made when first asked for: most boards made for a
    // moment touch a few layers, or none.
    TLayerObject& Layer(int v) const;

    intptr_t layerBoard_; // the handle the layer objects are made with
    mutable std::array<std::unique_ptr<TLayerObject>, kV6_LayerCount> layers_;
};
