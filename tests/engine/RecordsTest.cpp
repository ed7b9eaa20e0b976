// Records written and read back through the entry points,
// the layer stack and board records, classes and rule constraints.
#include "support/NewBoard.h"

#include <gtest/gtest.h>

#include <array>
#include <tuple>

using namespace enginetest;

using EngineRecords = NewBoardTest;

TEST_F(EngineRecords, WritesAreValidatedBeforeAnythingChanges) {
    intptr_t track = PcbApi_CreateObject(4);
    Track before;
    ASSERT_EQ(Query(1, track, before), 1);
    Track bad = before;
    bad.c.x1 = 42, bad.c.layer = 83; // no such layer
    EXPECT_EQ(Query(0, track, bad), 0);
    bad.c.layer = 1, bad.c.net = track; // not a net
    EXPECT_EQ(Query(0, track, bad), 0);
    Track after;
    ASSERT_EQ(Query(1, track, after), 1);
    EXPECT_TRUE(after == before);
    EXPECT_EQ(PcbApi_QueryTrack(1, track, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                nullptr),
              0);
    Region r;
    ASSERT_EQ(Query(1, PcbApi_CreateObject(11), r), 1);
    intptr_t region = PcbApi_CreateObject(11);
    r.holePoints = {{1, 1}, {2, 2}};
    r.holeSizes = {3}; // claims more points than given
    EXPECT_EQ(Query(0, region, r), 0);
    PcbApi_DestroyObject(track);
    PcbApi_DestroyObject(region);
}

TEST_F(EngineRecords, PadPerLayerEntriesFollowModeAndStackSizes) {
    intptr_t pad = PcbApi_CreateObject(2);
    Pad p;
    ASSERT_EQ(Query(1, pad, p), 1);
    p.sizes[0] = 1000, p.sizes[1] = 2000, p.shapes[0] = 2; // the top layer's X, Y and shape
    ASSERT_EQ(Query(0, pad, p), 1);
    int32_t x = 0, y = 0, shape = 0;
    ASSERT_EQ(PcbApi_QueryPadOrViaSizeOnLayer(pad, 1, &x, &y), 1);
    EXPECT_EQ(std::pair(x, y), std::pair(1000, 2000));
    ASSERT_EQ(PcbApi_QueryPadOrViaShapeOnLayer(pad, 1, &shape), 1);
    EXPECT_EQ(shape, 2);

    int32_t mode = 2;
    ASSERT_EQ(PcbApi_QueryPadStackMode(0, pad, &mode), 1);
    mode = 0;
    ASSERT_EQ(PcbApi_QueryPadStackMode(1, pad, &mode), 1);
    EXPECT_EQ(mode, 2);
    ASSERT_EQ(PcbApi_SetPadSizeOnLayer(pad, 7, 4000, 8000), 1);
    ASSERT_EQ(PcbApi_SetPadShapeOnLayer(pad, 7, 9), 1);
    ASSERT_EQ(PcbApi_SetCRPctOnLayer(pad, 7, 50), 1);
    // Writing the record again unchanged keeps the per-layer entries.
    ASSERT_EQ(Query(1, pad, p), 1);
    ASSERT_EQ(Query(0, pad, p), 1);
    int32_t pct = 0, radius = 0;
    ASSERT_EQ(PcbApi_QueryPadOrViaSizeOnLayer(pad, 7, &x, &y), 1);
    EXPECT_EQ(std::pair(x, y), std::pair(4000, 8000));
    ASSERT_EQ(PcbApi_QueryPadCRPercentageOnLayer(pad, 7, &pct), 1);
    EXPECT_EQ(pct, 50);
    ASSERT_EQ(PcbApi_QueryPadCornerRadiusOnLayer(pad, 7, &radius), 1);
    EXPECT_EQ(radius, 1000); // half of the smaller size, at 50 %
    EXPECT_EQ(PcbApi_SetPadSizeOnLayer(pad, 83, 1, 1), 0);
    EXPECT_EQ(PcbApi_SetCRPctOnLayer(pad, 7, 101), 0);

    intptr_t via = PcbApi_CreateObject(3);
    Via v;
    ASSERT_EQ(Query(1, via, v), 1);
    v.size = 6000, v.low = 1, v.high = 2;
    ASSERT_EQ(Query(0, via, v), 1);
    ASSERT_EQ(PcbApi_QueryPadOrViaSizeOnLayer(via, 2, &x, &y), 1);
    EXPECT_EQ(x, 6000);
    ASSERT_EQ(PcbApi_QueryPadOrViaSizeOnLayer(via, 32, &x, &y), 1);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(PcbApi_SetPadSizeOnLayer(via, 1, 5, 5), 0); // a via has no per-layer table
    PcbApi_DestroyObject(pad);
    PcbApi_DestroyObject(via);
}

