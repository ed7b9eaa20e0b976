// Padstacks and their pads, via instances, jumpers and via array templates:
// their design-file grammar and text, the choice of a pad for a layer, the
// host pad and via values, routing via style rules, and the storage of
// padstacks inside the board.
#pragma once

#include "board/BoardFacade.h"
#include "board/Pcbclass.h"
#include "geometry/SpecctraShapes.h"
#include "specctra/SpecctraClasses1.h"

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

class TSpecctraLayer;
class TSpecctraPad;
class TStoredParameters;

// Reports of a pin's pad sizes that name the pin (and so its component), as
// flags, for the exports that repeat them.
struct TPinPadReports {
    bool MiddleFromInner = false;
    bool UnknownKind = false;
};

// The pads of a padstack whose shapes the host's pad kinds cannot hold, by the
// entry of the host pad's per-layer table each one's copper replaces.
struct TTrueCopperSource {
    int Entry = 0;
    TSpecctraPad* Source = nullptr;
};

// A free engine pad that holds the fields every pad of a template shares,
// which the pins' pads are copied from; freed with the template.
class TPadModel {
public:
    TPadModel() = default;
    TPadModel(const TPadModel&) = delete;
    TPadModel& operator=(const TPadModel&) = delete;
    ~TPadModel();
    // The model written from `pad` the first time it is asked for, where the
    // engine copies pads; 0 where it does not or refused the record.
    intptr_t For(TPcbPad& pad);

private:
    intptr_t FHandle = 0;
    bool FTried = false;
};

// The true copper pieces a template's pad was last given, with the pin
// rotation they were turned for: the next pin at that rotation has the same.
struct TTrueCopperMemo {
    bool Valid = false;
    double Rotation = 0.0;
    std::vector<Board::TPadCopperPiece> Pieces;
};

// The pad every pin of a padstack writes, less what is each pin's own (name,
// rotation, position, net): kept by the padstack from the first pin whose
// building of it reported nothing of its own, so that later pins copy it
// rather than build it again.
struct TPinPadTemplate {
    TPcbPad Pad{0};
    TPadModel Model;
    TTrueCopperMemo Copper;
    TPinPadReports Reports;
    std::vector<TTrueCopperSource> TrueCopper;
    intptr_t Netless = 0;
    double CentreX = 0.0, CentreY = 0.0; // of the largest pad on a signal layer
    bool ZeroSized = false;
};

enum TPadStackKind : uint8_t {
    eUnknownPadstackKind = 0,
    eSimplePadstack = 1,
    eTopMidBottomPadstack = 2,
    ePerLayerPadstack = 3,
    eSMDPadstack = 4,
};

enum TSpecctraRoutingType : uint8_t {
    eNoneRoutingType = 0,
    eFixedRoutingType = 1,
    eRouteRoutingType = 2,
    eNormalRoutingType = 3,
    eProtectRoutingType = 4,
};

enum TSpecctraConductorAttribute : uint8_t {
    eNoneConductorAttribute = 0,
    eTestConductorAttribute = 1,
    eFanoutConductorAttribute = 2,
    eBusConductorAttribute = 3,
    eJumperConductorAttribute = 4,
    eVirtualPinAttribute = 5,
};

// A via number; 0 means none.
using TViaTagValue = uint8_t;

// One pad of a padstack: its shapes (the first is the visible one) and
// windows.
class TSpecctraPad : public TSpecctraCombinedShape {
public:
    explicit TSpecctraPad(TSpecctraObject* owner);
    ~TSpecctraPad() override;
    const char* ClassName() const override { return "TSpecctraPad"; }

    // The layer of the visible shape; empty when the pad has no shape.
    const std::string& LayerID();
    // The area of the visible shape (0 without one).
    double AreaSize();
    // The bounding rectangle of the visible shape; false (all 0) without one.
    bool VisibleBounds(double& lx, double& ly, double& hx, double& hy);

    bool ImportFromFile() override;
    bool ExportToFile() override;

    // Host sizes of the visible shape's bounding rectangle and the host shape.
    int32_t ExportToPCB_SizeX();
    int32_t ExportToPCB_SizeY();
    TShape ExportToPCB_ShapeType();

    // The visible shape as the copper it is, when the host's pad kinds cannot
    // hold it (a polygon, a path with corners or at a slant): pieces of one
    // point, a segment or a polygon grown by a radius, in file units about
    // the padstack's origin. Empty for every other shape. A piece's points
    // are a run of the shape's own vertices, valid while the shape is.
    struct TCopperPiece {
        double Radius = 0.0;
        std::span<const TVertex> Points;
    };
    std::vector<TCopperPiece> TrueCopper();

    // The pad's keys under its index in a stored padstack's parameter text.
    void ExportToPcb_ToParams(int32_t padIndex, TStoredParameters& params);
    bool ImportFromPcb_FromParams(int32_t padIndex, const TStoredParameters& params);

    std::unique_ptr<TSpecctraAbstractGeometryShape> ReducedShape;
    bool Connect = true;

private:
    bool ReadReducedShape();
};

// A named stack of pads, one per layer or layer class.
class TSpecctraPadstack : public TSpecctraObject {
public:
    explicit TSpecctraPadstack(TSpecctraObject* owner);
    ~TSpecctraPadstack() override;
    const char* ClassName() const override { return "TSpecctraPadstack"; }
    // Its rule blocks give rules that apply to the padstack.
    int RuleScopeOwner() const override { return eRuleOwnerPadstack; }

    bool ImportFromFile() override;
    bool ExportToFile() override;

