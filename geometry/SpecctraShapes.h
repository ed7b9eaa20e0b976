// The five shape forms of a Specctra design (rect, circle, qarc, path,
// polygon) and the combined shape with its windows: read from and written as
// Specctra text, measured, written to the board as tracks, arcs, fills,
// polygons, split planes or keep-out regions, and stored in and read back
// from a parameter text.
//
// A shape asks its owner how it is written: the owner's role (keepout,
// boundary, component image, wire, split plane, structure), its net name,
// its container and whether its tracks may move. Owners answer through
// IShapeOwner; an owner that does not implement it is an ordinary owner.
#pragma once

#include "board/Layers.h"
#include "board/Pcbclass.h"
#include "specctra/HostHooks.h"
#include "specctra/SpecctraClasses1.h"
#include "specctra/SpecctraList.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class TStoredParameters;

// Scoped: the host's pad shapes (TShape) have an eCircleShape of their own.
enum class TSpecctraShapeType : uint8_t {
    eFilledPolyShape = 0,
    eRectShape = 1,
    eCircleShape = 2,
    ePolyOutlineShape = 3,
    eQArcShape = 4,
};

enum TSpecctraApertureType : uint8_t {
    eRoundAperture = 0,
    eSquareAperture = 1,
};

// What an owner makes of the shapes it holds.
enum class TShapeOwnerRole : uint8_t {
    eOther,          // any owner without a role of its own
    eStructure,      // the structure section (shapes directly under it)
    eKeepout,        // a keepout of the structure or of a component image
    eBoundary,       // the design boundary
    eComponentImage, // a component image (outlines)
    eWire,           // a wire of the wiring (embedded conductor)
    eSplitPlane,     // a split plane ("plane")
};

// Implemented by the model classes that own shapes and decide how those are
// written to the board.
class IShapeOwner {
public:
    virtual ~IShapeOwner() = default;
    virtual TShapeOwnerRole ShapeOwnerRole() const = 0;
    // The net of the owner's shapes (wires and split planes); empty for none.
    virtual const std::string& ShapeNetName() const;
    // The board object that receives the owner's shapes: a component handle,
    // or 0 for the board itself.
    virtual intptr_t ShapeContainer() { return 0; }
    // False for wires whose routing type is fixed, route or protect.
    virtual bool ShapeMoveable() const { return true; }
};

// The board handle of a design net (made on the board when it is not there
// yet); without a design net, the board's net of that name, else 0.
intptr_t ResolveShapeNetHandle(TSpecctraObject* net, const std::string& name, intptr_t board);

// "Filled Polygon Shape", "Rectangular Shape", ... for 0 .. 4.
std::string ShapeKindName(int kind);
// Upper-case hexadecimal digits of the 32-bit two's complement value,
// leading zeros removed, at least one digit kept (0 -> "0", -1 -> "FFFFFFFF").
std::string ShapeHexText(int32_t value);
// Reads a value written by ShapeHexText; false (value 0) when missing or bad.
bool ShapeHexValue(std::string_view text, int32_t& value);
// Degrees 0 .. 360 of point p seen from centre c.
double ArcAngleOf(const TVertex& p, const TVertex& c);

// ------------------------------------------------------------------ shapes

class TSpecctraAbstractGeometryShape : public TSpecctraObject {
public:
    TSpecctraAbstractGeometryShape(TSpecctraObject* owner, TSpecctraShapeType kind);
    const char* ClassName() const override { return "TSpecctraAbstractGeometryShape"; }

    double FLx = 0.0, FLy = 0.0, FHx = 0.0, FHy = 0.0;
    double FAreaSize = 0.0;
    // Most paths hold two to a few points: their room is recycled.
    std::vector<TVertex, TRecycledAllocator<TVertex>> Coordinates;
    std::string LayerID;
    TSpecctraShapeType Kind;

    int32_t VertexCount() const { return static_cast<int32_t>(Coordinates.size()); }
    TVertex& NewVertex();
    TVertex GetVertex(int32_t index) const;
    void SetVertex(int32_t index, const TVertex& vertex);
    void BoundingRectangle(double& lx, double& ly, double& hx, double& hy);
    double AreaSize();
    std::string KindName() const { return ShapeKindName(static_cast<int>(Kind)); }

