// The shapes of a design file as read: their vertices and bounds, their
// blocks, the factories that make a shape for a keyword or a stored kind, and
// the combined shape of an outline with its windows. The board side is in
// SpecctraShapes_Board.cpp, the text side in SpecctraShapes_Text.cpp.
#include "geometry/SpecctraShapes.h"

#include "specctra/SpecctraParser2.h"

#include <cmath>

namespace {

bool IsParen(int32_t token) {
    return token == eTok_OpenParen || token == eTok_CloseParen;
}

} // namespace

std::string ShapeKindName(int kind) {
    return ShapeTypeName(kind);
}

// ------------------------------------------------------------------ base

TSpecctraAbstractGeometryShape::TSpecctraAbstractGeometryShape(TSpecctraObject* owner,
                                                               TSpecctraShapeType kind)
    : TSpecctraObject(owner), Kind(kind) {}

TVertex& TSpecctraAbstractGeometryShape::NewVertex() {
    Coordinates.push_back(TVertex{});
    return Coordinates.back();
}

TVertex TSpecctraAbstractGeometryShape::GetVertex(int32_t index) const {
    if (index < 0 || index >= VertexCount())
        return TVertex{};
    return Coordinates[static_cast<size_t>(index)];
}

void TSpecctraAbstractGeometryShape::SetVertex(int32_t index, const TVertex& vertex) {
    if (index >= 0 && index < VertexCount())
        Coordinates[static_cast<size_t>(index)] = vertex;
}

void TSpecctraAbstractGeometryShape::BoundingRectangle(double& lx, double& ly, double& hx,
                                                       double& hy) {
    if (FLx == FLy && FLy == FHx && FHx == FHy)
        CalculateBoundingRectangle();
    lx = FLx;
    ly = FLy;
    hx = FHx;
    hy = FHy;
}

double TSpecctraAbstractGeometryShape::AreaSize() {
    if (FAreaSize <= 0.0) {
        double lx, ly, hx, hy;
        BoundingRectangle(lx, ly, hx, hy);
        FAreaSize = std::fabs((hx - lx) * (hy - ly));
    }
    return FAreaSize;
}

void TSpecctraAbstractGeometryShape::CalculateBoundingRectangle() {}

bool TSpecctraAbstractGeometryShape::ImportFromFile() {
    return false;
}

bool TSpecctraAbstractGeometryShape::VerticesOnBoard() {
    const auto name = [this] { return KindName() + (LayerID.empty() ? "" : " on " + LayerID); };
    for (const TVertex& v : Coordinates)
        if (!PlacedOnBoard(v.X, v.Y, name))
            return false;
    return true;
}

bool TSpecctraAbstractGeometryShape::ReadNumber(double& value) {
    const int32_t token = Parser->NextTokenForNumber();
    if (IsParen(token)) {
        Parser->ReportUnexpectedToken();
        if (token == eTok_OpenParen)
            Parser->SkipCurrentBlock();
        else
            FClosed = true;
        return false;
    }
    return Parser->TokenStr2Real(value);
}

void TSpecctraAbstractGeometryShape::FinishBlock() {
    // Skips what is left of the shape's block, nested blocks included.
    int depth = 1;
    while (!FClosed && !StopParsing()) {
        const int32_t token = Parser->NextToken();
        if (token == eTok_OpenParen)
            ++depth;
        else if (token == eTok_CloseParen && --depth == 0)
            FClosed = true;
    }
}

bool TSpecctraAbstractGeometryShape::ExpectClose() {
    if (Parser->NextToken() == eTok_CloseParen) {
        FClosed = true;
        return true;
    }
    Parser->ReportUnexpectedToken();
    if (Parser->CurrentToken() == eTok_OpenParen)
        Parser->SkipCurrentBlock();
    return false;
}

bool TSpecctraAbstractGeometryShape::ReadSubBlock() {
    // Entered after "(": counts parentheses until the block is closed. Only
    // the aperture type and the two flag words with an argument are read.
    bool result = true;
    int depth = 1;
    while (depth > 0 && !StopParsing()) {
        const int32_t token = Parser->NextToken();
        if (token == eTok_OpenParen) {
            ++depth;
        } else if (token == eTok_CloseParen) {
            --depth;
        } else if (token == eTok_aperture_type) {
            const int32_t kind = Parser->NextToken();
            if (kind == eTok_round) {
                SetAperture(eRoundAperture);
            } else if (kind == eTok_square) {
                SetAperture(eSquareAperture);
            } else {
                Parser->ReportUnexpectedToken();
                result = false;
                if (kind == eTok_OpenParen)
                    ++depth;
                else if (kind == eTok_CloseParen)
                    --depth;
            }
        } else if (token == eTok_ViaPop || token == eTok_WirePlow) {
            const int32_t argument = Parser->NextToken();
            if (argument == eTok_OpenParen)
                ++depth;
            else if (argument == eTok_CloseParen)
                --depth;
        }
    }
    return result;
}