TEST_F(EngineRecords, ClassMembersAreReplacedByAnEmptyList) {
    intptr_t cls = PcbApi_CreateClassObject(8);
    ASSERT_NE(cls, 0);
    Text name("Signals");
    int32_t kind = -1, super = 1;
    EXPECT_EQ(PcbApi_QueryClass(0, cls, name.buf, &kind, &super), 0) << "no member kind -1";
    kind = 1;
    ASSERT_EQ(PcbApi_QueryClass(0, cls, name.buf, &kind, &super), 1);
    kind = -1;
    ASSERT_EQ(PcbApi_QueryClass(1, cls, name.buf, &kind, &super), 1);
    EXPECT_EQ(std::pair(kind, name.str()), std::pair(1, std::string("Signals")));
    for (const char* m : {"A", "B", "A", "C"})
        EXPECT_EQ(PcbApi_AddMemberToClass(cls, m), 0);
    std::vector<std::string> members;
    Text member;
    for (int32_t i = 0; PcbApi_GetMemberFromClassAt(cls, i, member.buf) == 0; ++i)
        members.push_back(member.str());
    EXPECT_EQ(members, (std::vector<std::string>{"A", "B", "C"}));
    ASSERT_EQ(PcbApi_RemoveAllMembersFromClass(cls), 0);
    EXPECT_EQ(PcbApi_GetMemberFromClassAt(cls, 0, member.buf), 1);
    // Emptied, the class takes its old members again; a class of every net
    // of a large board keeps each once, in the order given.
    std::vector<std::string> many{"B"};
    for (int i = 0; i < 3000; ++i)
        many.push_back("N" + std::to_string(i * 7919 % 3000)); // every number once
    for (int pass = 0; pass < 2; ++pass)
        for (const std::string& m : many)
            EXPECT_EQ(PcbApi_AddMemberToClass(cls, m.c_str()), 0);
    members.clear();
    for (int32_t i = 0; PcbApi_GetMemberFromClassAt(cls, i, member.buf) == 0; ++i)
        members.push_back(member.str());
    EXPECT_EQ(members, many);
    ASSERT_EQ(PcbApi_RemoveAllMembersFromClass(cls), 0);
    ASSERT_EQ(PcbApi_AddObjectToContainer(board, cls), 0);
    EXPECT_EQ(Walk(board, 15, 0, 0), std::vector<intptr_t>{cls});
    EXPECT_EQ(PcbApi_CreateClassObject(4), 0) << "tracks cannot be class members";
    intptr_t fromTos = PcbApi_CreateClassObject(17);
    ASSERT_EQ(PcbApi_QueryClass(1, fromTos, name.buf, &kind, &super), 1);
    EXPECT_EQ(kind, 2);
    PcbApi_DestroyObject(fromTos);
}

