// The boundary of a design, read by the host from the design text itself.
// Many writers give the board's edge only as a boundary path, which leaves
// the board without an outline; the router still needs to know where the
// board ends, so the host reads the structure's boundary shapes here.
#pragma once

#include "router/RouteGeometry.h"

#include <string>
#include <vector>

namespace Router {

// The boundary polygon of a design text in board units: the largest
// "signal" boundary shape (the routing boundary) when there is one, else the
// largest "pcb" boundary shape. Rectangles, polygons, closed paths and
// circles count. Lengths are in the structure's unit, else the design's,
// else the unit of its resolution, else mil, and every point is moved by
// `origin` (where the design's zero lies on the board). Empty when the text
// holds no usable boundary.
std::vector<Pt> ReadDesignBoundary(const std::string& text, Pt origin);
// The same for a design file; empty when the file cannot be read.
std::vector<Pt> ReadDesignBoundaryFile(const std::string& path, Pt origin);

} // namespace Router
