// The shapes on the board: tracks, arcs, polygons and regions on the
// shape's layer, net and container, and the parameter text that keeps a
// shape in the board and gives it back.
#include "geometry/SpecctraShapes.h"

#include "board/BoardFacade.h"
#include "persistence/EmbeddedStorageWrapper.h"
#include "rules/SpecctraNetRltd.h"
#include "specctra/SpecctraHelpers.h"

#include <charconv>
#include <cmath>

namespace {

std::string Whole(int32_t value) {
    return std::to_string(value);
}

} // namespace

intptr_t ResolveShapeNetHandle(TSpecctraObject* net, const std::string& name, intptr_t board) {
    if (auto* designNet = dynamic_cast<TSpecctraNet*>(net))
        return designNet->ForceHarrowHandle();
    return Board::NetByName(board, name);
}

std::string ShapeHexText(int32_t value) {
    static const char digits[] = "0123456789ABCDEF";
    uint32_t bits = static_cast<uint32_t>(value);
    char text[8];
    for (int i = 7; i >= 0; --i) {
        text[i] = digits[bits & 0xFu];
        bits >>= 4;
    }
    int first = 0;
    while (first < 7 && text[first] == '0')
        ++first;
    return std::string(text + first, text + 8);
}

bool ShapeHexValue(std::string_view text, int32_t& value) {
    value = 0;
    if (text.empty() || text.size() > 8)
        return false;
    uint32_t bits = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return false;
        bits = (bits << 4) | static_cast<uint32_t>(digit);
    }
    value = static_cast<int32_t>(bits);
    return true;
}

double ArcAngleOf(const TVertex& p, const TVertex& c) {
    const double dx = p.X - c.X;
    const double dy = p.Y - c.Y;
    if (dx == 0.0)
        return dy > 0.0 ? 90.0 : 270.0;
    double angle = std::atan2(dy, dx) * 57.29577951308232;
    if (angle < 0.0)
        angle += 360.0;
    return angle;
}

bool TSpecctraAbstractGeometryShape::ExportToPCB() {
    return ExportToPCB_AsTracks();
}

bool TSpecctraAbstractGeometryShape::ExportToPCB_AsTracks() {
    return true;
}

IShapeOwner* TSpecctraAbstractGeometryShape::OwnerRole() const {
    if (Owner != FRoleAskedOf) {
        FRole = dynamic_cast<IShapeOwner*>(Owner);
        FRoleAskedOf = Owner;
    }
    return FRole;
}

TShapeOwnerRole TSpecctraAbstractGeometryShape::Role() const {
    IShapeOwner* owner = OwnerRole();
    return owner ? owner->ShapeOwnerRole() : TShapeOwnerRole::eOther;
}

bool TSpecctraAbstractGeometryShape::UnderStructure() const {
    for (TSpecctraObject* node = Owner; node; node = node->Owner) {
        IShapeOwner* owner = dynamic_cast<IShapeOwner*>(node);
        if (owner && owner->ShapeOwnerRole() == TShapeOwnerRole::eStructure)
            return true;
    }
    return false;
}

TV6_Layer TSpecctraAbstractGeometryShape::DesignHostLayer() {
    return Get_HostLayerByName(LayerID);
}

TV6_Layer TSpecctraAbstractGeometryShape::ExportToPCB_Layer() {
    switch (Role()) {
    case TShapeOwnerRole::eComponentImage:
        return eV6_TopOverlay;
    case TShapeOwnerRole::eKeepout: {
        const TV6_Layer layer = DesignHostLayer();
        return layer != eV6_NoLayer ? layer : eV6_KeepOutLayer;
    }
    case TShapeOwnerRole::eBoundary:
        return eV6_KeepOutLayer;
    default:
        break;
    }
    const TV6_Layer layer = DesignHostLayer();
    if (layer != eV6_NoLayer)
        return layer;
    const std::string name = UpperAscii(LayerID);
    if (name == "SIGNAL")
        return UnderStructure() ? eV6_KeepOutLayer : eV6_MultiLayer;
    if (name == "PCB")
        return eV6_KeepOutLayer;
    const TVertex first = GetVertex(0);
    if (name == "POWER") {
        ReportWarning(KindName() + " starting at (" + Whole(ExportToPCB_PositionX(first.X)) + ", " +
                      Whole(ExportToPCB_PositionY(first.Y)) +
                      ") moved from POWER layer to Multilayer");
        return eV6_MultiLayer;
    }
    ReportError(KindName() + " starting at (" + Whole(ExportToPCB_PositionX(first.X)) + ", " +
                Whole(ExportToPCB_PositionY(first.Y)) +
                ") has an unknown layer reference: " + LayerID);
    return eV6_NoLayer;
}