TEST_F(EngineRecords, RuleConstraintsBelongToTheirKind) {
    intptr_t width = PcbApi_CreateRuleObject(2);
    Rule r;
    ASSERT_EQ(Query(1, width, r), 0);
    EXPECT_EQ(std::tuple(r.kind, r.scope1.str(), r.scope2.str()), std::tuple(2, "All", "All"));
    // The kind is fixed when the rule is made (the rest of the record round
    // trips in the board wrappers' test).
    r.kind = 0;
    ASSERT_EQ(Query(0, width, r), 0);
    Rule back;
    ASSERT_EQ(Query(1, width, back), 0);
    EXPECT_EQ(back.kind, 2);
    int32_t mx = 12, mn = 8, pref = 10;
    ASSERT_EQ(PcbApi_QueryRuleMaxMinWidthConstraintExt(0, width, &mx, &mn, &pref), 0);
    mx = mn = pref = 0;
    ASSERT_EQ(PcbApi_QueryRuleMaxMinWidthConstraintExt(1, width, &mx, &mn, &pref), 0);
    EXPECT_EQ(std::vector<int32_t>({mx, mn, pref}), std::vector<int32_t>({12, 8, 10}));
    int32_t gap = 5;
    EXPECT_EQ(PcbApi_QueryRuleClearanceConstraint(0, width, &gap), 1) << "not a clearance rule";

    struct OneValue {
        int32_t kind;
        int32_t (*query)(int32_t, intptr_t, int32_t*);
    };
    for (OneValue one : {OneValue{0, PcbApi_QueryRuleClearanceConstraint},
                         OneValue{5, PcbApi_QueryRuleDaisyChainStubLengthConstraint},
                         OneValue{7, PcbApi_QueryRuleRoutingTopologyRule},
                         OneValue{18, PcbApi_QueryRuleMaximumViaCountRule},
                         OneValue{23, PcbApi_QueryRuleSMDToCorner}}) {
        intptr_t rule = PcbApi_CreateRuleObject(one.kind);
        int32_t v = 4242 + one.kind, got = 0;
        EXPECT_EQ(one.query(0, rule, &v), 0);
        EXPECT_EQ(one.query(1, rule, &got), 0);
        EXPECT_EQ(got, v) << "rule kind " << one.kind;
        PcbApi_DestroyObject(rule);
        EXPECT_EQ(one.query(1, rule, &got), 1) << "destroyed rule";
    }
    intptr_t smd = PcbApi_CreateRuleObject(17);
    int32_t allowed = 5;
    ASSERT_EQ(PcbApi_QueryRuleViasUnderSMDConstraint(0, smd, &allowed), 0);
    ASSERT_EQ(PcbApi_QueryRuleViasUnderSMDConstraint(1, smd, &allowed), 0);
    EXPECT_EQ(allowed, 1);
    intptr_t par = PcbApi_CreateRuleObject(1);
    int32_t g = 11, l = 22;
    ASSERT_EQ(PcbApi_QueryRuleParallelSegmentConstraint(0, par, &g, &l), 0);
    g = l = 0;
    ASSERT_EQ(PcbApi_QueryRuleParallelSegmentConstraint(1, par, &g, &l), 0);
    EXPECT_EQ(g * 100 + l, 11 * 100 + 22);
    intptr_t layers = PcbApi_CreateRuleObject(9);
    std::array<int32_t, PCBAPI_ROUTING_LAYER_COUNT> codes{};
    codes[0] = 1, codes[31] = 9;
    ASSERT_EQ(PcbApi_QueryRuleRoutingLayersRule(0, layers, codes.data()), 0);
    std::array<int32_t, PCBAPI_ROUTING_LAYER_COUNT> read{};
    ASSERT_EQ(PcbApi_QueryRuleRoutingLayersRule(1, layers, read.data()), 0);
    EXPECT_EQ(read, codes);
    uint8_t attrs[PCBAPI_RULE_ATTRIBUTE_COUNT] = {2, 1, 0, 0, 0, 0, 0, 9};
    uint8_t attrsBack[PCBAPI_RULE_ATTRIBUTE_COUNT] = {};
    ASSERT_EQ(PcbApi_QueryRuleExt(0, layers, attrs), 0);
    ASSERT_EQ(PcbApi_QueryRuleExt(1, layers, attrsBack), 0);
    EXPECT_EQ(std::memcmp(attrs, attrsBack, sizeof attrs), 0);
    EXPECT_EQ(PcbApi_CreateRuleObject(67), 0);
    EXPECT_EQ(PcbApi_CreateRuleObject(-1), 0);
    for (intptr_t h : {width, smd, par, layers})
        PcbApi_DestroyObject(h);
}

