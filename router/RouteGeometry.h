// Plane geometry of the router: points, and shapes that are a point, a
// segment or a simple polygon grown by a radius (a disc, a track with round
// ends, a rounded pad). Distances are exact in doubles; the router keeps its
// grid for the search and answers every legality question here.
#pragma once

#include <vector>

namespace Router {

struct Pt {
    double x = 0, y = 0;
};

struct Box {
    double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
    void Add(double x, double y, double grow = 0);
    bool Empty() const { return x0 > x1; }
};

// A point (one vertex), a segment (two) or a simple polygon (three or more,
// either orientation, convex or not) grown by `radius`.
struct Shape {
    std::vector<Pt> points;
    double radius = 0;
    Box Bounds() const;
};

double PointSegmentDistance(Pt p, Pt a, Pt b);
double SegmentSegmentDistance(Pt a, Pt b, Pt c, Pt d);
// True when p lies inside the polygon (three or more vertices); on the edge
// counts as either.
bool InsidePolygon(const std::vector<Pt>& polygon, Pt p);
// Distance from the segment ab (a point when a == b) to the shape: 0 when
// they overlap, otherwise the gap between the segment and the grown shape
// (negative when the segment enters the grown margin).
double SegmentShapeDistance(Pt a, Pt b, const Shape& shape);

// `p` when it lies on the shape, else the point of the shape's core nearest
// to it.
Pt PointOnShape(const Shape& shape, Pt p);

// The shape of a pad or via on one layer. `kind` is the engine's pad shape
// code (1 round or oblong, 2 rectangle, 3 octagon, 4 circle, 7 and 9 rounded
// rectangle with `cornerPercent` of half the smaller side), sizes are full
// sizes, `angle` in degrees.
Shape PadShape(int kind, double x, double y, double xSize, double ySize, double angle,
               int cornerPercent);
// The part of that pad that is copper whatever the shape stands for: a round
// pad of unequal sides gives its oblong; other pads their whole shape.
Shape PadCore(int kind, double x, double y, double xSize, double ySize, double angle,
              int cornerPercent);

} // namespace Router
