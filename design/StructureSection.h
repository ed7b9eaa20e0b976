// The "structure" section: layers, layer stack, boundary, keepouts, planes, grids, vias and rules
// of the board.
#pragma once

#include "design/FileSection.h"
#include "design/Layers.h"
#include "geometry/BoardShapes.h"
#include "geometry/SpecctraShapes.h"

#include <memory>
#include <string>
#include <vector>

// ------------------------------------------------------- keepouts, planes

enum TSpecctraKeepoutKind : uint8_t {
    eKeepout_None = 0,
    eKeepout_Via = 1,
    eKeepout_Wire = 2,
    eKeepout_Bend = 3,
    eKeepout_Place = 4,
    eKeepout_Elongate = 5,
    eKeepout_All = 6,
};

// The keepout kind a keepout keyword names (eKeepout_None for other tokens).
TSpecctraKeepoutKind KeepoutKindOfToken(int32_t token);

// A keepout of the structure or of a component image: its shapes are written
// with the keep-out flag, on the named layer (else the keep-out layer), into
// its owner's container.
class TSpecctraKeepout : public TSpecctraCombinedShape, public IShapeOwner {
public:
    TSpecctraKeepout(TSpecctraObject* owner, TSpecctraKeepoutKind kind);
    const char* ClassName() const override { return "TSpecctraKeepout"; }
    TShapeOwnerRole ShapeOwnerRole() const override { return TShapeOwnerRole::eKeepout; }
    // The owner's container: the component of an image, else the board (0).
    intptr_t ShapeContainer() override;

    TSpecctraKeepoutKind FKind;
    std::string FIdentifier;
    int32_t FSequenceNumber = 0;

    // Entered after the keepout keyword; reads through the closing parenthesis.
    bool ImportFromFile() override;
};

// A split plane ("plane NET SHAPE [(window ...)]").
class TSpecctraSplitPlaneShape : public TSpecctraCombinedShape, public IShapeOwner {
public:
    explicit TSpecctraSplitPlaneShape(TSpecctraObject* owner);
    const char* ClassName() const override { return "TSpecctraSplitPlaneShape"; }
    TShapeOwnerRole ShapeOwnerRole() const override { return TShapeOwnerRole::eSplitPlane; }
    const std::string& ShapeNetName() const override { return FNetName; }

    std::string FNetName;

    bool ImportFromFile() override;
    bool ExportToFile() override;
};

// A region with an identifier and one shape; kept in the model only.
class TSpecctraRegion : public TSpecctraObject {
public:
    explicit TSpecctraRegion(TSpecctraObject* owner);
    ~TSpecctraRegion() override;
    const char* ClassName() const override { return "TSpecctraRegion"; }
    int RuleScopeOwner() const override { return eRuleOwnerRegion; }

    std::string FIdentifier;
    std::unique_ptr<TSpecctraAbstractGeometryShape> FShape;

    bool ImportFromFile() override;
    bool ExportToPCB() override { return true; }
};

// ------------------------------------------------------------------ grids

enum TSpecctraGridKind : uint8_t {
    eGrid_Via = 0,
    eGrid_Wire = 1,
    eGrid_Place = 3,
    eGrid_Snap = 4,
};

enum TSpecctraGridDirection : uint8_t {
    eGridDirection_X = 0,
    eGridDirection_Y = 1,
    eGridDirection_Both = 2,
};

class TSpecctraGrid : public TSpecctraObject {
public:
    explicit TSpecctraGrid(TSpecctraObject* owner);
    const char* ClassName() const override { return "TSpecctraGrid"; }

    TSpecctraGridKind FKind = eGrid_Via;
    double FStep = 0.0;
    TSpecctraGridDirection FDirection = eGridDirection_Both;
    double FOffset = 0.0;
    std::string FLayerName;
    // A "via_keepout" grid block: kept, but never a grid of the board.
    bool FSkipped = false;

    bool ImportFromFile() override;
};

class TSpecctraGridCollection {
public:
    void Add(std::unique_ptr<TSpecctraGrid> grid);
    int32_t Count() const { return static_cast<int32_t>(FGrids.size()); }
    TSpecctraGrid* Get(int32_t index) const { return FGrids[static_cast<size_t>(index)].get(); }
    // The first grid of that kind and layer whose direction is the one asked;
    // else the last such grid for both directions; else none. Grids with a
    // step that is not positive take no part.
    TSpecctraGrid* GetState_Grid(TSpecctraGridKind kind, TSpecctraGridDirection direction,
                                 const std::string& layerName = std::string()) const;

private:
    std::vector<std::unique_ptr<TSpecctraGrid>> FGrids;
};