const std::string& IShapeOwner::ShapeNetName() const {
    return NoText();
}

intptr_t TSpecctraAbstractGeometryShape::ExportToPCB_Net() {
    const TShapeOwnerRole role = Role();
    if (role != TShapeOwnerRole::eWire && role != TShapeOwnerRole::eSplitPlane)
        return 0;
    const std::string& name = OwnerRole()->ShapeNetName();
    // Where the shape starts, for the reports only. Without a known unit
    // each conversion reports, so then it is made every time.
    std::string at;
    const auto start = [&] {
        if (at.empty()) {
            const TVertex first = GetVertex(0);
            at = "(" + Whole(ExportToPCB_PositionX(first.X)) + ", " +
                 Whole(ExportToPCB_PositionY(first.Y)) + ")";
        }
        return at;
    };
    if (GetUnit() == eDimNotSet)
        start();
    if (name.empty()) {
        ReportWarning("Found orphan " + KindName() +
                      " shape - without net assigned, starting at point " + start());
        return 0;
    }
    // A net the design does not list may still be on the board already.
    TSpecctraObject* net = Get_NetByName(name);
    const intptr_t handle = ResolveShapeNetHandle(net, name, GetBoard());
    if (handle == 0) {
        ReportWarning(KindName() + " shape, starting at point " + start() +
                      " has invalid net reference: " + name);
        return 0;
    }
    return handle;
}

intptr_t TSpecctraAbstractGeometryShape::ExportToPCB_Container() {
    switch (Role()) {
    case TShapeOwnerRole::eKeepout:
    case TShapeOwnerRole::eComponentImage:
    case TShapeOwnerRole::eWire:
        if (const intptr_t container = OwnerRole()->ShapeContainer())
            return container;
        break;
    default:
        break;
    }
    return GetBoard();
}

bool TSpecctraAbstractGeometryShape::ExportToPCB_Keepout() const {
    return Role() == TShapeOwnerRole::eKeepout;
}

bool TSpecctraAbstractGeometryShape::ExportToPCB_Moveable() const {
    IShapeOwner* owner = OwnerRole();
    return !owner || owner->ShapeOwnerRole() != TShapeOwnerRole::eWire || owner->ShapeMoveable();
}

int TSpecctraAbstractGeometryShape::ExportToPCB_Mode() {
    switch (Role()) {
    case TShapeOwnerRole::eSplitPlane:
        return 2;
    case TShapeOwnerRole::eWire:
        return Kind == TSpecctraShapeType::eFilledPolyShape ? 2 : 0;
    default:
        return 0;
    }
}

namespace {

void MarkKeepout(TPCBObject& object, bool keepout) {
    if (keepout)
        object.SetState_BitField(
            static_cast<uint16_t>(object.GetState_BitField() | PCBAPI_BITFIELD_KEEPOUT));
}

} // namespace

TSpecctraAbstractGeometryShape::TTrackCommon
TSpecctraAbstractGeometryShape::TrackCommon(int32_t width, TV6_Layer layer, intptr_t net) {
    // The container is asked for only when there is a layer to write on.
    return TTrackCommon{layer == eV6_NoLayer ? 0 : ExportToPCB_Container(),
                        width,
                        layer,
                        net,
                        ExportToPCB_Keepout(),
                        ExportToPCB_Moveable()};
}

bool TSpecctraAbstractGeometryShape::AddTrack(const TTrackCommon& common, int32_t x1, int32_t y1,
                                              int32_t x2, int32_t y2) {
    TPcbTrack track(0);
    const intptr_t handle = common.Layer == eV6_NoLayer
                                ? 0
                                : Board::MakeAndAdd(common.Container, track, [&](TPcbTrack& t) {
                                      t.SetState_x1(x1);
                                      t.SetState_y1(y1);
                                      t.SetState_x2(x2);
                                      t.SetState_y2(y2);
                                      t.SetState_Layer(common.Layer);
                                      t.SetState_Width(common.Width);
                                      t.SetState_Net(common.Net);
                                      t.SetState_Moveable(common.Moveable);
                                      MarkKeepout(t, common.Keepout);
                                      if (FKeptTracks)
                                          FKeptTracks->push_back(Board::NewTrackOf(t));
                                  });
    return handle != 0 || TrackFailed(x1, y1, x2, y2);
}