bool TSpecctraAbstractGeometryShape::ReadVertexList() {
    // The points are gathered in a buffer kept between calls and stored in
    // one allocation of the exact size: a design holds millions of short
    // paths, and growing each vector point by point costs several
    // allocations and up to twice the memory.
    constexpr std::size_t kKeptPoints = 4096;
    thread_local std::vector<TVertex> points;
    points.clear();
    const auto keep = [this] {
        Coordinates.insert(Coordinates.end(), points.begin(), points.end());
        points.clear();
        if (points.capacity() > kKeptPoints)
            points.shrink_to_fit(); // an outline of a million points is not kept twice
    };
    bool result = true;
    while (!StopParsing()) {
        // Most points are plain decimal pairs, read in runs; the rest, and
        // the token that ends a run, one token at a time below.
        double run[128];
        if (const std::size_t read = Parser->ReadNumberPairs(run); read > 0) {
            for (std::size_t i = 0; i < read; i += 2)
                points.push_back(TVertex{run[i], run[i + 1]});
            continue;
        }
        int32_t token = Parser->NextTokenForNumber();
        if (token == eTok_CloseParen) {
            FClosed = true;
            keep();
            return result;
        }
        if (token == eTok_OpenParen) {
            result = ReadSubBlock() && result;
            continue;
        }
        double x = 0.0, y = 0.0;
        if (!Parser->TokenStr2Real(x))
            result = false;
        token = Parser->NextTokenForNumber();
        if (IsParen(token)) {
            // An X without its Y.
            Parser->ReportUnexpectedToken();
            result = false;
            if (token == eTok_CloseParen) {
                FClosed = true;
                keep();
                return result;
            }
            result = ReadSubBlock() && result;
            continue;
        }
        if (!Parser->TokenStr2Real(y))
            result = false;
        points.push_back(TVertex{x, y});
    }
    keep();
    return false;
}

void TSpecctraAbstractGeometryShape::SetAperture(TSpecctraApertureType) {}

bool TSpecctraAbstractGeometryShape::ReadLayerAndWidth(double* width) {
    Parser->NextString(LayerID);
    if (IsParen(Parser->CurrentToken())) {
        Parser->ReportUnexpectedToken();
        if (Parser->CurrentToken() == eTok_CloseParen)
            FClosed = true;
        else
            Parser->SkipCurrentBlock();
        LayerID.clear();
        return false;
    }
    return width == nullptr || ReadNumber(*width);
}

// ------------------------------------------------------------------ rect

TSpecctraRectShape::TSpecctraRectShape(TSpecctraObject* owner)
    : TSpecctraAbstractGeometryShape(owner, TSpecctraShapeType::eRectShape) {
    Coordinates.resize(2);
}

bool TSpecctraRectShape::ImportFromFile() {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    bool ok = ReadLayerAndWidth(nullptr) && ReadNumber(x1) && ReadNumber(y1) && ReadNumber(x2) &&
              ReadNumber(y2);
    Coordinates[0].X = x1; // Left
    Coordinates[1].Y = y1; // Top
    Coordinates[1].X = x2; // Right
    Coordinates[0].Y = y2; // Bottom
    Validate();
    ok = ok && ExpectClose();
    FinishBlock();
    return ok;
}

void TSpecctraRectShape::Validate() {
    if (Coordinates.size() < 2)
        Coordinates.resize(2);
    if (Bottom() > Top())
        std::swap(Coordinates[0].Y, Coordinates[1].Y);
    if (Left() > Right())
        std::swap(Coordinates[0].X, Coordinates[1].X);
}

std::vector<TVertex> TSpecctraRectShape::OutlineVertices() const {
    return {{Left(), Bottom()}, {Right(), Bottom()}, {Right(), Top()}, {Left(), Top()}};
}

void TSpecctraRectShape::CalculateBoundingRectangle() {
    FLx = Left();
    FLy = Bottom();
    FHx = Right();
    FHy = Top();
}

