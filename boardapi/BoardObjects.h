// Reading board objects through the engine's entry points, shared by the
// board picture and the router: the fields every primitive answers first,
// the walk over the objects of one kind, a region with its contours and a
// fill with its corners.
#pragma once

#include "boardapi/PcbApiTable.h"
#include "sdk/ObjectKinds.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace Harrow {

// Object kinds as the engine numbers them (BoardKind::Track, ...).
namespace BoardKind {
#define HARROW_KIND_CONSTANT(Name, Ordinal) constexpr int32_t Name = Ordinal;
PCBAPI_OBJECT_KINDS(HARROW_KIND_CONSTANT)
#undef HARROW_KIND_CONSTANT
constexpr int32_t Count = PCBAPI_OBJECT_KIND_COUNT;
} // namespace BoardKind

// The engine's layer ids that the board's readers name.
namespace BoardLayer {
constexpr int32_t Top = 1, Bottom = 32, FirstPlane = 39, LastPlane = 54, KeepOut = 56, Multi = 74,
                  Count = 83;
} // namespace BoardLayer

// The leading fields of every primitive query.
struct TObjectCommon {
    uint16_t bitField = 0, index = 0;
    int32_t layer = 0;
    intptr_t net = 0;
    int32_t moveable = 0;
    intptr_t component = 0;
    int32_t x1 = 0, y1 = 0;
};
#define HARROW_COMMON(c)                                                                           \
    &c.bitField, &c.index, &c.layer, &c.net, &c.moveable, &c.component, &c.x1, &c.y1

// Calls each(handle) for every object of `kind` on `board`.
template <typename F>
void WalkObjects(const PcbApiTable& api, intptr_t board, int32_t kind, F&& each) {
    const intptr_t iterator = api.PcbApi_CreateIterator(board, kind, 0, 0);
    if (iterator == 0)
        return;
    for (intptr_t h = api.PcbApi_GetFirstObject(iterator); h != 0;
         h = api.PcbApi_GetNextObject(iterator))
        each(h);
    api.PcbApi_DestroyIterator(iterator);
}

// A region: its outer contour, its holes (their points one after another,
// `holeSizes` says how many belong to each) and the layers it lies on.
struct TRegionShape {
    TObjectCommon common;
    std::vector<PcbApiPoint> contour, holePoints;
    std::vector<int32_t> holeSizes;
    PcbApiLayerSet layers{};
};

// Reads region `h`: the counts first, then the points. False when the engine
// refuses the handle.
inline bool QueryRegionShape(const PcbApiTable& api, intptr_t h, TRegionShape& region) {
    TObjectCommon& c = region.common;
    int32_t contourCount = 0, holePointCount = 0, holeCount = 0, kind = 0, data = 0;
    intptr_t polygon = 0;
    if (api.PcbApi_QueryRegion(1, h, HARROW_COMMON(c), nullptr, &contourCount, 0, nullptr,
                               &holePointCount, 0, nullptr, &holeCount, 0, &kind, &region.layers,
                               &data, &polygon) != 1)
        return false;
    region.contour.assign(static_cast<size_t>(std::max(contourCount, 0)), PcbApiPoint{});
    region.holePoints.assign(static_cast<size_t>(std::max(holePointCount, 0)), PcbApiPoint{});
    region.holeSizes.assign(static_cast<size_t>(std::max(holeCount, 0)), 0);
    return api.PcbApi_QueryRegion(
               1, h, HARROW_COMMON(c), region.contour.data(), &contourCount,
               static_cast<int32_t>(region.contour.size()), region.holePoints.data(),
               &holePointCount, static_cast<int32_t>(region.holePoints.size()),
               region.holeSizes.data(), &holeCount, static_cast<int32_t>(region.holeSizes.size()),
               &kind, &region.layers, &data, &polygon) == 1;
}

// A fill: a rectangle between two corners, turned by `angle` degrees about
// its centre.
struct TFillShape {
    TObjectCommon common;
    int32_t x2 = 0, y2 = 0;
    double angle = 0;
    double CentreX() const { return (static_cast<double>(common.x1) + x2) / 2; }
    double CentreY() const { return (static_cast<double>(common.y1) + y2) / 2; }
    double SizeX() const { return std::abs(static_cast<double>(x2) - common.x1); }
    double SizeY() const { return std::abs(static_cast<double>(y2) - common.y1); }
};

// Reads fill `h`; false when the engine refuses the handle.
inline bool QueryFillShape(const PcbApiTable& api, intptr_t h, TFillShape& fill) {
    TObjectCommon& c = fill.common;
    intptr_t polygon = 0;
    return api.PcbApi_QueryFill(1, h, HARROW_COMMON(c), &fill.x2, &fill.y2, &polygon,
                                &fill.angle) == 1;
}

} // namespace Harrow