bool TSpecctraAbstractGeometryShape::AddTrackPath(const TTrackCommon& common,
                                                  const std::vector<int32_t>& xy) {
    const size_t points = xy.size() / 2;
    if (points < 2)
        return true;
    if (common.Layer == eV6_NoLayer) {
        bool ok = true;
        for (size_t i = 1; i < points; ++i)
            ok = AddTrack(common, xy[2 * i - 2], xy[2 * i - 1], xy[2 * i], xy[2 * i + 1]) && ok;
        return ok;
    }
    // What the segments share is set on one wrapper, as each track's own
    // would hold it, and only the ends differ from row to row.
    TPcbTrack shared(0);
    shared.SetState_Layer(common.Layer);
    shared.SetState_Width(common.Width);
    shared.SetState_Net(common.Net);
    shared.SetState_Moveable(common.Moveable);
    MarkKeepout(shared, common.Keepout);
    const PcbApiNewTrack proto = Board::NewTrackOf(shared);
    thread_local std::vector<PcbApiNewTrack> rows;
    thread_local std::vector<intptr_t> handles;
    rows.clear();
    for (size_t i = 1; i < points; ++i) {
        PcbApiNewTrack row = proto;
        row.x1 = xy[2 * i - 2];
        row.y1 = xy[2 * i - 1];
        row.x2 = xy[2 * i];
        row.y2 = xy[2 * i + 1];
        rows.push_back(row);
    }
    Board::AddTracks(common.Container, rows, handles);
    if (FKeptTracks)
        FKeptTracks->insert(FKeptTracks->end(), rows.begin(), rows.end());
    bool ok = true;
    for (size_t i = 0; i < rows.size(); ++i)
        if (handles[i] == 0)
            ok = TrackFailed(rows[i].x1, rows[i].y1, rows[i].x2, rows[i].y2) && ok;
    return ok;
}

bool TSpecctraAbstractGeometryShape::TrackFailed(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    ReportError("Error adding track to board at position SP(" + Whole(x1) + " " + Whole(y1) +
                ") EP(" + Whole(x2) + " " + Whole(y2) + ") and layer: " + LayerID + ".");
    return false;
}

bool TSpecctraAbstractGeometryShape::ExportToPCB_Track(const TVertex& a, const TVertex& b,
                                                       int32_t width, TV6_Layer layer,
                                                       intptr_t net) {
    const int32_t x1 = ExportToPCB_PositionX(a.X), y1 = ExportToPCB_PositionY(a.Y);
    const int32_t x2 = ExportToPCB_PositionX(b.X), y2 = ExportToPCB_PositionY(b.Y);
    return AddTrack(TrackCommon(width, layer, net), x1, y1, x2, y2);
}

bool TSpecctraAbstractGeometryShape::ExportToPCB_KeptTracks(
    const std::vector<PcbApiNewTrack>& tracks, intptr_t container) {
    thread_local std::vector<intptr_t> handles;
    Board::AddTracks(container, tracks, handles);
    bool ok = true;
    for (size_t i = 0; i < tracks.size(); ++i)
        if (handles[i] == 0)
            ok = TrackFailed(tracks[i].x1, tracks[i].y1, tracks[i].x2, tracks[i].y2) && ok;
    if (!ok && Kind != TSpecctraShapeType::eRectShape)
        ReportError("Failed creating polygon outline as tracks //DR");
    return ok;
}

bool TSpecctraAbstractGeometryShape::ExportToPCB_Arc(const TVertex& centre, int32_t radius,
                                                     int32_t width, double angle1, double angle2) {
    const TV6_Layer layer = ExportToPCB_Layer();
    const intptr_t net = ExportToPCB_Net();
    const bool keepout = ExportToPCB_Keepout();
    const int32_t x = ExportToPCB_PositionX(centre.X);
    const int32_t y = ExportToPCB_PositionY(centre.Y);
    TPcbArc arc(0);
    const intptr_t handle =
        layer == eV6_NoLayer ? 0 : Board::MakeAndAdd(ExportToPCB_Container(), arc, [&](TPcbArc& a) {
            a.SetState_x1(x);
            a.SetState_y1(y);
            a.SetState_Radius(radius);
            a.SetState_LineWidth(width);
            a.SetState_Angle1(angle1);
            a.SetState_Angle2(angle2);
            a.SetState_Net(net);
            a.SetState_Layer(layer);
            MarkKeepout(a, keepout);
        });
    if (handle == 0) {
        ReportError("Failed to create arc at position //DR give position");
        return false;
    }
    return true;
}