// ------------------------------------------------------------------ circle

TSpecctraCircleShape::TSpecctraCircleShape(TSpecctraObject* owner)
    : TSpecctraAbstractGeometryShape(owner, TSpecctraShapeType::eCircleShape) {
    Coordinates.resize(1);
}

bool TSpecctraCircleShape::ImportFromFile() {
    bool ok = ReadLayerAndWidth(&FDiameter);
    if (ok) {
        const int32_t token = Parser->NextToken();
        if (token == eTok_CloseParen) {
            FClosed = true;
            return true;
        }
        if (token == eTok_OpenParen) {
            Parser->ReportUnexpectedToken();
            Parser->SkipCurrentBlock();
            ok = false;
        } else {
            double y = 0.0;
            ok = Parser->TokenStr2Real(Coordinates[0].X);
            ok = ReadNumber(y) && ok;
            Coordinates[0].Y = y;
            ok = ok && ExpectClose();
        }
    }
    FinishBlock();
    return ok;
}

void TSpecctraCircleShape::CalculateBoundingRectangle() {
    const double r = FDiameter / 2.0;
    FLx = Coordinates[0].X - r;
    FLy = Coordinates[0].Y - r;
    FHx = Coordinates[0].X + r;
    FHy = Coordinates[0].Y + r;
}

// ------------------------------------------------------------------ qarc

TSpecctraQArcShape::TSpecctraQArcShape(TSpecctraObject* owner)
    : TSpecctraAbstractGeometryShape(owner, TSpecctraShapeType::eQArcShape) {
    Coordinates.resize(3);
}

bool TSpecctraQArcShape::ImportFromFile() {
    bool ok = ReadLayerAndWidth(&FApertureWidth);
    for (int i = 0; ok && i < 3; ++i)
        ok = ReadNumber(Coordinates[i].X) && ReadNumber(Coordinates[i].Y);
    ok = ok && ExpectClose();
    FinishBlock();
    return ok;
}

// ------------------------------------------------------------ path, polygon

TSpecctraPolyLineShape::TSpecctraPolyLineShape(TSpecctraObject* owner, TSpecctraShapeType kind)
    : TSpecctraAbstractGeometryShape(owner, kind) {}

void TSpecctraPolyLineShape::SetAperture(TSpecctraApertureType type) {
    FApertureType = type;
}

bool TSpecctraPolyLineShape::ImportFromFile() {
    bool ok = ReadLayerAndWidth(&FApertureWidth);
    if (ok || !FClosed)
        ok = ReadVertexList() && ok;
    FinishBlock();
    return ok;
}

void TSpecctraPolyLineShape::Validate() {
    if (Coordinates.empty())
        return;
    const TVertex first = Coordinates.front();
    const TVertex& last = Coordinates.back();
    if (first.X != last.X || first.Y != last.Y)
        Coordinates.push_back(first);
}

void TSpecctraPolyLineShape::CalculateBoundingRectangle() {
    if (Coordinates.empty())
        return;
    double lx = Coordinates[0].X, hx = lx, ly = Coordinates[0].Y, hy = ly;
    for (const TVertex& v : Coordinates) {
        lx = std::min(lx, v.X);
        hx = std::max(hx, v.X);
        ly = std::min(ly, v.Y);
        hy = std::max(hy, v.Y);
    }
    const double half = FApertureWidth / 2.0;
    FLx = lx - half;
    FLy = ly - half;
    FHx = hx + half;
    FHy = hy + half;
}

TSpecctraFilledPolyShape::TSpecctraFilledPolyShape(TSpecctraObject* owner)
    : TSpecctraPolyLineShape(owner, TSpecctraShapeType::eFilledPolyShape) {}

bool TSpecctraFilledPolyShape::ImportFromFile() {
    const bool ok = TSpecctraPolyLineShape::ImportFromFile();
    Validate();
    return ok;
}

// ------------------------------------------------------------ factories

std::unique_ptr<TSpecctraAbstractGeometryShape> CreateShapeForToken(int32_t token,
                                                                    TSpecctraObject* owner) {
    switch (token) {
    case eTok_rect:
        return std::make_unique<TSpecctraRectShape>(owner);
    case eTok_circle:
        return std::make_unique<TSpecctraCircleShape>(owner);
    case eTok_qarc:
        return std::make_unique<TSpecctraQArcShape>(owner);
    case eTok_path:
        return std::make_unique<TSpecctraPolyLineShape>(owner);
    case eTok_polygon:
        return std::make_unique<TSpecctraFilledPolyShape>(owner);
    default:
        return nullptr;
    }
}

