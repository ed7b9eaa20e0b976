#include "router/DesignBoundary.h"

#include "sdk/AsciiText.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace Router {
namespace {

struct Candidate {
    bool signal = false;
    std::vector<Pt> points; // in design units
};

Pt InBoardUnits(const Digest::DesignDigest& design, Pt p, Pt origin) {
    return {origin.x + std::nearbyint(p.x * design.boardUnitsPerUnit),
            origin.y + std::nearbyint(p.y * design.boardUnitsPerUnit)};
}

double Area(const std::vector<Pt>& polygon) {
    double twice = 0;
    for (std::size_t k = 0; k < polygon.size(); ++k) {
        const Pt& a = polygon[k];
        const Pt& b = polygon[(k + 1) % polygon.size()];
        twice += a.x * b.y - b.x * a.y;
    }
    return std::fabs(twice) / 2;
}

// The outline of one shape block "(KIND LAYER numbers...)" with its numbers.
std::vector<Pt> ShapePoints(const std::string& kind, const std::vector<double>& v) {
    std::vector<Pt> points;
    if (kind == "rect" && v.size() >= 4) {
        points = {{v[0], v[1]}, {v[2], v[1]}, {v[2], v[3]}, {v[0], v[3]}};
    } else if ((kind == "path" || kind == "polygon") && v.size() >= 7) {
        // The aperture width first, then the vertices.
        for (std::size_t i = 1; i + 1 < v.size(); i += 2)
            points.push_back({v[i], v[i + 1]});
        while (points.size() > 1 && std::fabs(points.front().x - points.back().x) < 1e-9 &&
               std::fabs(points.front().y - points.back().y) < 1e-9)
            points.pop_back();
    } else if (kind == "circle" && !v.empty() && v[0] > 0) {
        const double r = v[0] / 2, cx = v.size() >= 3 ? v[1] : 0, cy = v.size() >= 3 ? v[2] : 0;
        for (int k = 0; k < 36; ++k)
            points.push_back({cx + r * std::cos(k * M_PI / 18), cy + r * std::sin(k * M_PI / 18)});
    }
    return points.size() >= 3 && Area(points) > 0 ? points : std::vector<Pt>{};
}

} // namespace

std::vector<Pt> DesignBoundary(const Digest::DesignDigest& design, Pt origin) {
    std::vector<Candidate> shapes;
    for (const Digest::BoundaryShape& shape : design.boundary) {
        Candidate candidate;
        candidate.signal = HostSdk::SameTextAscii(shape.layer, "signal");
        candidate.points = ShapePoints(shape.kind, shape.numbers);
        if (!candidate.points.empty() &&
            (candidate.signal || HostSdk::SameTextAscii(shape.layer, "pcb")))
            shapes.push_back(std::move(candidate));
    }
    // The routing boundary beats the board's; of several, the largest.
    const Candidate* best = nullptr;
    for (const Candidate& shape : shapes)
        if (best == nullptr || shape.signal > best->signal ||
            (shape.signal == best->signal && Area(shape.points) > Area(best->points)))
            best = &shape;
    std::vector<Pt> result;
    if (best != nullptr)
        for (const Pt& p : best->points)
            result.push_back(InBoardUnits(design, p, origin));
    return result;
}

std::vector<Pt> ReadDesignBoundary(const std::string& text, Pt origin) {
    return DesignBoundary(Digest::ReadDesignDigest(text), origin);
}

std::vector<Pt> BoardEdge(const Digest::DesignDigest& design, Pt origin, std::string& note) {
    note.clear();
    const Digest::BoundaryShape* best = nullptr;
    double bestArea = -1;
    std::vector<Pt> points;
    for (const Digest::BoundaryShape& shape : design.boundary) {
        if (!HostSdk::SameTextAscii(shape.layer, "pcb") ||
            (shape.kind != "path" && shape.kind != "polygon"))
            continue;
        std::vector<Pt> vertices;
        for (std::size_t i = 1; i + 1 < shape.numbers.size(); i += 2)
            vertices.push_back({shape.numbers[i], shape.numbers[i + 1]});
        const double area = vertices.size() >= 3 ? Area(vertices) : 0;
        if (best == nullptr || area > bestArea) {
            best = &shape;
            bestArea = area;
            points = std::move(vertices);
        }
    }
    if (best == nullptr)
        return {};
    const bool closed = points.size() >= 2 && points.front().x == points.back().x &&
                        points.front().y == points.back().y;
    while (points.size() > 1 && points.front().x == points.back().x &&
           points.front().y == points.back().y)
        points.pop_back();
    if (points.size() < 3 || bestArea <= 0) {
        note = "the boundary's " + best->kind + " on layer pcb has fewer than three corners (or " +
               "no area): the board keeps no outline";
        return {};
    }
    if (!closed && best->kind == "path")
        note = "the boundary's path on layer pcb does not end where it starts: its last corner "
               "is joined to its first";
    std::vector<Pt> result;
    for (const Pt& p : points)
        result.push_back(InBoardUnits(design, p, origin));
    return result;
}

} // namespace Router
