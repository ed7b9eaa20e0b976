// Test-side records for the engine's query entry points: one struct per
// object kind with every field of the query, comparable with ==.
#pragma once

#include "sdk/CorvaneEngine.h"
#include "sdk/PcbApi.h"

#include <cstring>
#include <string>
#include <vector>

inline bool operator==(const PcbApiPolySegment& a, const PcbApiPolySegment& b) {
    return a.Kind == b.Kind && a.vx == b.vx && a.vy == b.vy && a.cx == b.cx && a.cy == b.cy &&
           a.Radius == b.Radius && a.Angle1 == b.Angle1 && a.Angle2 == b.Angle2;
}
inline bool operator==(const PcbApiPoint& a, const PcbApiPoint& b) {
    return a.x == b.x && a.y == b.y;
}

namespace enginetest {

struct Text {
    char buf[PCBAPI_TEXT_CAPACITY] = {};
    Text() = default;
    Text(const char* s) { std::strncpy(buf, s, sizeof buf - 1); }
    bool operator==(const Text& o) const { return std::strcmp(buf, o.buf) == 0; }
    std::string str() const { return buf; }
};

struct Common {
    uint16_t bitField = 0, index = 0;
    int32_t layer = 0;
    intptr_t net = 0;
    int32_t moveable = 0;
    intptr_t component = 0;
    int32_t x1 = 0, y1 = 0;
    bool operator==(const Common&) const = default;
};
#define COMMON_REFS(c)                                                                             \
    &(c).bitField, &(c).index, &(c).layer, &(c).net, &(c).moveable, &(c).component, &(c).x1, &(c).y1

struct Track {
    Common c;
    int32_t x2 = 0, y2 = 0, width = 0;
    intptr_t polygon = 0, coordinate = 0, dimension = 0;
    bool operator==(const Track&) const = default;
};
inline int32_t Query(int32_t mode, intptr_t h, Track& r) {
    return PcbApi_QueryTrack(mode, h, COMMON_REFS(r.c), &r.x2, &r.y2, &r.width, &r.polygon,
                             &r.coordinate, &r.dimension);
}

struct Arc {
    Common c;
    int32_t radius = 0;
    double angle1 = 0, angle2 = 0;
    int32_t lineWidth = 0;
    intptr_t polygon = 0;
    bool operator==(const Arc&) const = default;
};
inline int32_t Query(int32_t mode, intptr_t h, Arc& r) {
    return PcbApi_QueryArc(mode, h, COMMON_REFS(r.c), &r.radius, &r.angle1, &r.angle2, &r.lineWidth,
                           &r.polygon);
}

struct Fill {
    Common c;
    int32_t x2 = 0, y2 = 0;
    intptr_t polygon = 0;
    double angle = 0;
    bool operator==(const Fill&) const = default;
};
inline int32_t Query(int32_t mode, intptr_t h, Fill& r) {
    return PcbApi_QueryFill(mode, h, COMMON_REFS(r.c), &r.x2, &r.y2, &r.polygon, &r.angle);
}

struct Via {
    Common c;
    int32_t size = 0, holeSize = 0, low = 0, high = 0, tpTop = 0, tpBottom = 0;
    bool operator==(const Via&) const = default;
};
inline int32_t Query(int32_t mode, intptr_t h, Via& r) {
    return PcbApi_QueryVia(mode, h, COMMON_REFS(r.c), &r.size, &r.holeSize, &r.low, &r.high,
                           &r.tpTop, &r.tpBottom);
}

struct Pad {
    Common c;
    int32_t sizes[6] = {}, holeSize = 0, shapes[3] = {};
    Text name;
    int32_t daisy = 0, plated = 0;
    double angle = 0;
    Text swapPad, swapPart;
    int32_t ownerPart = 0;
    Text swappedName;
    int32_t drillType = 0, holeType = 0, holeWidth = 0;
    double holeRotation = 0;
    int32_t offX = 0, offY = 0, jumper = 0, tpTop = 0, tpBottom = 0;
    bool operator==(const Pad&) const = default;
};
inline int32_t Query(int32_t mode, intptr_t h, Pad& r) {
    return PcbApi_QueryPad(mode, h, COMMON_REFS(r.c), &r.sizes[0], &r.sizes[1], &r.sizes[2],
                           &r.sizes[3], &r.sizes[4], &r.sizes[5], &r.holeSize, &r.shapes[0],
                           &r.shapes[1], &r.shapes[2], r.name.buf, &r.daisy, &r.plated, &r.angle,
                           r.swapPad.buf, r.swapPart.buf, &r.ownerPart, r.swappedName.buf,
                           &r.drillType, &r.holeType, &r.holeWidth, &r.holeRotation, &r.offX,
                           &r.offY, &r.jumper, &r.tpTop, &r.tpBottom);
}

struct Text_ {
    Common c;
    int32_t size = 0, font = 0;
    double angle = 0;
    int32_t mirror = 0;
    Text text;
    int32_t lineWidth = 0, tt = 0, bold = 0, italic = 0;
    Text fontName;
    int32_t inverted = 0, invertedBorder = 0, bar[8] = {};
    bool operator==(const Text_&) const = default;
};
inline int32_t Query(int32_t mode, intptr_t h, Text_& r) {
    return PcbApi_QueryText(mode, h, COMMON_REFS(r.c), &r.size, &r.font, &r.angle, &r.mirror,
                            r.text.buf, &r.lineWidth, &r.tt, &r.bold, &r.italic, r.fontName.buf,
                            &r.inverted, &r.invertedBorder, &r.bar[0], &r.bar[1], &r.bar[2],
                            &r.bar[3], &r.bar[4], &r.bar[5], &r.bar[6], &r.bar[7]);
}

struct Component {
    Common c;
    int32_t channelOffset = 0, componentKind = 0;
    intptr_t nameText = 0, commentText = 0;
    Text pattern;
    int32_t nameOn = 0, commentOn = 0, groupNum = 0;
    double angle = 0;
    int32_t lock = 0, height = 0, nameAuto = 0, commentAuto = 0, unionIndex = 0;
    Text texts[7];
    bool operator==(const Component&) const = default;
};
inline int32_t Query(int32_t mode, intptr_t h, Component& r) {
    return PcbApi_QueryComponent(
        mode, h, COMMON_REFS(r.c), &r.channelOffset, &r.componentKind, &r.nameText, &r.commentText,
        r.pattern.buf, &r.nameOn, &r.commentOn, &r.groupNum, &r.angle, &r.lock, &r.height,
        &r.nameAuto, &r.commentAuto, &r.unionIndex, r.texts[0].buf, r.texts[1].buf, r.texts[2].buf,
        r.texts[3].buf, r.texts[4].buf, r.texts[5].buf, r.texts[6].buf);
}

struct Polygon {
    Common c;
    int32_t pointCount = 0;
    std::vector<PcbApiPolySegment> segments;
    int32_t flags[9] = {}; // SplitPlane .. PolyHatchStyle
    bool operator==(const Polygon&) const = default;
};
inline int32_t Query(int32_t mode, intptr_t h, Polygon& r) {
    int32_t count = static_cast<int32_t>(r.segments.size());
    if (mode == 1) { // size the buffer first
        PcbApiPolySegment none{};
        if (!PcbApi_QueryPolygonEx(1, h, COMMON_REFS(r.c), &r.pointCount, &none, &count, 0,
                                   &r.flags[0], &r.flags[1], &r.flags[2], &r.flags[3], &r.flags[4],
                                   &r.flags[5], &r.flags[6], &r.flags[7], &r.flags[8]))
            return 0;
        r.segments.resize(count);
    }
    return PcbApi_QueryPolygonEx(mode, h, COMMON_REFS(r.c), &r.pointCount, r.segments.data(),
                                 &count, count, &r.flags[0], &r.flags[1], &r.flags[2], &r.flags[3],
                                 &r.flags[4], &r.flags[5], &r.flags[6], &r.flags[7], &r.flags[8]);
}

struct Region {
    Common c;
    std::vector<PcbApiPoint> contour, holePoints;
    std::vector<int32_t> holeSizes;
    int32_t kind = 0;
    PcbApiLayerSet layers{};
    int32_t data = 0;
    intptr_t polygon = 0;
    bool operator==(const Region& o) const {
        return c == o.c && contour == o.contour && holePoints == o.holePoints &&
               holeSizes == o.holeSizes && kind == o.kind && data == o.data &&
               polygon == o.polygon && layers.Bits[0] == o.layers.Bits[0] &&
               layers.Bits[1] == o.layers.Bits[1];
    }
};
inline int32_t Query(int32_t mode, intptr_t h, Region& r) {
    int32_t nc = static_cast<int32_t>(r.contour.size()),
            nh = static_cast<int32_t>(r.holePoints.size()),
            ns = static_cast<int32_t>(r.holeSizes.size());
    if (mode == 1) {
        if (!PcbApi_QueryRegion(1, h, COMMON_REFS(r.c), nullptr, &nc, 0, nullptr, &nh, 0, nullptr,
                                &ns, 0, &r.kind, &r.layers, &r.data, &r.polygon))
            return 0;
        r.contour.resize(nc);
        r.holePoints.resize(nh);
        r.holeSizes.resize(ns);
    }
    return PcbApi_QueryRegion(mode, h, COMMON_REFS(r.c), r.contour.data(), &nc, nc,
                              r.holePoints.data(), &nh, nh, r.holeSizes.data(), &ns, ns, &r.kind,
                              &r.layers, &r.data, &r.polygon);
}

struct Net {
    Text name;
    int32_t visible = 0, color = 0;
    bool operator==(const Net&) const = default;
};
inline int32_t Query(int32_t mode, intptr_t h, Net& r) {
    return PcbApi_QueryNet(mode, h, r.name.buf, &r.visible, &r.color);
}

struct FromTo {
    Text from, to, net;
    int32_t color = 0;
    bool operator==(const FromTo&) const = default;
};
inline int32_t Query(int32_t mode, intptr_t h, FromTo& r) {
    return PcbApi_QueryManualFromTo(mode, h, r.from.buf, r.to.buf, r.net.buf, &r.color);
}

struct Embedded {
    Text name, description;
    bool operator==(const Embedded&) const = default;
};
inline int32_t Query(int32_t mode, intptr_t h, Embedded& r) {
    return PcbApi_QueryEmbedded(mode, h, r.name.buf, r.description.buf);
}

struct Rule {
    int32_t kind = 0, netScope = 0, priority = 0, layerKind = 0;
    Text scope1, scope2, name;
    bool operator==(const Rule&) const = default;
};
// Rule queries answer 0 on success.
inline int32_t Query(int32_t mode, intptr_t h, Rule& r) {
    int32_t rc = PcbApi_QueryRuleEx(mode, h, &r.kind, &r.netScope, &r.priority, &r.layerKind,
                                    r.scope1.buf, r.scope2.buf);
    if (rc != 0)
        return rc;
    return PcbApi_QueryRuleExtEx(mode, h, r.name.buf);
}

// Makes an object of `kind`, lets `set` change its record and writes it back;
// adds it to `container` (a board or a component) unless that is 0.
template <class R, class Set> intptr_t AddObject(intptr_t container, int32_t kind, Set set) {
    const intptr_t h = PcbApi_CreateObject(kind);
    R r;
    Query(1, h, r);
    set(r);
    Query(0, h, r);
    if (container)
        PcbApi_AddObjectToContainer(container, h);
    return h;
}

// Every handle an iterator gives, in order.
inline std::vector<intptr_t> Walk(intptr_t board, int32_t kind, intptr_t filter, int32_t layer) {
    std::vector<intptr_t> out;
    intptr_t it = PcbApi_CreateIterator(board, kind, filter, layer);
    if (!it)
        return out;
    for (intptr_t h = PcbApi_GetFirstObject(it); h; h = PcbApi_GetNextObject(it))
        out.push_back(h);
    PcbApi_DestroyIterator(it);
    return out;
}

inline std::string UniqueName(const std::string& stem) {
    static int counter = 0;
    return "/tmp/corvane-test-" + stem + "-" + std::to_string(++counter) + ".pcbdoc";
}

} // namespace enginetest