TEST_F(EngineRecords, ComponentPlacementMovesRotatesAndFlipsItsPrimitives) {
    intptr_t comp = PcbApi_CreateObject(9);
    intptr_t pad = PcbApi_CreateObject(2);
    Pad p;
    ASSERT_EQ(Query(1, pad, p), 1);
    p.c.layer = 1, p.c.x1 = 1000, p.c.y1 = 0;
    ASSERT_EQ(Query(0, pad, p), 1);
    ASSERT_EQ(PcbApi_AddObjectToContainer(comp, pad), 0);
    // Pads that share the first one's values, others that do not, and one
    // with its own angle: each turns from its own angle and keeps its size.
    std::vector<std::pair<intptr_t, Pad>> others;
    for (int i = 0; i < 7; ++i) {
        Pad q = p;
        q.c.x1 = -1000 * i;
        q.sizes[0] = i % 3 == 0 ? 2000 : q.sizes[0];
        q.angle = i == 5 ? 45 : q.angle;
        const intptr_t h = PcbApi_CreateObject(2);
        ASSERT_EQ(Query(0, h, q), 1);
        ASSERT_EQ(PcbApi_AddObjectToContainer(comp, h), 0);
        others.emplace_back(h, q);
    }
    ASSERT_EQ(PcbApi_AddObjectToContainer(board, comp), 0);
    ASSERT_EQ(Query(1, pad, p), 1);
    EXPECT_EQ(p.c.component, comp);

    Component c;
    ASSERT_EQ(Query(1, comp, c), 1);
    c.angle = 90;
    ASSERT_EQ(Query(0, comp, c), 1);
    c.c.x1 = 50000, c.c.y1 = 60000;
    ASSERT_EQ(Query(0, comp, c), 1);
    ASSERT_EQ(Query(1, pad, p), 1);
    EXPECT_EQ(std::tuple(p.c.layer, p.c.x1, p.c.y1, p.angle), std::tuple(1, 50000, 61000, 90.0));
    for (const auto& [h, before] : others) {
        Pad q;
        ASSERT_EQ(Query(1, h, q), 1);
        EXPECT_EQ(std::tuple(q.c.y1, q.angle, q.sizes[0]),
                  std::tuple(60000 + before.c.x1, before.angle + 90, before.sizes[0]));
    }

    c.c.layer = 32; // to the bottom side: mirrored about the component
    ASSERT_EQ(Query(0, comp, c), 1);
    ASSERT_EQ(Query(1, pad, p), 1);
    EXPECT_EQ(std::tuple(p.c.layer, p.c.x1, p.c.y1, p.angle), std::tuple(32, 50000, 61000, 90.0));
    EXPECT_EQ(Walk(board, 2, 0, 32).size(), 1 + others.size());
    EXPECT_TRUE(Walk(board, 2, 0, 1).empty());

    // A pad turned on its own keeps its offset through a turn of the
    // component; back on top every angle a is mirrored to 180 - a, the
    // component's texts' too.
    p.angle = 10;
    ASSERT_EQ(Query(0, pad, p), 1);
    c.angle = 180;
    ASSERT_EQ(Query(0, comp, c), 1);
    ASSERT_EQ(Query(1, pad, p), 1);
    EXPECT_EQ(p.angle, 100);
    c.c.layer = 1;
    ASSERT_EQ(Query(0, comp, c), 1);
    ASSERT_EQ(Query(1, pad, p), 1);
    EXPECT_EQ(p.angle, 80);
    for (const auto& [h, before] : others) {
        Pad q;
        ASSERT_EQ(Query(1, h, q), 1);
        EXPECT_EQ(std::pair(q.angle, q.sizes[0]), std::pair(before.angle, before.sizes[0]));
    }
    for (intptr_t h : Walk(board, 5, comp, 0)) {
        Text_ t;
        ASSERT_EQ(Query(1, h, t), 1);
        EXPECT_EQ(t.angle, 0);
    }
}

