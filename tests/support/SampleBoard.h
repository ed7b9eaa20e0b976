// Builds a small board that holds one object of every kind the translator
// makes, with rules, classes, embedded objects, layer pairs and a modified
// layer stack; and a large board of tracks for the document stress cases.
#pragma once

#include "EngineRecords.h"

namespace enginetest {

inline intptr_t AddNet(intptr_t board, const char* name) {
    return AddObject<Net>(board, 8, [&](Net& n) { n.name = Text(name); });
}

inline void FillSampleBoard(intptr_t board) {
    intptr_t gnd = AddNet(board, "GND");
    intptr_t sig = AddNet(board, "SIG\"1\\x");

    AddObject<Track>(board, 4, [&](Track& t) {
        t.c = Common{0x0001, 3, 1, sig, 0, 0, 100, 200};
        t.x2 = 3000, t.y2 = -4000, t.width = 2500;
    });
    AddObject<Arc>(board, 1, [&](Arc& a) {
        a.c.layer = 32, a.c.net = gnd, a.c.x1 = 5;
        a.radius = 7777, a.angle1 = 12.5, a.angle2 = 270.25;
    });
    AddObject<Fill>(board, 6, [](Fill& f) { f.c.layer = 56, f.x2 = 10, f.y2 = 20, f.angle = 45; });

    intptr_t via = PcbApi_CreateObject(3);
    Via v;
    Query(1, via, v);
    v.c.net = gnd, v.c.x1 = 1000, v.size = 500000, v.low = 1, v.high = 39, v.tpTop = 1;
    Query(0, via, v);
    int32_t height = 15000;
    PcbApi_QueryViaHeight(0, via, &height);
    PcbApi_AddObjectToContainer(board, via);

    intptr_t comp = PcbApi_CreateObject(9);
    Component c;
    Query(1, comp, c);
    c.pattern = Text("SOIC8"), c.texts[0] = Text("U1");
    Query(0, comp, c);
    Text_ designator;
    Query(1, c.nameText, designator);
    designator.text = Text("U1");
    Query(0, c.nameText, designator);
    intptr_t pad = PcbApi_CreateObject(2);
    Pad p;
    Query(1, pad, p);
    p.name = Text("1"), p.c.net = sig, p.c.x1 = -1270;
    int32_t mode = 2;
    PcbApi_QueryPadStackMode(0, pad, &mode);
    Query(0, pad, p);
    PcbApi_SetPadShapeOnLayer(pad, 5, 2);
    PcbApi_SetPadSizeOnLayer(pad, 5, 1111, 2222);
    PcbApi_SetCRPctOnLayer(pad, 5, 25);
    PcbApi_AddObjectToContainer(comp, pad);
    PcbApi_AddObjectToContainer(board, comp);
    c.c.x1 = 50000, c.c.y1 = 60000, c.angle = 90, c.c.moveable = 1;
    Query(0, comp, c);

    AddObject<Text_>(board, 5,
                     [](Text_& tx) { tx.text = Text("Board title \xe9"), tx.bar[2] = 9; });
    const intptr_t poly = AddObject<Polygon>(board, 10, [&](Polygon& pg) {
        pg.c.net = gnd, pg.pointCount = 3;
        pg.segments = {{0, 0, 0, 0, 0, 0, 0, 0},
                       {0, 100, 0, 0, 0, 0, 0, 0},
                       {1, 100, 100, 50, 50, 70, 0, 90},
                       {0, 0, 0, 0, 0, 0, 0, 0}};
        pg.flags[3] = 1;
    });
    AddObject<Track>(board, 4, [&](Track& t) { t.polygon = poly; });
    AddObject<Polygon>(board, 22, [&](Polygon& sp) {
        sp.c.layer = 40, sp.c.net = gnd;
        sp.segments = {{0, 1, 2, 0, 0, 0, 0, 0}, {0, 3, 4, 0, 0, 0, 0, 0}};
        sp.pointCount = 1;
    });
    AddObject<Region>(board, 11, [](Region& rg) {
        rg.contour = {{0, 0}, {10, 0}, {10, 10}};
        rg.holePoints = {{1, 1}, {2, 1}, {2, 2}};
        rg.holeSizes = {3};
        rg.kind = 1, rg.layers.Bits[0] = 1ull << 56 >> 0, rg.layers.Bits[1] = 1ull << (74 - 64);
    });

    intptr_t fromTo = PcbApi_CreateObject(17);
    FromTo ft{Text("U1-1"), Text("U2-3"), Text("GND"), 7};
    Query(0, fromTo, ft);
    PcbApi_AddObjectToContainer(board, fromTo);

    intptr_t outline = PcbApi_CreateBoardOutline(board);
    Polygon ol;
    Query(1, outline, ol);
    ol.segments = {{0, -5, -5, 0, 0, 0, 0, 0}, {0, 5, 5, 0, 0, 0, 0, 0}};
    ol.pointCount = 1;
    Query(0, outline, ol);
    PcbApi_UpdateBoardOutline(outline);

    for (const char* chunk : {"Server=Ravel|Type=CONSTANTS|ChunkIdx=0", "Server=Other|Type=X"}) {
        intptr_t e = PcbApi_CreateObject(20);
        Embedded em{Text(chunk), Text("payload|with=pipes\nand lines")};
        Query(0, e, em);
        PcbApi_AddObjectToContainer(board, e);
    }

    intptr_t cls = PcbApi_CreateClassObject(8);
    Text className("Power");
    int32_t memberKind = 0, superClass = 0;
    PcbApi_QueryClass(0, cls, className.buf, &memberKind, &superClass);
    PcbApi_AddMemberToClass(cls, "GND");
    PcbApi_AddMemberToClass(cls, "VCC");
    PcbApi_AddObjectToContainer(board, cls);
    intptr_t empty = PcbApi_CreateClassObject(17);
    PcbApi_AddObjectToContainer(board, empty);

    intptr_t clearance = PcbApi_CreateRuleObject(0);
    Rule r;
    Query(1, clearance, r);
    r.name = Text("Clearance GND"), r.scope1 = Text("InNet('GND')");
    Query(0, clearance, r);
    int32_t gap = 123456;
    PcbApi_QueryRuleClearanceConstraint(0, clearance, &gap);
    uint8_t attributes[PCBAPI_RULE_ATTRIBUTE_COUNT] = {0, 1};
    PcbApi_QueryRuleExt(0, clearance, attributes);
    PcbApi_AddObjectToContainer(board, clearance);
    intptr_t layersRule = PcbApi_CreateRuleObject(9);
    int32_t codes[PCBAPI_ROUTING_LAYER_COUNT] = {1, 2, 0, 8};
    PcbApi_QueryRuleRoutingLayersRule(0, layersRule, codes);
    PcbApi_AddObjectToContainer(board, layersRule);
    intptr_t viaStyle = PcbApi_CreateRuleObject(11);
    int32_t vs[6] = {1, 2, 3, 4, 5, 6};
    PcbApi_QueryRuleRoutingViaStyleRuleExt(0, viaStyle, &vs[0], &vs[1], &vs[2], &vs[3], &vs[4],
                                           &vs[5]);
    PcbApi_AddObjectToContainer(board, viaStyle);

    PcbApi_InsertLayerInStack(board, 39, 1);
    PcbApi_InsertLayerInStack(board, 2, 39);
    char plane[PCBAPI_TEXT_CAPACITY] = "GND";
    PcbApi_QueryInternalPlane(0, 39, board, plane);
    PcbApi_AddLayerPair(board, "Top-Bottom", 1, 32);
    PcbApi_AddLayerPair(board, "Top-Mid", 1, 2);

    intptr_t window = 0, outlineRef = 0;
    char fileName[PCBAPI_TEXT_CAPACITY];
    int32_t lib = 0, ox = 0, oy = 0, cx = 0, cy = 0, unit = 0, cur = 0, guide = 0;
    PcbApiDielectric top{}, bottom{};
    PcbApi_QueryBoard(1, board, &window, fileName, &lib, &ox, &oy, &cx, &cy, &unit, &top, &bottom,
                      &cur, &guide, &outlineRef);
    ox = 123450;
    oy = -98765;
    unit = 0;
    PcbApi_QueryBoard(0, board, &window, fileName, &lib, &ox, &oy, &cx, &cy, &unit, &top, &bottom,
                      &cur, &guide, &outlineRef);
}

// `tracks` tracks spread over `nets` nets.
inline void FillTracks(intptr_t board, int64_t tracks, int64_t nets) {
    std::vector<intptr_t> netHandles;
    for (int64_t n = 0; n < nets; ++n) {
        std::string name = "N";
        name += std::to_string(n);
        netHandles.push_back(AddNet(board, name.c_str()));
    }
    Track t;
    for (int64_t i = 0; i < tracks; ++i) {
        intptr_t h = PcbApi_CreateObject(4);
        t.c = Common{0,
                     0,
                     static_cast<int32_t>(1 + i % 2 * 31),
                     netHandles[i % nets],
                     1,
                     0,
                     static_cast<int32_t>(i),
                     static_cast<int32_t>(i * 3)};
        t.x2 = static_cast<int32_t>(i + 1000), t.y2 = 7, t.width = 2000;
        Query(0, h, t);
        PcbApi_AddObjectToContainer(board, h);
    }
}

} // namespace enginetest