    // Reads the rest of the block after the shape keyword, closing ")" included.
    bool ImportFromFile() override;
    bool ExportToFile() override;
    bool ExportToPCB() override;

    // Whether every vertex lies inside the board's coordinate range; reports
    // the first that does not (the shape is then not imported).
    bool VerticesOnBoard();
    virtual void CalculateBoundingRectangle();
    virtual void ExportToPcb_ShapeParams(const std::string& prefix, TStoredParameters& params);
    virtual void ImportFromPcb_ShapeParams(const std::string& prefix,
                                           const TStoredParameters& params);
    // 0 tracks, 1 or 2 polygon (or split plane), 3 keep-out region.
    virtual int ExportToPCB_Mode();
    virtual void ExportToPcb_ToParams(const std::string& prefix, TStoredParameters& params);
    virtual bool ImportFromPcb_FromParams(const std::string& prefix,
                                          const TStoredParameters& params);
    virtual void Validate() {}
    virtual bool ExportToPCB_AsTracks();

    // The host layer the shape is written on (eV6_NoLayer when unknown).
    TV6_Layer ExportToPCB_Layer();
    // Board net handle of the shape (0 for none).
    intptr_t ExportToPCB_Net();
    // The container of the shape's board objects (board or component).
    intptr_t ExportToPCB_Container();
    bool ExportToPCB_Keepout() const;
    bool ExportToPCB_Moveable() const;

    // One track between two Specctra points on the shape's layer.
    bool ExportToPCB_Track(const TVertex& a, const TVertex& b, int32_t width, TV6_Layer layer,
                           intptr_t net);
    // While set, every track the shape adds is also kept here as written,
    // less its handle, so that it can be added again elsewhere.
    void KeepTracks(std::vector<PcbApiNewTrack>* kept) { FKeptTracks = kept; }
    // Adds copies of tracks kept by an earlier export of this shape to the
    // container, reporting a failure as that export would have.
    bool ExportToPCB_KeptTracks(const std::vector<PcbApiNewTrack>& tracks, intptr_t container);
    // One arc on the shape's layer: centre in Specctra values, the rest in
    // host units and degrees.
    bool ExportToPCB_Arc(const TVertex& centre, int32_t radius, int32_t width, double angle1,
                         double angle2);
    // A polygon (or a split plane on an internal plane); the outline is the
    // shape's vertices.
    bool ExportToPCB_AsPolygon();
    // A keep-out region with the shape's outline.
    bool ExportToPCB_AsRegion();
    // The vertices at their board positions, closed (first point repeated when
    // the last differs), and the point count without the closing point.
    void ExportToPCB_PolygonSegments(std::vector<TPcbPolySegment>& segments, int32_t& pointCount);
    // The same for any outline in this shape's coordinates.
    void ExportToPCB_PolygonSegments(std::span<const TVertex> vertices,
                                     std::vector<TPcbPolySegment>& segments, int32_t& pointCount);
    // The outline of the shape as vertices: the corners of a rect, the
    // vertices of every other kind.
    virtual std::vector<TVertex> OutlineVertices() const {
        return {Coordinates.begin(), Coordinates.end()};
    }
    // The width of the shape's board objects in host units.
    int32_t ExportToPCB_Width() { return BoardWidth(); }