TEST_F(EngineRecords, AComponentsTextHandlesReadAloneAsInItsWholeRecord) {
    const intptr_t comp = PcbApi_CreateObject(9);
    ASSERT_EQ(PcbApi_AddObjectToContainer(board, comp), 0);
    const auto both = [](intptr_t h) {
        std::pair<intptr_t, intptr_t> texts{-1, -1};
        const int32_t answer = PcbApi_QueryComponentTexts(h, &texts.first, &texts.second);
        return std::pair{answer, texts};
    };
    Component c;
    ASSERT_EQ(Query(1, comp, c), 1);
    ASSERT_NE(c.nameText, 0);
    ASSERT_NE(c.commentText, 0);
    EXPECT_EQ(both(comp), std::pair(1, std::pair(c.nameText, c.commentText)));

    // A text deleted from the component reads as none, alone as in the record.
    ASSERT_EQ(PcbApi_DeleteObjectFromContainer(comp, c.commentText), 0);
    const intptr_t name = c.nameText;
    ASSERT_EQ(Query(1, comp, c), 1);
    EXPECT_EQ(std::pair(c.nameText, c.commentText), std::pair(name, intptr_t{0}));
    EXPECT_EQ(both(comp), std::pair(1, std::pair(name, intptr_t{0})));

    // No component, no answer: a text, a stale handle, a null pointer.
    EXPECT_EQ(both(name).first, 0);
    intptr_t out = 0;
    EXPECT_EQ(PcbApi_QueryComponentTexts(comp, &out, nullptr), 0);
    ASSERT_EQ(PcbApi_DeleteObjectFromContainer(board, comp), 0);
    EXPECT_EQ(both(comp).first, 0);
}

TEST_F(EngineRecords, NetNamesStayUniqueOnABoard) {
    intptr_t a = AddNet(board, "A");
    intptr_t b = AddNet(board, "B");
    EXPECT_EQ(PcbApi_GetNetByName(board, "A"), a);
    Net n;
    ASSERT_EQ(Query(1, b, n), 1);
    n.name = Text("A");
    EXPECT_EQ(Query(0, b, n), 0) << "renaming onto an existing net";
    EXPECT_EQ(PcbApi_GetNetByName(board, "B"), b) << "the refused name changed nothing";
}

