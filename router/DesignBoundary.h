// The boundary of a design, read by the host from the design text itself.
// Many writers give the board's edge only as a boundary path, which leaves
// the board without an outline; the router still needs to know where the
// board ends, so the host reads the structure's boundary shapes here.
#pragma once

#include "digest/DesignDigest.h"
#include "router/RouteGeometry.h"

#include <string>
#include <vector>

namespace Router {

// The boundary polygon of a design in board units: the largest "signal"
// boundary shape (the routing boundary) when there is one, else the largest
// "pcb" boundary shape. Rectangles, polygons, closed paths and circles count.
// Lengths are in the structure's unit, else the design's, else the unit of its
// resolution, else mil, and every point is moved by `origin` (where the
// design's zero lies on the board). Empty when the design holds no usable
// boundary.
std::vector<Pt> DesignBoundary(const Digest::DesignDigest& design, Pt origin);
// The same of a design text.
std::vector<Pt> ReadDesignBoundary(const std::string& text, Pt origin);

// The board's edge as the design's boundary gives it on the layer "pcb" as a
// path or polygon (the largest, when there are several), in board units, its
// corners without the closing repeat. Empty, with `note` saying why, when that
// shape has fewer than three corners; `note` also says when an open path was
// closed.
std::vector<Pt> BoardEdge(const Digest::DesignDigest& design, Pt origin, std::string& note);

} // namespace Router