void TSpecctraAbstractGeometryShape::ExportToPCB_PolygonSegments(
    std::vector<TPcbPolySegment>& segments, int32_t& pointCount) {
    ExportToPCB_PolygonSegments(Coordinates, segments, pointCount);
}

void TSpecctraAbstractGeometryShape::ExportToPCB_PolygonSegments(
    std::span<const TVertex> vertices, std::vector<TPcbPolySegment>& segments,
    int32_t& pointCount) {
    segments.clear();
    segments.reserve(vertices.size() + 1);
    for (const TVertex& v : vertices) {
        TPcbPolySegment s{};
        s.Kind = ePolySegmentLine;
        s.vx = ExportToPCB_PositionX(v.X);
        s.vy = ExportToPCB_PositionY(v.Y);
        segments.push_back(s);
    }
    if (!segments.empty() &&
        (segments.back().vx != segments.front().vx || segments.back().vy != segments.front().vy))
        segments.push_back(segments.front());
    pointCount = static_cast<int32_t>(segments.size()) - 1;
    if (pointCount < 0)
        pointCount = 0;
}

bool TSpecctraAbstractGeometryShape::ExportToPCB_AsPolygon() {
    const TV6_Layer layer = ExportToPCB_Layer();
    const intptr_t net = ExportToPCB_Net();
    std::vector<TPcbPolySegment> segments;
    int32_t count = 0;
    ExportToPCB_PolygonSegments(segments, count);
    intptr_t handle = 0;
    if (layer != eV6_NoLayer && !segments.empty()) {
        if (layer >= eV6_InternalPlane1 && layer <= eV6_InternalPlane16) {
            TPcbSplitPlane plane(0);
            handle = Board::MakeAndAdd(GetBoard(), plane, [&](TPcbSplitPlane& p) {
                p.SetState_Layer(layer);
                p.SetState_Net(net);
                p.SetState_Segments(segments);
                p.SetState_PointCount(count);
            });
        } else {
            const int32_t width = BoardWidth();
            TPcbPolygon polygon(0);
            handle = Board::MakeAndAdd(GetBoard(), polygon, [&](TPcbPolygon& p) {
                p.SetState_PourOver(true);
                p.SetState_TrackSize(width);
                p.SetState_Grid(width);
                p.SetState_PolyHatchStyle(ePolyHatch90);
                p.SetState_Layer(layer);
                p.SetState_Net(net);
                p.SetState_Segments(segments);
                p.SetState_PointCount(count);
            });
        }
    }
    if (handle == 0) {
        ReportError("Failed creating polygon //DR");
        return false;
    }
    TranslationState().CreatedPolygons.push_back(handle);
    return true;
}

bool TSpecctraAbstractGeometryShape::ExportToPCB_AsRegion() {
    const TV6_Layer layer = ExportToPCB_Layer();
    const bool keepout = ExportToPCB_Keepout();
    intptr_t container = GetBoard();
    if (IShapeOwner* owner = OwnerRole())
        if (const intptr_t component = owner->ShapeContainer(); component > 0)
            container = component;
    std::vector<TVertex> contour;
    contour.reserve(Coordinates.size());
    for (const TVertex& v : Coordinates)
        contour.push_back(TVertex{static_cast<double>(ExportToPCB_PositionX(v.X)),
                                  static_cast<double>(ExportToPCB_PositionY(v.Y))});
    bool added = false;
    if (layer != eV6_NoLayer && contour.size() >= 3) {
        // The host's factory first; a host that makes none leaves it to the
        // engine.
        IKeepoutRegionFactory* factory = Services().RegionFactory;
        const intptr_t region =
            factory ? factory->CreateKeepoutRegion(GetBoard(), layer, keepout, contour) : 0;
        if (region != 0) {
            added = Board::Add(container, region);
            if (!added)
                Board::FreeObject(region);
        } else {
            std::vector<TPcbPoint> points;
            points.reserve(contour.size());
            for (const TVertex& v : contour)
                points.push_back(TPcbPoint{static_cast<int32_t>(v.X), static_cast<int32_t>(v.Y)});
            TPCBRegion region(0);
            added = Board::MakeAndAdd(container, region, [&](TPCBRegion& r) {
                        r.SetState_Layer(layer);
                        r.SetState_MainContour(points);
                        r.SetState_Data(0);
                        MarkKeepout(r, keepout);
                    }) != 0;
        }
    }
    if (!added)
        ReportError("Failed creating polygon //DR");
    return added;
}