TEST_F(EngineRecords, LayerStackGridsPairsAndBoardRecord) {
    // A layer record, read or written through these fields.
    Text name;
    int32_t thick = 0, used = 0, shown = 0, prev = 0, next = 0, mech = 0;
    PcbApiDielectric d{};
    auto layerRecord = [&](int32_t mode, int32_t id) {
        return PcbApi_QueryLayer(mode, id, board, name.buf, &thick, &d, &used, &shown, &prev, &next,
                                 &mech);
    };
    auto layer = [&](int32_t id) {
        prev = next = -1;
        EXPECT_EQ(layerRecord(1, id), 1);
        return std::pair{prev, next};
    };
    EXPECT_EQ(layer(1), std::pair(0, 32));
    EXPECT_EQ(layer(32), std::pair(1, 0));
    EXPECT_EQ(PcbApi_InsertLayerInStack(board, 39, 1), 0);
    EXPECT_EQ(PcbApi_InsertLayerInStack(board, 39, 1), 1) << "already in the stack";
    EXPECT_EQ(PcbApi_InsertLayerInStack(board, 2, 3), 1) << "after a layer not in the stack";
    EXPECT_EQ(PcbApi_InsertLayerInStack(board, 33, 1), 1) << "an overlay is no stack layer";
    EXPECT_EQ(layer(1), std::pair(0, 39));
    EXPECT_EQ(layer(39), std::pair(1, 32));
    EXPECT_EQ(layer(32), std::pair(39, 0));

    // Plane net names written and read: the board wrappers' test.
    Text planeBack;
    EXPECT_EQ(PcbApi_QueryInternalPlane(1, 2, board, planeBack.buf), 0) << "not a plane layer";

    name = Text("L2 renamed"), d = PcbApiDielectric{2, 99, 3.3, "Rogers"};
    thick = 350, used = shown = prev = next = 0, mech = 1;
    ASSERT_EQ(layerRecord(0, 39), 1);
    name = Text(), d = PcbApiDielectric{};
    ASSERT_EQ(layerRecord(1, 39), 1);
    EXPECT_EQ(name.str(), "L2 renamed");
    EXPECT_STREQ(d.Material, "Rogers");
    EXPECT_EQ(prev, 1) << "stack links are not written through the layer record";

    ASSERT_EQ(PcbApi_RemoveLayerFromStack(board, 39), 0);
    EXPECT_EQ(layer(1), std::pair(0, 32));
    ASSERT_EQ(PcbApi_RemoveLayerFromStack(board, 1), 0);
    EXPECT_EQ(layer(32), std::pair(0, 0));
    EXPECT_EQ(PcbApi_RemoveLayerFromStack(board, 32), 1) << "the last stack layer stays";

    std::array<double, 13> g{};
    auto grids = [&](int32_t mode) {
        return PcbApi_QueryBoardGridsEx(mode, board, &g[0], &g[1], &g[2], &g[3], &g[4], &g[5],
                                        &g[6], &g[7], &g[8], &g[9], &g[10], &g[11], &g[12]);
    };
    ASSERT_EQ(grids(1), 1);
    g[9] = 1234.5;
    ASSERT_EQ(grids(0), 1);
    g[9] = 0;
    ASSERT_EQ(grids(1), 1);
    EXPECT_EQ(g[9], 1234.5);

    EXPECT_EQ(PcbApi_AddLayerPair(board, "P", 1, 32), 0);
    EXPECT_EQ(PcbApi_AddLayerPair(board, "P again", 1, 32), 1);
    EXPECT_EQ(PcbApi_AddLayerPair(board, "P", 5, 5), 1);
    EXPECT_EQ(PcbApi_AddLayerPair(board, "Q", 1, 2), 0);
    EXPECT_EQ(PcbApi_GetLayerPairCount(board), 2);
    ASSERT_EQ(PcbApi_RemoveLayerPair(board, 0), 0);
    Text pairName, sub;
    int32_t low = 0, high = 0, dd = 0, dg = 0, back = 0;
    ASSERT_EQ(
        PcbApi_QueryLayerPair(1, board, 0, pairName.buf, &low, &high, &dd, &dg, sub.buf, &back), 1);
    EXPECT_EQ(pairName.str() + ":" + std::to_string(low) + "-" + std::to_string(high), "Q:1-2");
    ASSERT_EQ(PcbApi_RemoveAllLayerPairs(board), 0);
    EXPECT_EQ(PcbApi_GetLayerPairCount(board), 0);

    intptr_t window = 0, outline = 0;
    Text fileName;
    int32_t lib = 0, ox = 0, oy = 0, cx = 0, cy = 0, unit = 0, cur = 0, guide = 0;
    PcbApiDielectric top{}, bottom{};
    auto boardRecord = [&](int32_t mode) {
        return PcbApi_QueryBoard(mode, board, &window, fileName.buf, &lib, &ox, &oy, &cx, &cy,
                                 &unit, &top, &bottom, &cur, &guide, &outline);
    };
    ASSERT_EQ(boardRecord(1), 1);
    EXPECT_EQ(outline, 0);
    char own[PCBAPI_TEXT_CAPACITY];
    Corvane_GetBoardFileName(board, own, sizeof own);
    EXPECT_EQ(fileName.str(), own);
    EXPECT_EQ(PcbApi_GetBoardHandleFromFileName(own), board);
    intptr_t made = PcbApi_CreateBoardOutline(board);
    ASSERT_NE(made, 0);
    EXPECT_EQ(PcbApi_CreateBoardOutline(board), made) << "one outline per board";
    ASSERT_EQ(boardRecord(1), 1);
    EXPECT_EQ(outline, made);
    EXPECT_EQ(PcbApi_GetObjectIdFromObjectHandle(made), 26);
    Corvane_SetBoardModified(board, 0);
    ox = 777;
    ASSERT_EQ(boardRecord(0), 1);
    EXPECT_EQ(Corvane_IsBoardModified(board), 1);
}