std::unique_ptr<TSpecctraAbstractGeometryShape> CreateShapeOfKind(int kind,
                                                                  TSpecctraObject* owner) {
    if (kind < 0 || kind > 4)
        return nullptr;
    switch (static_cast<TSpecctraShapeType>(kind)) {
    case TSpecctraShapeType::eFilledPolyShape:
        return std::make_unique<TSpecctraFilledPolyShape>(owner);
    case TSpecctraShapeType::eRectShape:
        return std::make_unique<TSpecctraRectShape>(owner);
    case TSpecctraShapeType::eCircleShape:
        return std::make_unique<TSpecctraCircleShape>(owner);
    case TSpecctraShapeType::ePolyOutlineShape:
        return std::make_unique<TSpecctraPolyLineShape>(owner);
    case TSpecctraShapeType::eQArcShape:
        return std::make_unique<TSpecctraQArcShape>(owner);
    default:
        return nullptr;
    }
}

// ------------------------------------------------------------ combined shape

TSpecctraCombinedShape::TSpecctraCombinedShape(TSpecctraObject* owner) : TSpecctraObject(owner) {}

TSpecctraCombinedShape::~TSpecctraCombinedShape() = default;

TSpecctraAbstractGeometryShape* TSpecctraCombinedShape::VisibleShape() {
    if (!FVisibleShape || FRecalcShape)
        RecalculateVisibleShape();
    return FVisibleShape;
}

void TSpecctraCombinedShape::RecalculateVisibleShape() {
    if (ShapeList.Count() == 0)
        return;
    FVisibleShape =
        static_cast<TSpecctraAbstractGeometryShape*>(ShapeList.GetState_SpecctraObject(0));
    FRecalcShape = false;
}

bool TSpecctraCombinedShape::ImportFromFile_Shape() {
    std::unique_ptr<TSpecctraAbstractGeometryShape> shape =
        CreateShapeForToken(Parser->CurrentToken(), this);
    bool result = false;
    if (!shape) {
        Parser->ReportUnexpectedToken();
        Parser->SkipCurrentBlock();
    } else if (shape->ImportFromFile()) {
        ShapeList.Add(std::move(shape));
        FRecalcShape = true;
        result = true;
    }
    --SectionsOpen;
    return result;
}

bool TSpecctraCombinedShape::ImportFromFile_Window() {
    bool result = false;
    if (Parser->NextToken() != eTok_OpenParen) {
        Parser->ReportUnexpectedToken();
        if (Parser->CurrentToken() != eTok_CloseParen)
            Parser->SkipCurrentBlock();
        --SectionsOpen;
        return false;
    }
    Parser->NextToken();
    std::unique_ptr<TSpecctraAbstractGeometryShape> shape =
        CreateShapeForToken(Parser->CurrentToken(), this);
    if (!shape) {
        Parser->ReportUnexpectedToken();
        Parser->SkipCurrentBlock();
    } else if (shape->ImportFromFile()) {
        if (!CutoutList)
            CutoutList = CreateList();
        CutoutList->Add(std::move(shape));
        FRecalcShape = true;
        result = true;
    }
    // The window's own closing parenthesis.
    int depth = 1;
    while (depth > 0 && !StopParsing()) {
        const int32_t token = Parser->NextToken();
        if (token == eTok_OpenParen)
            ++depth;
        else if (token == eTok_CloseParen)
            --depth;
    }
    --SectionsOpen;
    return result;
}

int32_t TSpecctraCombinedShape::ShapeCount() const {
    return ShapeList.Count();
}

TSpecctraAbstractGeometryShape* TSpecctraCombinedShape::Shape(int32_t index) const {
    return static_cast<TSpecctraAbstractGeometryShape*>(ShapeList.GetState_SpecctraObject(index));
}

int32_t TSpecctraCombinedShape::WindowCount() const {
    return CutoutList ? CutoutList->Count() : 0;
}

TSpecctraAbstractGeometryShape* TSpecctraCombinedShape::Window(int32_t index) const {
    return CutoutList ? static_cast<TSpecctraAbstractGeometryShape*>(
                            CutoutList->GetState_SpecctraObject(index))
                      : nullptr;
}
