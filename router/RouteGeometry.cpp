#include "router/RouteGeometry.h"

#include <algorithm>
#include <cmath>

namespace Router {

void Box::Add(double x, double y, double grow) {
    x0 = std::min(x0, x - grow);
    y0 = std::min(y0, y - grow);
    x1 = std::max(x1, x + grow);
    y1 = std::max(y1, y + grow);
}

Box Shape::Bounds() const {
    Box box;
    for (const Pt& p : points)
        box.Add(p.x, p.y, radius);
    return box;
}

double PointSegmentDistance(Pt p, Pt a, Pt b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double length2 = dx * dx + dy * dy;
    double t = length2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(a.x + t * dx - p.x, a.y + t * dy - p.y);
}

namespace {

double Cross(Pt o, Pt a, Pt b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

bool ProperCross(Pt a, Pt b, Pt c, Pt d) {
    const double d1 = Cross(a, b, c), d2 = Cross(a, b, d);
    const double d3 = Cross(c, d, a), d4 = Cross(c, d, b);
    return ((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0));
}

} // namespace

double SegmentSegmentDistance(Pt a, Pt b, Pt c, Pt d) {
    if (ProperCross(a, b, c, d))
        return 0.0;
    return std::min({PointSegmentDistance(a, c, d), PointSegmentDistance(b, c, d),
                     PointSegmentDistance(c, a, b), PointSegmentDistance(d, a, b)});
}

bool InsidePolygon(const std::vector<Pt>& polygon, Pt p) {
    bool inside = false;
    const std::size_t n = polygon.size();
    for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
        const Pt& a = polygon[i];
        const Pt& b = polygon[j];
        if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x)
            inside = !inside;
    }
    return inside;
}

double SegmentShapeDistance(Pt a, Pt b, const Shape& shape) {
    const auto& q = shape.points;
    double best = 1e300;
    if (q.empty())
        return best;
    if (q.size() == 1) {
        best = PointSegmentDistance(q[0], a, b);
    } else if (q.size() == 2) {
        best = SegmentSegmentDistance(a, b, q[0], q[1]);
    } else {
        if (InsidePolygon(q, a) || InsidePolygon(q, b))
            return -shape.radius;
        for (std::size_t i = 0, j = q.size() - 1; i < q.size(); j = i++)
            best = std::min(best, SegmentSegmentDistance(a, b, q[j], q[i]));
    }
    return best - shape.radius;
}

Pt PointOnShape(const Shape& shape, Pt p) {
    const std::vector<Pt>& v = shape.points;
    if (v.empty() || (v.size() >= 3 && InsidePolygon(v, p)))
        return p;
    Pt best = v[0];
    double bestDistance = std::hypot(p.x - best.x, p.y - best.y);
    const std::size_t edges = v.size() >= 3 ? v.size() : v.size() - 1;
    for (std::size_t i = 0; i < edges; ++i) {
        const Pt a = v[i], b = v[(i + 1) % v.size()];
        const double dx = b.x - a.x, dy = b.y - a.y, length2 = dx * dx + dy * dy;
        const double t = length2 > 0
                             ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / length2, 0.0, 1.0)
                             : 0.0;
        const Pt q{a.x + t * dx, a.y + t * dy};
        const double d = std::hypot(p.x - q.x, p.y - q.y);
        if (d < bestDistance)
            best = q, bestDistance = d;
    }
    return bestDistance <= shape.radius ? p : best;
}

Shape PadShape(int kind, double x, double y, double xSize, double ySize, double angle,
               int cornerPercent) {
    Shape shape;
    const double hx = std::fabs(xSize) / 2, hy = std::fabs(ySize) / 2;
    const double t = angle * M_PI / 180.0, c = std::cos(t), s = std::sin(t);
    auto place = [&](double u, double v) { return Pt{x + u * c - v * s, y + u * s + v * c}; };
    const double small = std::min(hx, hy);
    if ((kind == 1 || kind == 4) && hx == hy) { // round
        shape.radius = small;
        shape.points = {Pt{x, y}};
        return shape;
    }
    // A rounded pad of unequal sides stands for an oblong or for a polygon
    // with rounded corners: its whole box is kept clear.
    if (kind == 3) { // octagon: corners cut by about 29 % of the smaller side
        const double k = small * (2.0 - std::sqrt(2.0)) / 2.0;
        shape.points = {place(hx - k, hy),   place(-hx + k, hy),  place(-hx, hy - k),
                        place(-hx, -hy + k), place(-hx + k, -hy), place(hx - k, -hy),
                        place(hx, -hy + k),  place(hx, hy - k)};
        return shape;
    }
    double r = 0;
    if (kind == 7 || kind == 9)
        r = small * std::clamp(cornerPercent, 0, 100) / 100.0;
    const double ix = hx - r, iy = hy - r;
    if (ix <= 0 && iy <= 0)
        shape.points = {Pt{x, y}};
    else if (ix <= 0)
        shape.points = {place(0, -iy), place(0, iy)};
    else if (iy <= 0)
        shape.points = {place(-ix, 0), place(ix, 0)};
    else
        shape.points = {place(ix, iy), place(-ix, iy), place(-ix, -iy), place(ix, -iy)};
    shape.radius = r;
    return shape;
}

Shape PadCore(int kind, double x, double y, double xSize, double ySize, double angle,
              int cornerPercent) {
    const double hx = std::fabs(xSize) / 2, hy = std::fabs(ySize) / 2;
    if ((kind != 1 && kind != 4) || hx == hy)
        return PadShape(kind, x, y, xSize, ySize, angle, cornerPercent);
    const double t = angle * M_PI / 180.0, c = std::cos(t), s = std::sin(t);
    auto place = [&](double u, double v) { return Pt{x + u * c - v * s, y + u * s + v * c}; };
    Shape shape;
    shape.radius = std::min(hx, hy);
    if (hx > hy)
        shape.points = {place(-(hx - hy), 0), place(hx - hy, 0)};
    else
        shape.points = {place(0, -(hy - hx)), place(0, hy - hx)};
    return shape;
}

} // namespace Router