// ---------------------------------------------------------- parameter text

void TSpecctraAbstractGeometryShape::ExportToPcb_ShapeParams(const std::string&,
                                                             TStoredParameters&) {}

void TSpecctraAbstractGeometryShape::ImportFromPcb_ShapeParams(const std::string&,
                                                               const TStoredParameters&) {}

void TSpecctraAbstractGeometryShape::ExportToPcb_ToParams(const std::string& prefix,
                                                          TStoredParameters& params) {
    // Every name below is the prefix and a suffix of its own: each is new.
    if (LayerID != "SIGNAL")
        params.Append(prefix + "L", LayerID);
    ExportToPcb_ShapeParams(prefix, params);
    if (Coordinates.empty()) {
        ReportError("Invalid shape " + KindName() + ", no vertexes defined.");
        return;
    }
    params.Append(prefix + "VC", std::to_string(Coordinates.size()));
    // The name is the prefix, the axis letter and the vertex number.
    std::string name = prefix;
    name += 'X';
    const size_t axis = prefix.size();
    for (size_t i = 0; i < Coordinates.size(); ++i) {
        const TVertex& v = Coordinates[i];
        char digits[24];
        char* end = std::to_chars(digits, digits + sizeof digits, i).ptr;
        name.resize(axis + 1);
        name.append(digits, static_cast<size_t>(end - digits));
        if (v.X != 0.0) {
            name[axis] = 'X';
            params.Append(name, ShapeHexText(ExportToPCB_PositionX(v.X)));
        }
        if (v.Y != 0.0) {
            name[axis] = 'Y';
            params.Append(name, ShapeHexText(ExportToPCB_PositionY(v.Y)));
        }
    }
}

namespace {

int32_t HexParam(const TStoredParameters& params, const std::string& key, int32_t missing = 0) {
    std::string text;
    int32_t value = 0;
    if (!params.Get(key, text))
        return missing;
    ShapeHexValue(text, value);
    return value;
}

} // namespace

bool TSpecctraAbstractGeometryShape::ReadParamsCommon(const std::string& prefix,
                                                      const TStoredParameters& params,
                                                      int32_t& count) {
    ImportFromPcb_ShapeParams(prefix, params);
    std::string layer;
    LayerID = params.Get(prefix + "L", layer) ? layer : std::string("SIGNAL");
    if (!IsLayerClassName(LayerID) && !Get_LayerByName(LayerID)) {
        const char* gap = Kind == TSpecctraShapeType::eCircleShape ? "\r\n" : " ";
        ReportError("Stored padstacks contain original layer names. Can't find layer: <" + LayerID +
                    ">." + gap + "If you change layer names, host PCB sytem might report errors.");
    }
    std::string text;
    count = 0;
    if (params.Get(prefix + "VC", text))
        ConvertSpecctraInt(text, count);
    if (count <= 0) {
        count = 0;
        ReportError("Cannot load number of vertexes for shape: " + KindName());
        return false;
    }
    return true;
}

TVertex TSpecctraAbstractGeometryShape::StoredVertex(const std::string& prefix,
                                                     const TStoredParameters& params, int32_t i) {
    // A vertex coordinate of 0 in the design is not stored: it is the board
    // position of the design's origin, the board offset.
    const std::string index = std::to_string(i);
    const auto& state = TranslationState();
    return TVertex{static_cast<double>(HexParam(params, prefix + "X" + index, state.BoardOffsetX)),
                   static_cast<double>(HexParam(params, prefix + "Y" + index, state.BoardOffsetY))};
}

bool TSpecctraAbstractGeometryShape::ImportFromPcb_FromParams(const std::string& prefix,
                                                              const TStoredParameters& params) {
    int32_t count = 0;
    if (!ReadParamsCommon(prefix, params, count))
        return false;
    if (Kind == TSpecctraShapeType::eQArcShape) {
        for (int32_t i = 0; i < 3 && i < count; ++i)
            SetVertex(i, StoredVertex(prefix, params, i));
        return true;
    }
    Coordinates.reserve(Coordinates.size() + static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i)
        NewVertex() = StoredVertex(prefix, params, i);
    return true;
}

