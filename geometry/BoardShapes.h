// The design boundary: the design rectangle and the board shape of the
// "boundary" blocks, the bounding rectangle that places the board, and the
// outline written to the board.
#pragma once

#include "geometry/SpecctraShapes.h"

#include <memory>

class TSpecctraDesignBoundary : public TSpecctraObject, public IShapeOwner {
public:
    explicit TSpecctraDesignBoundary(TSpecctraObject* owner);
    ~TSpecctraDesignBoundary() override;
    const char* ClassName() const override { return "TSpecctraDesignBoundary"; }
    TShapeOwnerRole ShapeOwnerRole() const override { return TShapeOwnerRole::eBoundary; }

    // The first rect on layer "PCB".
    std::unique_ptr<TSpecctraRectShape> DesignRectangle;
    // The last shape on layer "SIGNAL".
    std::unique_ptr<TSpecctraAbstractGeometryShape> BoardShape;
    // Every other shape of the blocks read.
    std::unique_ptr<TSpecctraList> BoardShapeList;

    int32_t ShapeCount() const;
    TSpecctraAbstractGeometryShape* Shape(int32_t index) const;

    // Reads one "boundary" block (entered after the keyword, through its
    // closing parenthesis); shapes of several blocks accumulate.
    bool ImportFromFile() override;
    // The design rectangle's bounds; without one, the union of the remaining
    // shapes' bounds accumulated onto the values given.
    void BoundingRectangle(double& lx, double& ly, double& hx, double& hy);
    // True when the boundary holds a shape that gives a bounding rectangle.
    bool HasExtent() const;
    // Outline tracks on the keep-out layer, the board outline and the other
    // shapes; always true.
    bool ExportToPCB() override;
    // The first part of ExportToPCB: the outline tracks and the board
    // outline. Answers the shape the board takes, or none when there is none
    // or it lies beyond the board's range (then nothing else is written).
    TSpecctraAbstractGeometryShape* ExportToPCB_Outline();
    // The second part: the other shapes.
    void ExportToPCB_Shapes();

    // The outline the board takes (the board shape, else the design
    // rectangle), as board-position vertices closed on the first one. Empty
    // without one.
    std::vector<TVertex> OutlineVertices();

private:
    void SelectShapes();
    bool WriteBoardOutline(TSpecctraAbstractGeometryShape& shape);
};