    int32_t PadCount() const { return PadList->Count(); }
    TSpecctraPad* GetState_Pad(int32_t index) const;
    void SetState_Pad(int32_t index, std::unique_ptr<TSpecctraPad> pad);
    // Appends a pad (used when a padstack is built outside a design file).
    TSpecctraPad* AddPad(std::unique_ptr<TSpecctraPad> pad);

    // The pad of the layer of that name: the first pad on exactly that layer,
    // else the last pad on the layer's class ("SIGNAL" or "POWER"), else none.
    TSpecctraPad* GetState_PadOnLayer(const std::string& layerName);
    TSpecctraPad* GetState_LargestPadOnAnySignalLayer();
    TSpecctraPad* GetState_LargestPadOnInnerSignalLayer();
    // The union of the pads' visible bounding rectangles (all 0 without pads).
    void BoundingRectangle(double& lx, double& ly, double& hx, double& hy);

    TPadStackKind Kind();
    // The first and last layers of the stack that carry a pad (none when the
    // padstack has no pad on any layer of the stack).
    TSpecctraLayer* StartLayer();
    TSpecctraLayer* EndLayer();
    double AreaSize();
    bool IsViaStack() const { return FIsViaStack; }
    bool IsSpareViaStack() const { return FIsSpareViaStack; }
    void SetViaStack(bool via, bool spare) {
        FIsViaStack = via;
        FIsSpareViaStack = spare;
    }

    // Host via values: layer span and size. False without a layer span.
    bool ExportToPcb_ViaValues(TV6_Layer& lowLayer, TV6_Layer& highLayer, int32_t& size);
    // A routing via style rule for this via padstack (not for spares).
    void ExportToPcb_AsRoutingViaRule(const std::string& namePrefix, const std::string& scope);

    // One "PADSTACK" record of the board's stored padstacks.
    void ExportToPcb_ToEmbedded(int32_t index);
    bool ImportFromPCB_FromEmbedded(const TPcbEmbedded& record);
    // True for a padstack read back from the board (its lengths are host
    // units already).
    bool FromBoard() const { return FFromBoard; }

    std::unique_ptr<TSpecctraList> PadList;
    bool Attach = true;
    std::string UseViaIDRef;
    std::unique_ptr<TVertex> ViaSite;
    bool Rotate = true;
    bool FlipAroundZ = false;
    // The host pad of the pins of this padstack, made by the first pin
    // exported (see TSpecctraCompPin::ExportToPCB).
    std::unique_ptr<TPinPadTemplate> PinPad;

private:
    void FindLayerSpan();

    TPadStackKind FKind = eUnknownPadstackKind;
    // The largest pad on any signal layer, found once (the layer stack is
    // complete when the first pin or via asks).
    TSpecctraPad* FLargestPad = nullptr;
    bool FLargestPadKnown = false;
    TSpecctraLayer* FStartLayer = nullptr;
    TSpecctraLayer* FEndLayer = nullptr;
    bool FSpanKnown = false;
    double FAreaSize = -1.0;
    bool FIsViaStack = false;
    bool FIsSpareViaStack = false;
    bool FFromBoard = false;
};

// One via of a wiring section, route or session file, or component image.
class TSpecctraViaInstance : public TSpecctraObject {
public:
    explicit TSpecctraViaInstance(TSpecctraObject* owner);
    const char* ClassName() const override { return "TSpecctraViaInstance"; }

    bool ImportFromFile() override;
    bool ExportToFile() override;
    bool ExportToPCB() override;
    // Reads the board via whose handle is HarrowHandle; its contact layers
    // come from KnownPlanes when set (a walk over many vias reads the planes
    // once), else from the board.
    bool ImportFromPcb() override;
    const std::vector<Board::TPlaneNet>* KnownPlanes = nullptr;
    // Finds the library padstack that best matches a board via.
    void SetPadstackReference(TV6_Layer lowLayer, TV6_Layer highLayer, int32_t size);

    std::string PadstackIDRef;
    TVertex Position;
    std::string NetIDRef;
    TViaTagValue Number = 0;
    TSpecctraRoutingType RoutingType = eNoneRoutingType;
    TSpecctraConductorAttribute Attribute = eNoneConductorAttribute;
    std::string VirtualPinName;
    std::string ContactLayers;
    bool Supply = false;
    TVertex Position2;
    std::string NetIdRef2;

private:
    bool ReadVirtualPin();
    std::string PositionText();
};

// A value out of the range a field accepts; it ends the translation.
class EJumperRangeError : public std::range_error {
public:
    using std::range_error::range_error;
};

// A jumper of the library: its height, length and via.
class TSpecctraJumper : public TSpecctraObject {
public:
    explicit TSpecctraJumper(TSpecctraObject* owner) : TSpecctraObject(owner) {}
    const char* ClassName() const override { return "TSpecctraJumper"; }

    bool ImportFromFile() override;
    double MaxHeight() const { return FMaxHeight; }
    double Length() const { return FLength; }
    // -1 (system default) and every value of 0 or more; anything else raises
    // EJumperRangeError and keeps the old value.
    void SetMaxHeight(double value);
    void SetLength(double value);

    std::string ViaIDRef;

private:
    double FMaxHeight = 0.0;
    double FLength = 0.0;
};

// A via array template of the library; its block is skipped.
class TSpecctraViaArrayTemplate : public TSpecctraObject {
public:
    explicit TSpecctraViaArrayTemplate(TSpecctraObject* owner);
    const char* ClassName() const override { return "TSpecctraViaArrayTemplate"; }
    bool ImportFromFile() override;

    std::unique_ptr<TSpecctraList> MicroviaList;
};
