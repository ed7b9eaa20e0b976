#include "geometry/BoardShapes.h"

#include "board/BoardFacade.h"
#include "specctra/SpecctraParser2.h"

#include <algorithm>

TSpecctraDesignBoundary::TSpecctraDesignBoundary(TSpecctraObject* owner)
    : TSpecctraObject(owner), BoardShapeList(CreateList()) {}

TSpecctraDesignBoundary::~TSpecctraDesignBoundary() = default;

int32_t TSpecctraDesignBoundary::ShapeCount() const {
    return BoardShapeList->Count();
}

TSpecctraAbstractGeometryShape* TSpecctraDesignBoundary::Shape(int32_t index) const {
    return static_cast<TSpecctraAbstractGeometryShape*>(
        BoardShapeList->GetState_SpecctraObject(index));
}

bool TSpecctraDesignBoundary::ImportFromFile() {
    bool result = true;
    const int32_t stop = SectionsOpen - 1;
    while (SectionsOpen > stop && !StopParsing()) {
        const int32_t token = Parser->NextToken();
        if (token == eTok_path || token == eTok_rect) {
            std::unique_ptr<TSpecctraAbstractGeometryShape> shape =
                CreateShapeForToken(token, this);
            if (shape->ImportFromFile()) {
                shape->Validate();
                BoardShapeList->Add(std::move(shape));
            } else {
                result = false;
            }
            --SectionsOpen;
        } else if (token == eTok_rule) {
            SkipUnknownBlock();
        } else {
            if (!HandleStructureToken()) {
                result = false;
                // The unexpected shape's own block is passed over.
                if (token > 0 && token < eTok_OpenParen) {
                    Parser->SkipCurrentBlock();
                    --SectionsOpen;
                }
            }
        }
    }
    SelectShapes();
    return result;
}

void TSpecctraDesignBoundary::SelectShapes() {
    if (!DesignRectangle) {
        for (int32_t i = 0; i < ShapeCount(); ++i) {
            TSpecctraAbstractGeometryShape* shape = Shape(i);
            if (shape->Kind == TSpecctraShapeType::eRectShape && shape->LayerID == "PCB") {
                DesignRectangle.reset(
                    static_cast<TSpecctraRectShape*>(BoardShapeList->Extract(i).release()));
                break;
            }
        }
    }
    if (!BoardShape) {
        for (int32_t i = ShapeCount() - 1; i >= 0; --i) {
            if (Shape(i)->LayerID == "SIGNAL") {
                BoardShape.reset(static_cast<TSpecctraAbstractGeometryShape*>(
                    BoardShapeList->Extract(i).release()));
                break;
            }
        }
    }
}

bool TSpecctraDesignBoundary::HasExtent() const {
    return DesignRectangle || ShapeCount() > 0;
}

void TSpecctraDesignBoundary::BoundingRectangle(double& lx, double& ly, double& hx, double& hy) {
    if (DesignRectangle) {
        DesignRectangle->BoundingRectangle(lx, ly, hx, hy);
        return;
    }
    for (int32_t i = 0; i < ShapeCount(); ++i) {
        double slx, sly, shx, shy;
        Shape(i)->BoundingRectangle(slx, sly, shx, shy);
        lx = std::min(lx, slx);
        ly = std::min(ly, sly);
        hx = std::max(hx, shx);
        hy = std::max(hy, shy);
    }
}

std::vector<TVertex> TSpecctraDesignBoundary::OutlineVertices() {
    TSpecctraAbstractGeometryShape* shape =
        BoardShape ? BoardShape.get()
                   : static_cast<TSpecctraAbstractGeometryShape*>(DesignRectangle.get());
    if (!shape)
        return {};
    return shape->OutlineVertices();
}

bool TSpecctraDesignBoundary::WriteBoardOutline(TSpecctraAbstractGeometryShape& shape) {
    const intptr_t board = GetBoard();
    TPcbBoard pcb(board);
    pcb.QueryDatabase(1);
    intptr_t handle = pcb.GetState_BoardOutline();
    if (handle == 0) {
        handle = Board::BoardOutline(board);
        pcb.QueryDatabase(1);
        if (pcb.GetState_BoardOutline() != 0)
            handle = pcb.GetState_BoardOutline();
    }
    if (handle == 0)
        return false;
    TPcbBoardOutline outline(handle);
    Board::Read(outline);
    outline.SetState_PointCount(0);
    outline.SetState_Segments({});
    Board::Write(outline);
    std::vector<TPcbPolySegment> segments;
    int32_t count = 0;
    shape.ExportToPCB_PolygonSegments(shape.OutlineVertices(), segments, count);
    const int32_t width = shape.ExportToPCB_Width();
    outline.SetState_PourOver(true);
    outline.SetState_TrackSize(width);
    outline.SetState_Grid(width);
    outline.SetState_PolyHatchStyle(ePolyHatch90);
    outline.SetState_Layer(eV6_KeepOutLayer);
    outline.SetState_Segments(segments);
    outline.SetState_PointCount(count);
    const bool written = Board::Write(outline);
    pcb.QueryDatabase(0);
    Board::UpdateBoardOutline(handle);
    return written;
}

bool TSpecctraDesignBoundary::ExportToPCB() {
    if (ExportToPCB_Outline())
        ExportToPCB_Shapes();
    return true;
}

TSpecctraAbstractGeometryShape* TSpecctraDesignBoundary::ExportToPCB_Outline() {
    if (!BoardShape && !DesignRectangle) {
        ReportWarning("Board Shape Not Found, Design Bounding Rectangle Not Found!");
        return nullptr;
    }
    TSpecctraAbstractGeometryShape* boardShape =
        BoardShape ? BoardShape.get()
                   : static_cast<TSpecctraAbstractGeometryShape*>(DesignRectangle.get());
    // An outline beyond the board's coordinate range is reported, and
    // neither drawn nor made the board's.
    if (!boardShape->VerticesOnBoard())
        return nullptr;
    // The design rectangle serving as the board shape is drawn once.
    if (DesignRectangle)
        DesignRectangle->ExportToPCB();
    if (BoardShape)
        BoardShape->ExportToPCB();
    WriteBoardOutline(*boardShape);
    return boardShape;
}

void TSpecctraDesignBoundary::ExportToPCB_Shapes() {
    for (int32_t i = 0; i < ShapeCount(); ++i)
        if (!Shape(i)->ExportToPCB())
            break;
}