bool TSpecctraRectShape::ExportToPCB() {
    if (!VerticesOnBoard())
        return true;
    if (ExportToPCB_Mode() == 0)
        return ExportToPCB_AsTracks();
    const TV6_Layer layer = ExportToPCB_Layer();
    const intptr_t net = ExportToPCB_Net();
    const bool keepout = ExportToPCB_Keepout();
    const int32_t x1 = ExportToPCB_PositionX(Left()), y1 = ExportToPCB_PositionY(Bottom());
    const int32_t x2 = ExportToPCB_PositionX(Right()), y2 = ExportToPCB_PositionY(Top());
    TPcbFill fill(0);
    const intptr_t handle =
        layer == eV6_NoLayer ? 0
                             : Board::MakeAndAdd(ExportToPCB_Container(), fill, [&](TPcbFill& f) {
                                   f.SetState_x1(x1);
                                   f.SetState_y1(y1);
                                   f.SetState_x2(x2);
                                   f.SetState_y2(y2);
                                   f.SetState_Layer(layer);
                                   f.SetState_Net(net);
                                   MarkKeepout(f, keepout);
                               });
    if (handle == 0) {
        ReportError("Failed exporting rectangle as fill object //DR");
        return false;
    }
    return true;
}

bool TSpecctraRectShape::ExportToPCB_AsTracks() {
    const TV6_Layer layer = ExportToPCB_Layer();
    const intptr_t net = ExportToPCB_Net();
    const TVertex lb{Left(), Bottom()}, rb{Right(), Bottom()}, rt{Right(), Top()},
        lt{Left(), Top()};
    bool ok = ExportToPCB_Track(lb, rb, 0, layer, net);
    ok = ExportToPCB_Track(rb, rt, 0, layer, net) && ok;
    ok = ExportToPCB_Track(rt, lt, 0, layer, net) && ok;
    ok = ExportToPCB_Track(lt, lb, 0, layer, net) && ok;
    if (!ok)
        ReportError("Failed exporting rectangle as track outline //DR");
    return ok;
}

bool TSpecctraRectShape::ImportFromPcb_FromParams(const std::string& prefix,
                                                  const TStoredParameters& params) {
    int32_t count = 0;
    const bool counted = ReadParamsCommon(prefix, params, count);
    if (!counted)
        return false;
    if (count >= 3) {
        ReportError("Rectangle may contain only two opposite corner vertices.");
        return false;
    }
    Coordinates[0] = StoredVertex(prefix, params, 0);
    Coordinates[1] = StoredVertex(prefix, params, 1);
    const double storedTop = Coordinates[1].Y;
    Validate();
    return storedTop > 0.0;
}

bool TSpecctraCircleShape::ExportToPCB() {
    if (!VerticesOnBoard())
        return true;
    return ExportToPCB_Arc(Coordinates[0], FileToBoard(FDiameter / 2.0), 0, 0.0, 360.0);
}

void TSpecctraCircleShape::ExportToPcb_ShapeParams(const std::string& prefix,
                                                   TStoredParameters& params) {
    params.Append(prefix + "D", ShapeHexText(FileToBoard(FDiameter)));
}

void TSpecctraCircleShape::ExportToPcb_ToParams(const std::string& prefix,
                                                TStoredParameters& params) {
    if (Coordinates.size() >= 2) {
        ReportError("Error: Multiple point definitions in circle. #10#13 Circle may contain only "
                    "single vertex defining center of the circle.");
        return;
    }
    TSpecctraAbstractGeometryShape::ExportToPcb_ToParams(prefix, params);
}

bool TSpecctraCircleShape::ImportFromPcb_FromParams(const std::string& prefix,
                                                    const TStoredParameters& params) {
    int32_t count = 0;
    if (!ReadParamsCommon(prefix, params, count))
        return false;
    if (count >= 2) {
        ReportError("Multiple point definitions in circle. #10#13 Circle may contain only single "
                    "vertex defining center of the circle.");
        return false;
    }
    Coordinates[0] = StoredVertex(prefix, params, 0);
    FDiameter = HexParam(params, prefix + "D");
    return FDiameter > 0.0;
}