// ---------------------------------------------------------------- control

class TSpecctraControlDescriptor : public TSpecctraObject {
public:
    explicit TSpecctraControlDescriptor(TSpecctraObject* owner);
    const char* ClassName() const override { return "TSpecctraControlDescriptor"; }

    bool OffGrid = true;
    bool RouteToFanoutOnly = true;
    bool ForceToTerminalPoint = false;
    bool SameNetChecking = false;
    bool CheckingTrimByPin = true;
    bool IncludePinsInCrosstalk = false;
    bool BbvCtr2Ctr = false;
    bool AveragePairLength = true;
    bool RoundoffRotation = false;
    bool Microvia = false;
    bool RerouteOrderViols = false;
    uint8_t NoiseCalculation = 1;  // linear_interpolation 0, stairstep 1
    uint8_t NoiseAccumulation = 1; // RSS 0, linear 1
    uint8_t CrosstalkModel = 0;    // cct1 0, cct1a 1

    bool ImportFromFile() override;

private:
    bool* SwitchOf(int32_t token);
};

struct TSpecctraLayerNoiseWeight {
    std::string FirstLayer;
    std::string SecondLayer;
    double Weight = 0.0;
};

struct TSpecctraStructureVia {
    std::string Padstack;
    bool Spare = false;
};

// -------------------------------------------------------------- sections

class TSpecctraAbstractStructureDescriptor : public TSpecctraFileSectionDescriptor,
                                             public IShapeOwner {
public:
    explicit TSpecctraAbstractStructureDescriptor(TSpecctraObject* owner);
    ~TSpecctraAbstractStructureDescriptor() override;
    const char* ClassName() const override { return "TSpecctraAbstractStructureDescriptor"; }
    TShapeOwnerRole ShapeOwnerRole() const override { return TShapeOwnerRole::eStructure; }

    // Host units; (0, 0) at creation.
    TVertex BoardOffset;
    TSpecctraLayerStack& LayerStack() { return *FLayerStack; }
    const TSpecctraLayerStack& LayerStack() const { return *FLayerStack; }
    // The layer of that name from the layer stack, or none; its host layer.
    TSpecctraObject* Get_LayerByName(const std::string& name) override;
    TV6_Layer Get_HostLayerByName(const std::string& name) override;
    int RuleScopeOwner() const override { return eRuleOwnerStructure; }

protected:
    std::unique_ptr<TSpecctraLayerStack> FLayerStack;
};

class TSpecctraDSNStructureDescriptor : public TSpecctraAbstractStructureDescriptor {
public:
    explicit TSpecctraDSNStructureDescriptor(TSpecctraObject* owner);
    ~TSpecctraDSNStructureDescriptor() override;
    const char* ClassName() const override { return "TSpecctraDSNStructureDescriptor"; }

    std::vector<TSpecctraLayerNoiseWeight> LayerNoiseWeights;
    std::unique_ptr<TSpecctraDesignBoundary> Boundary;
    std::unique_ptr<TSpecctraList> PlaceBoundary;
    std::unique_ptr<TSpecctraList> SplitPlanes;
    std::unique_ptr<TSpecctraList> Regions;
    std::unique_ptr<TSpecctraList> Keepouts;
    std::vector<TSpecctraStructureVia> Vias;
    std::unique_ptr<TSpecctraControlDescriptor> Control;
    TSpecctraGridCollection Grids;

    // Reads the structure block; true when no part of it failed. Then fits
    // the board into the host workspace.
    bool ImportFromFile() override;
    // Offset record, origin, layer stack, routing layers, via styles, split
    // planes, keepouts, boundary and grids; true.
    bool ExportToPCB() override;
    // A split plane with the outline on every power layer with one net.
    void ExportToPCB_OutlinePlanes(TSpecctraAbstractGeometryShape& outline);

    // Computes the offset that fits the boundary into the host workspace and
    // adds it to the translation's board offset.
    void CalculateBoardOffset();
    void ExportToPCB_RoutingLayers();
    void ExportToPCB_RoutingViaStyles();
    bool ExportToPCB_Grids();

private:
    bool ReadVias();
    bool ReadPlaceBoundary();
    bool ReadLayerNoiseWeight();
    template <class T> bool ReadKept(std::unique_ptr<T> object, TSpecctraList& list);
};