    IShapeOwner* OwnerRole() const;
    TShapeOwnerRole Role() const;
    // Tells the shape what `owner` is as a shape owner (null: none), so that
    // OwnerRole needs no look-up across the class tree while `owner` owns
    // the shape: an owner that exports a shape knows what it is.
    void KnowOwnerRole(const TSpecctraObject* owner, IShapeOwner* role) const {
        FRoleAskedOf = owner;
        FRole = role;
    }

protected:
    // Reading. Every reader consumes its block through the closing
    // parenthesis, also after a syntax error; FClosed tells whether it was met.
    bool ReadLayerAndWidth(double* width);
    bool ReadNumber(double& value);
    bool ExpectClose();
    void FinishBlock();
    // Reads "X Y" pairs up to the closing parenthesis; a "(" starts the
    // sub-block scan of paths and polygons (aperture type, flag words).
    bool ReadVertexList();
    bool ReadSubBlock();
    virtual void SetAperture(TSpecctraApertureType type);
    // Stored keys common to all kinds: kind keys, layer and vertex count.
    bool ReadParamsCommon(const std::string& prefix, const TStoredParameters& params,
                          int32_t& count);
    static TVertex StoredVertex(const std::string& prefix, const TStoredParameters& params,
                                int32_t index);
    // The host layer of the design layer named LayerID, or eV6_NoLayer.
    TV6_Layer DesignHostLayer();
    bool UnderStructure() const;
    // Width used on the board.
    virtual int32_t BoardWidth() { return 0; }
    bool FClosed = false;

private:
    // OwnerRole's answer for the owner it was asked about (asked for every
    // board object a shape makes).
    mutable const TSpecctraObject* FRoleAskedOf = nullptr;
    mutable IShapeOwner* FRole = nullptr;
    std::vector<PcbApiNewTrack>* FKeptTracks = nullptr;

protected:
    // What every track of one export shares, found once for all of them.
    struct TTrackCommon {
        intptr_t Container;
        int32_t Width;
        TV6_Layer Layer;
        intptr_t Net;
        bool Keepout;
        bool Moveable;
    };
    TTrackCommon TrackCommon(int32_t width, TV6_Layer layer, intptr_t net);
    // One track between two board positions.
    bool AddTrack(const TTrackCommon& common, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
    // The tracks between consecutive board positions (x and y in turn), made
    // at once; false when one of them failed (each failure is reported).
    bool AddTrackPath(const TTrackCommon& common, const std::vector<int32_t>& xy);
    bool TrackFailed(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
};

class TSpecctraRectShape : public TSpecctraAbstractGeometryShape {
public:
    explicit TSpecctraRectShape(TSpecctraObject* owner);
    const char* ClassName() const override { return "TSpecctraRectShape"; }

    TVertex& TopLeft() { return Coordinates[0]; }
    TVertex& BottomRight() { return Coordinates[1]; }
    double Left() const { return Coordinates[0].X; }
    double Bottom() const { return Coordinates[0].Y; }
    double Right() const { return Coordinates[1].X; }
    double Top() const { return Coordinates[1].Y; }

    bool ImportFromFile() override;
    bool ExportToFile() override;
    bool ExportToPCB() override;
    void CalculateBoundingRectangle() override;
    bool ImportFromPcb_FromParams(const std::string& prefix,
                                  const TStoredParameters& params) override;
    void Validate() override;
    bool ExportToPCB_AsTracks() override;
    std::vector<TVertex> OutlineVertices() const override;
};

class TSpecctraCircleShape : public TSpecctraAbstractGeometryShape {
public:
    explicit TSpecctraCircleShape(TSpecctraObject* owner);
    const char* ClassName() const override { return "TSpecctraCircleShape"; }

    double FDiameter = 0.0;
    TVertex& Center() { return Coordinates[0]; }
    double Diameter() const { return FDiameter; }

    bool ImportFromFile() override;
    bool ExportToFile() override;
    bool ExportToPCB() override;
    void CalculateBoundingRectangle() override;
    void ExportToPcb_ShapeParams(const std::string& prefix, TStoredParameters& params) override;
    void ExportToPcb_ToParams(const std::string& prefix, TStoredParameters& params) override;
    bool ImportFromPcb_FromParams(const std::string& prefix,
                                  const TStoredParameters& params) override;
};

class TSpecctraQArcShape : public TSpecctraAbstractGeometryShape {
public:
    explicit TSpecctraQArcShape(TSpecctraObject* owner);
    const char* ClassName() const override { return "TSpecctraQArcShape"; }

    double FApertureWidth = 0.0;
    TVertex& StartPoint() { return Coordinates[0]; }
    TVertex& EndPoint() { return Coordinates[1]; }
    TVertex& Center() { return Coordinates[2]; }
    double ApertureWidth() const { return FApertureWidth; }

    bool ImportFromFile() override;
    bool ExportToFile() override;
    bool ExportToPCB() override;
    void CalculateBoundingRectangle() override {}
    void ExportToPcb_ShapeParams(const std::string& prefix, TStoredParameters& params) override;
    void ImportFromPcb_ShapeParams(const std::string& prefix,
                                   const TStoredParameters& params) override;

protected:
    int32_t BoardWidth() override { return FileToBoard(FApertureWidth); }
};

class TSpecctraPolyLineShape : public TSpecctraAbstractGeometryShape {
public:
    explicit TSpecctraPolyLineShape(
        TSpecctraObject* owner, TSpecctraShapeType kind = TSpecctraShapeType::ePolyOutlineShape);
    const char* ClassName() const override { return "TSpecctraPolyLineShape"; }

    double FApertureWidth = 0.0;
    TSpecctraApertureType FApertureType = eRoundAperture;
    double ApertureWidth() const { return FApertureWidth; }
    TSpecctraApertureType ApertureType() const { return FApertureType; }

    bool ImportFromFile() override;
    bool ExportToFile() override;
    bool ExportToPCB() override;
    void CalculateBoundingRectangle() override;
    void ExportToPcb_ShapeParams(const std::string& prefix, TStoredParameters& params) override;
    void ImportFromPcb_ShapeParams(const std::string& prefix,
                                   const TStoredParameters& params) override;
    bool ImportFromPcb_FromParams(const std::string& prefix,
                                  const TStoredParameters& params) override;
    int ExportToPCB_Mode() override;
    // Closes the outline: the first vertex is repeated when the last differs.
    void Validate() override;
    bool ExportToPCB_AsTracks() override;

protected:
    void SetAperture(TSpecctraApertureType type) override;
    int32_t BoardWidth() override { return FileToBoard(FApertureWidth); }
};

class TSpecctraFilledPolyShape : public TSpecctraPolyLineShape {
public:
    explicit TSpecctraFilledPolyShape(TSpecctraObject* owner);
    const char* ClassName() const override { return "TSpecctraFilledPolyShape"; }

    bool ImportFromFile() override;
    bool ExportToFile() override;
    int ExportToPCB_Mode() override;
};

// A new shape of the class a keyword names ("rect", "circle"/"circ", "qarc",
// "path", "polygon"/"poly"), or none for any other token.
std::unique_ptr<TSpecctraAbstractGeometryShape> CreateShapeForToken(int32_t token,
                                                                    TSpecctraObject* owner);
// A new shape of a kind (0 .. 4), or none.
std::unique_ptr<TSpecctraAbstractGeometryShape> CreateShapeOfKind(int kind, TSpecctraObject* owner);

// ------------------------------------------------------------ combined shape

class TSpecctraCombinedShape : public TSpecctraObject {
public:
    explicit TSpecctraCombinedShape(TSpecctraObject* owner);
    ~TSpecctraCombinedShape() override;
    const char* ClassName() const override { return "TSpecctraCombinedShape"; }

    TSpecctraAbstractGeometryShape* FVisibleShape = nullptr;
    bool FRecalcShape = true;
    // Held in place: a design has a combined shape for every wire and pad.
    TSpecctraList ShapeList;
    std::unique_ptr<TSpecctraList> CutoutList; // created on the first window

    TSpecctraAbstractGeometryShape* VisibleShape();
    virtual void RecalculateVisibleShape();
    // The keyword of the shape is the current token; reads it and closes the
    // block level the caller opened.
    virtual bool ImportFromFile_Shape();
    // The current token is "window"; reads "(" SHAPE ... ")" and closes the
    // block level the caller opened.
    virtual bool ImportFromFile_Window();

    int32_t ShapeCount() const;
    TSpecctraAbstractGeometryShape* Shape(int32_t index) const;
    int32_t WindowCount() const;
    TSpecctraAbstractGeometryShape* Window(int32_t index) const;

    bool ExportToFile() override;
    // Writes every shape to the board, stopping at the first failure.
    bool ExportToPCB() override;
};