// Records freed and made again take cells other records left: each keeps its
// own fields, and the walks keep board order through deletions at the head,
// in the middle and at the tail of a list.
TEST_F(EngineRecords, RecordsMadeInFreedCellsKeepTheirFieldsApart) {
    struct Made {
        intptr_t track, text;
        int32_t value;
    };
    auto make = [&](int32_t value) {
        Made m{};
        m.value = value;
        m.track = AddObject<Track>(board, 4, [&](Track& t) {
            t.c.x1 = value, t.x2 = value * 3, t.y2 = -value, t.width = 1000 + value;
        });
        m.text = AddObject<Text_>(board, 5, [&](Text_& t) {
            t.c.x1 = value, t.angle = value / 8.0,
            t.text = Text(("T" + std::to_string(value)).c_str());
        });
        return m;
    };
    std::vector<Made> live;
    for (int32_t i = 0; i < 300; ++i)
        live.push_back(make(i));
    // Delete the head, the tail and every third in between.
    std::vector<Made> kept;
    for (size_t i = 0; i < live.size(); ++i) {
        if (i == 0 || i + 1 == live.size() || i % 3 == 1) {
            ASSERT_EQ(PcbApi_DeleteObjectFromContainer(board, live[i].track), 0);
            ASSERT_EQ(PcbApi_DeleteObjectFromContainer(board, live[i].text), 0);
        } else {
            kept.push_back(live[i]);
        }
    }
    for (int32_t i = 0; i < 150; ++i)
        kept.push_back(make(10000 + i));
    std::vector<intptr_t> tracks, texts;
    for (const Made& m : kept) {
        tracks.push_back(m.track);
        texts.push_back(m.text);
        Track t;
        ASSERT_EQ(Query(1, m.track, t), 1);
        EXPECT_EQ(std::tuple(t.c.x1, t.x2, t.y2, t.width),
                  std::tuple(m.value, m.value * 3, -m.value, 1000 + m.value));
        Text_ x;
        ASSERT_EQ(Query(1, m.text, x), 1);
        EXPECT_EQ(std::tuple(x.c.x1, x.angle, x.text.str()),
                  std::tuple(m.value, m.value / 8.0, "T" + std::to_string(m.value)));
    }
    EXPECT_EQ(Walk(board, 4, 0, 0), tracks);
    EXPECT_EQ(Walk(board, 5, 0, 0), texts);
}

// Net names and texts up to 15 characters are kept in place and longer ones
// apart: either way a name is found, read and changed to the other kind.
TEST_F(EngineRecords, ShortAndLongNamesAndTextsReadBackAndChange) {
    const std::vector<std::string> names = {"", "N", "FIFTEEN_CHARS_X", "SIXTEEN_CHARS_XY",
                                            "A_NET_NAME_LONGER_THAN_ANY_IN_PLACE_ONE_0123456789"};
    std::vector<intptr_t> nets, texts;
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string name = names[i].empty() ? "X" : names[i];
        nets.push_back(AddNet(board, name.c_str()));
        texts.push_back(
            AddObject<Text_>(board, 5, [&](Text_& t) { t.text = Text(names[i].c_str()); }));
    }
    auto check = [&](const std::vector<std::string>& want, const char* when) {
        for (size_t i = 0; i < want.size(); ++i) {
            const std::string name = want[i].empty() ? "X" : want[i];
            Net n;
            ASSERT_EQ(Query(1, nets[i], n), 1);
            EXPECT_EQ(n.name.str(), name) << when;
            EXPECT_EQ(PcbApi_GetNetByName(board, name.c_str()), nets[i]) << when;
            Text_ t;
            ASSERT_EQ(Query(1, texts[i], t), 1);
            EXPECT_EQ(t.text.str(), want[i]) << when;
        }
    };
    check(names, "as made");
    // Each takes the next one's name: short ones grow long and long ones shrink.
    std::vector<std::string> moved(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        moved[i] = names[(i + 1) % names.size()] + "_";
        Net n;
        ASSERT_EQ(Query(1, nets[i], n), 1);
        n.name = Text(moved[i].c_str());
        ASSERT_EQ(Query(0, nets[i], n), 1);
        Text_ t;
        ASSERT_EQ(Query(1, texts[i], t), 1);
        t.text = Text(moved[i].c_str());
        ASSERT_EQ(Query(0, texts[i], t), 1);
    }
    check(moved, "after the change");
    EXPECT_EQ(PcbApi_GetNetByName(board, names[3].c_str()), 0) << "the old long name is free";
}