bool TSpecctraQArcShape::ExportToPCB() {
    if (!VerticesOnBoard())
        return true;
    // The angles are taken from the Specctra values, before conversion.
    const double dx = StartPoint().X - Center().X, dy = StartPoint().Y - Center().Y;
    return ExportToPCB_Arc(Center(), FileToBoard(std::sqrt(dx * dx + dy * dy)), BoardWidth(),
                           ArcAngleOf(StartPoint(), Center()), ArcAngleOf(EndPoint(), Center()));
}

void TSpecctraQArcShape::ExportToPcb_ShapeParams(const std::string& prefix,
                                                 TStoredParameters& params) {
    params.Append(prefix + "A", ShapeHexText(FileToBoard(FApertureWidth)));
}

void TSpecctraQArcShape::ImportFromPcb_ShapeParams(const std::string& prefix,
                                                   const TStoredParameters& params) {
    std::string text;
    if (params.Get(prefix + "A", text)) {
        int32_t value = 0;
        ShapeHexValue(text, value);
        FApertureWidth = value;
    }
}

int TSpecctraPolyLineShape::ExportToPCB_Mode() {
    if (Role() == TShapeOwnerRole::eKeepout)
        return 0;
    return TSpecctraAbstractGeometryShape::ExportToPCB_Mode();
}

bool TSpecctraPolyLineShape::ExportToPCB() {
    if (!VerticesOnBoard())
        return true;
    switch (ExportToPCB_Mode()) {
    case 0:
        return ExportToPCB_AsTracks();
    case 3:
        return ExportToPCB_AsRegion();
    default:
        return ExportToPCB_AsPolygon();
    }
}

bool TSpecctraPolyLineShape::ExportToPCB_AsTracks() {
    const TV6_Layer layer = ExportToPCB_Layer();
    const intptr_t net = ExportToPCB_Net();
    const int32_t width = BoardWidth();
    bool ok = true;
    if (GetUnit() == eDimNotSet || Coordinates.size() < 2) {
        // Without a known unit every conversion reports: each segment
        // converts both its ends, as it always has.
        for (size_t i = 1; i < Coordinates.size(); ++i)
            ok = ExportToPCB_Track(Coordinates[i - 1], Coordinates[i], width, layer, net) && ok;
    } else {
        // Each point is converted once and what the segments share is found
        // once: a routed board writes millions of segments.
        const TTrackCommon common = TrackCommon(width, layer, net);
        thread_local std::vector<int32_t> xy;
        xy.clear();
        for (const TVertex& v : Coordinates) {
            xy.push_back(ExportToPCB_PositionX(v.X));
            xy.push_back(ExportToPCB_PositionY(v.Y));
        }
        ok = AddTrackPath(common, xy);
    }
    if (!ok)
        ReportError("Failed creating polygon outline as tracks //DR");
    return ok;
}

void TSpecctraPolyLineShape::ExportToPcb_ShapeParams(const std::string& prefix,
                                                     TStoredParameters& params) {
    params.Append(prefix + (FApertureType == eSquareAperture ? "AS" : "AR"),
                  ShapeHexText(FileToBoard(FApertureWidth)));
}

void TSpecctraPolyLineShape::ImportFromPcb_ShapeParams(const std::string& prefix,
                                                       const TStoredParameters& params) {
    std::string text;
    int32_t value = 0;
    if (params.Get(prefix + "AS", text)) {
        FApertureType = eSquareAperture;
        ShapeHexValue(text, value);
        FApertureWidth = value;
    } else if (params.Get(prefix + "AR", text)) {
        ShapeHexValue(text, value);
        FApertureWidth = value;
    }
}

bool TSpecctraPolyLineShape::ImportFromPcb_FromParams(const std::string& prefix,
                                                      const TStoredParameters& params) {
    return TSpecctraAbstractGeometryShape::ImportFromPcb_FromParams(prefix, params);
}

int TSpecctraFilledPolyShape::ExportToPCB_Mode() {
    if (Role() == TShapeOwnerRole::eKeepout)
        return 3;
    return TSpecctraAbstractGeometryShape::ExportToPCB_Mode();
}

bool TSpecctraCombinedShape::ExportToPCB() {
    for (int32_t i = 0; i < ShapeCount(); ++i)
        if (!Shape(i)->ExportToPCB())
            return false;
    return true;
}
