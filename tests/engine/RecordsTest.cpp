// Records of every object kind written and read back through the entry
// points, the layer stack and board records, classes and rule constraints.
#include "support/NewBoard.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>

using namespace enginetest;

namespace {

// Writes `changed` into a new object of `kind`, reads it back and expects the
// same record; the object is then added to the board.
template <class R, class Change> intptr_t RoundTrip(intptr_t board, int32_t kind, Change change) {
    intptr_t h = PcbApi_CreateObject(kind);
    EXPECT_NE(h, 0);
    R written;
    EXPECT_EQ(Query(1, h, written), 1);
    change(written);
    EXPECT_EQ(Query(0, h, written), 1);
    R back;
    EXPECT_EQ(Query(1, h, back), 1);
    EXPECT_TRUE(back == written) << "kind " << kind;
    EXPECT_EQ(PcbApi_AddObjectToContainer(board, h), 0);
    R onBoard;
    EXPECT_EQ(Query(1, h, onBoard), 1);
    EXPECT_TRUE(onBoard == written) << "kind " << kind << " after adding";
    return h;
}

} // namespace

using EngineRecords = NewBoardTest;

TEST_F(EngineRecords, EveryPrimitiveKindRoundTrips) {
    intptr_t net = AddNet(board, "VCC");
    intptr_t poly = RoundTrip<Polygon>(board, 10, [&](Polygon& p) {
        p.c = Common{7, 2, 32, net, 1, 0, -5, 6};
        p.pointCount = 2;
        p.segments = {
            {0, 1, 2, 0, 0, 0, 0, 0}, {1, 3, 4, 5, 6, 7, 8.5, 9.25}, {0, 1, 2, 0, 0, 0, 0, 0}};
        for (int i = 0; i < 9; ++i)
            p.flags[i] = i % 2;
        p.flags[4] = 12345;
    });
    RoundTrip<Track>(board, 4, [&](Track& t) {
        t.c = Common{0x8001, 9, 2, net, 0, 0, -100, 200};
        t.x2 = 300, t.y2 = -400, t.width = 5000, t.polygon = poly;
    });
    RoundTrip<Arc>(board, 1, [&](Arc& a) {
        a.c = Common{1, 1, 33, 0, 1, 0, 10, 20};
        a.radius = 1234, a.angle1 = 33.25, a.angle2 = 181.5, a.lineWidth = 99;
    });
    RoundTrip<Fill>(board, 6, [&](Fill& f) {
        f.c = Common{0, 0, 56, 0, 0, 0, 1, 2};
        f.x2 = 30, f.y2 = 40, f.angle = 12.75;
    });
    RoundTrip<Via>(board, 3, [&](Via& v) {
        v.c = Common{0, 0, 74, net, 0, 0, 500, 600};
        v.size = 400000, v.holeSize = 200000, v.low = 1, v.high = 2, v.tpTop = 1, v.tpBottom = 0;
    });
    RoundTrip<Pad>(board, 2, [&](Pad& p) {
        p.c = Common{0, 0, 1, net, 1, 0, 5, 5};
        for (int i = 0; i < 6; ++i)
            p.sizes[i] = 1000 * (i + 1);
        p.holeSize = 300, p.shapes[0] = 2, p.shapes[1] = 3, p.shapes[2] = 9, p.name = Text("A12");
        p.daisy = 2, p.plated = 0, p.angle = 270, p.swapPad = Text("sp");
        p.swapPart = Text("spart"), p.ownerPart = 4, p.swappedName = Text("B1"), p.drillType = 2;
        p.holeType = 2, p.holeWidth = 777, p.holeRotation = 15, p.offX = -3, p.offY = 4;
        p.jumper = 6, p.tpTop = 1, p.tpBottom = 1;
    });
    RoundTrip<Text_>(board, 5, [&](Text_& t) {
        t.c = Common{0, 0, 34, 0, 1, 0, 8, 9};
        t.size = 500, t.font = 2, t.angle = 90, t.mirror = 1;
        t.text = Text(std::string(PCBAPI_TEXT_CAPACITY - 1, 'x').c_str()), t.lineWidth = 10;
        t.tt = 1, t.bold = 1, t.fontName = Text("Mono"), t.invertedBorder = 55;
        for (int i = 0; i < 8; ++i)
            t.bar[i] = i * 11;
    });
    RoundTrip<Region>(board, 11, [&](Region& r) {
        r.c = Common{PCBAPI_BITFIELD_KEEPOUT, 0, 56, 0, 0, 0, 0, 0};
        r.contour = {{0, 0}, {100, 0}, {100, 100}, {0, 100}};
        r.holePoints = {{10, 10}, {20, 10}, {20, 20}, {30, 30}, {40, 30}, {40, 40}};
        r.holeSizes = {3, 3};
        r.kind = 3, r.layers.Bits[0] = 0x2, r.data = 0, r.polygon = poly;
    });
    RoundTrip<Polygon>(board, 22, [&](Polygon& p) {
        p.c.layer = 41, p.c.net = net;
        p.segments = {{0, 1, 1, 0, 0, 0, 0, 0}, {0, 2, 2, 0, 0, 0, 0, 0}, {0, 1, 1, 0, 0, 0, 0, 0}};
        p.pointCount = 2;
    });
    RoundTrip<Net>(board, 8,
                   [&](Net& n) { n.name = Text("CLK"), n.visible = 0, n.color = 0xFF00; });
    RoundTrip<FromTo>(board, 17, [&](FromTo& f) {
        f = FromTo{Text("U1-1"), Text("U2-7"), Text("CLK"), 3};
    });
    RoundTrip<Embedded>(board, 20, [&](Embedded& e) {
        e.name = Text("Server=Ravel|Type=PADSTACK|ChunkIdx=0");
        e.description = Text(std::string(4095, 'p').c_str());
    });
    RoundTrip<Component>(board, 9, [&](Component& c) {
        c.c.layer = 1, c.channelOffset = 3, c.componentKind = 2, c.pattern = Text("DIP14");
        c.nameOn = 0, c.commentOn = 1, c.groupNum = 8, c.lock = 0, c.height = 1500, c.nameAuto = 4;
        c.commentAuto = 5, c.unionIndex = 6;
        for (int i = 0; i < 7; ++i)
            c.texts[i] = Text(("text" + std::to_string(i)).c_str());
    });
    EXPECT_EQ(Corvane_IsBoardModified(board), 1);
}

TEST_F(EngineRecords, WritesAreValidatedBeforeAnythingChanges) {
    intptr_t track = PcbApi_CreateObject(4);
    Track before;
    ASSERT_EQ(Query(1, track, before), 1);
    Track bad = before;
    bad.c.x1 = 42;
    bad.c.layer = 83; // no such layer
    EXPECT_EQ(Query(0, track, bad), 0);
    bad.c.layer = 1;
    bad.c.net = track; // not a net
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
    p.sizes[0] = 1000; // top X
    p.sizes[1] = 2000; // top Y
    p.shapes[0] = 2;
    ASSERT_EQ(Query(0, pad, p), 1);
    int32_t x = 0, y = 0, shape = 0;
    ASSERT_EQ(PcbApi_QueryPadOrViaSizeOnLayer(pad, 1, &x, &y), 1);
    EXPECT_EQ(x, 1000);
    EXPECT_EQ(y, 2000);
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
    EXPECT_EQ(x, 4000);
    EXPECT_EQ(y, 8000);
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

// Per-layer pad entries set one by one and through the top, inner and bottom
// sizes of the record read back exactly as a plain table of every layer would
// hold them, before and after the board is saved and reopened.
TEST_F(EngineRecords, PadPerLayerEntriesMatchAPlainTableThroughSaveAndReopen) {
    struct Entry {
        int32_t shape, x, y, pct;
        bool operator==(const Entry&) const = default;
    };
    std::array<Entry, 83> model{};
    for (int l = 1; l <= 32; ++l)
        model[l] = {1, 0, 0, 50};
    auto expectModel = [&](intptr_t pad, const char* when) {
        for (int32_t l = 1; l < 83; ++l) {
            Entry e{};
            ASSERT_EQ(PcbApi_QueryPadOrViaShapeOnLayer(pad, l, &e.shape), 1);
            ASSERT_EQ(PcbApi_QueryPadOrViaSizeOnLayer(pad, l, &e.x, &e.y), 1);
            ASSERT_EQ(PcbApi_QueryPadCRPercentageOnLayer(pad, l, &e.pct), 1);
            ASSERT_TRUE(e == model[l]) << when << ", layer " << l;
        }
    };
    intptr_t pad = PcbApi_CreateObject(2);
    ASSERT_EQ(PcbApi_AddObjectToContainer(board, pad), 0);
    expectModel(pad, "new pad");
    uint32_t seed = 12345;
    auto next = [&](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int32_t>((seed >> 16) % n);
    };
    for (int step = 0; step < 400; ++step) {
        const int32_t layer = 1 + next(82), value = 1000 * (1 + next(4));
        switch (next(5)) {
        case 0:
            model[layer].shape = next(10);
            ASSERT_EQ(PcbApi_SetPadShapeOnLayer(pad, layer, model[layer].shape), 1);
            break;
        case 1:
            ASSERT_EQ(PcbApi_SetPadSizeOnLayer(pad, layer, value, value + 1), 1);
            model[layer].x = value, model[layer].y = value + 1;
            break;
        case 2:
            ASSERT_EQ(PcbApi_SetCRPctOnLayer(pad, layer, value / 100), 1);
            model[layer].pct = value / 100;
            break;
        case 3: // an inner layer back to what its neighbours hold
            ASSERT_EQ(PcbApi_SetPadSizeOnLayer(pad, layer, model[1].x, model[1].y), 1);
            model[layer].x = model[1].x, model[layer].y = model[1].y;
            break;
        default: { // the inner sizes of the record carry to layers 2..31
            Pad p;
            ASSERT_EQ(Query(1, pad, p), 1);
            p.sizes[2] = value, p.sizes[3] = value, p.shapes[1] = next(10);
            ASSERT_EQ(Query(0, pad, p), 1);
            for (int l = 2; l <= 31; ++l)
                model[l] = {p.shapes[1], value, value, model[l].pct};
            break;
        }
        }
        if (step % 50 == 0)
            expectModel(pad, "while editing");
    }
    expectModel(pad, "after editing");
    char error[256] = {}, name[4096] = {};
    Corvane_GetBoardFileName(board, name, sizeof name);
    ASSERT_EQ(Corvane_SaveBoard(board, nullptr, error, sizeof error), 1) << error;
    Corvane_CloseBoard(board);
    board = Corvane_OpenBoard(name, error, sizeof error);
    ASSERT_NE(board, 0) << error;
    intptr_t it = PcbApi_CreateIterator(board, 2, 0, 0);
    pad = PcbApi_GetFirstObject(it);
    PcbApi_DestroyIterator(it);
    ASSERT_NE(pad, 0);
    expectModel(pad, "reopened");
    std::remove(name);
}

// Pads that share a name (and components a footprint) keep their own text
// when one of them is renamed.
TEST_F(EngineRecords, SharedNamesChangeForOneRecordOnly) {
    intptr_t a = PcbApi_CreateObject(2), b = PcbApi_CreateObject(2);
    Pad pa, pb;
    for (auto [h, p] : {std::pair{a, &pa}, std::pair{b, &pb}}) {
        ASSERT_EQ(Query(1, h, *p), 1);
        p->name = Text("1");
        p->swapPart = Text("GATE-A");
        ASSERT_EQ(Query(0, h, *p), 1);
    }
    pa.name = Text("2"), pa.swapPart = Text("");
    ASSERT_EQ(Query(0, a, pa), 1);
    Pad backA, backB;
    ASSERT_EQ(Query(1, a, backA), 1);
    ASSERT_EQ(Query(1, b, backB), 1);
    EXPECT_STREQ(backA.name.buf, "2");
    EXPECT_STREQ(backA.swapPart.buf, "");
    EXPECT_STREQ(backB.name.buf, "1");
    EXPECT_STREQ(backB.swapPart.buf, "GATE-A");
    PcbApi_DestroyObject(a);
    PcbApi_DestroyObject(b);
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
    EXPECT_EQ(kind, 1);
    EXPECT_EQ(name.str(), "Signals");
    for (const char* m : {"A", "B", "A", "C"})
        EXPECT_EQ(PcbApi_AddMemberToClass(cls, m), 0);
    std::vector<std::string> members;
    Text member;
    for (int32_t i = 0; PcbApi_GetMemberFromClassAt(cls, i, member.buf) == 0; ++i)
        members.push_back(member.str());
    EXPECT_EQ(members, (std::vector<std::string>{"A", "B", "C"}));
    ASSERT_EQ(PcbApi_RemoveAllMembersFromClass(cls), 0);
    EXPECT_EQ(PcbApi_GetMemberFromClassAt(cls, 0, member.buf), 1);
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
    EXPECT_EQ(r.kind, 2);
    EXPECT_EQ(r.scope1.str(), "All");
    EXPECT_EQ(r.scope2.str(), "All");
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
    EXPECT_EQ(p.c.x1, 50000);
    EXPECT_EQ(p.c.y1, 61000);
    EXPECT_EQ(p.angle, 90);

    c.c.layer = 32; // to the bottom side: mirrored about the component
    ASSERT_EQ(Query(0, comp, c), 1);
    ASSERT_EQ(Query(1, pad, p), 1);
    EXPECT_EQ(p.c.layer, 32);
    EXPECT_EQ(p.c.x1, 50000);
    EXPECT_EQ(p.c.y1, 61000);
    EXPECT_EQ(p.angle, 90);
    EXPECT_EQ(Walk(board, 2, 0, 32), std::vector<intptr_t>{pad});
    EXPECT_TRUE(Walk(board, 2, 0, 1).empty());
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
    auto layer = [&](int32_t id) {
        Text name;
        int32_t thick = 0, used = 0, shown = 0, prev = -1, next = -1, mech = 0;
        PcbApiDielectric d{};
        EXPECT_EQ(PcbApi_QueryLayer(1, id, board, name.buf, &thick, &d, &used, &shown, &prev, &next,
                                    &mech),
                  1);
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

    Text name("L2 renamed");
    int32_t thick = 350, used = 0, shown = 0, prev = 0, next = 0, mech = 1;
    PcbApiDielectric d{2, 99, 3.3, "Rogers"};
    ASSERT_EQ(
        PcbApi_QueryLayer(0, 39, board, name.buf, &thick, &d, &used, &shown, &prev, &next, &mech),
        1);
    Text nameBack;
    PcbApiDielectric dBack{};
    ASSERT_EQ(PcbApi_QueryLayer(1, 39, board, nameBack.buf, &thick, &dBack, &used, &shown, &prev,
                                &next, &mech),
              1);
    EXPECT_EQ(nameBack.str(), "L2 renamed");
    EXPECT_STREQ(dBack.Material, "Rogers");
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
    ASSERT_EQ(PcbApi_QueryBoard(1, board, &window, fileName.buf, &lib, &ox, &oy, &cx, &cy, &unit,
                                &top, &bottom, &cur, &guide, &outline),
              1);
    EXPECT_EQ(outline, 0);
    char own[PCBAPI_TEXT_CAPACITY];
    Corvane_GetBoardFileName(board, own, sizeof own);
    EXPECT_EQ(fileName.str(), own);
    EXPECT_EQ(PcbApi_GetBoardHandleFromFileName(own), board);
    intptr_t made = PcbApi_CreateBoardOutline(board);
    ASSERT_NE(made, 0);
    EXPECT_EQ(PcbApi_CreateBoardOutline(board), made) << "one outline per board";
    ASSERT_EQ(PcbApi_QueryBoard(1, board, &window, fileName.buf, &lib, &ox, &oy, &cx, &cy, &unit,
                                &top, &bottom, &cur, &guide, &outline),
              1);
    EXPECT_EQ(outline, made);
    EXPECT_EQ(PcbApi_GetObjectIdFromObjectHandle(made), 26);
    Corvane_SetBoardModified(board, 0);
    ox = 777;
    ASSERT_EQ(PcbApi_QueryBoard(0, board, &window, fileName.buf, &lib, &ox, &oy, &cx, &cy, &unit,
                                &top, &bottom, &cur, &guide, &outline),
              1);
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
        EXPECT_EQ(t.c.x1, m.value);
        EXPECT_EQ(t.x2, m.value * 3);
        EXPECT_EQ(t.y2, -m.value);
        EXPECT_EQ(t.width, 1000 + m.value);
        Text_ x;
        ASSERT_EQ(Query(1, m.text, x), 1);
        EXPECT_EQ(x.c.x1, m.value);
        EXPECT_EQ(x.angle, m.value / 8.0);
        EXPECT_EQ(x.text.str(), "T" + std::to_string(m.value));
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
    for (size_t i = 0; i < names.size(); ++i)
        moved[i] = names[(i + 1) % names.size()] + "_";
    for (size_t i = 0; i < names.size(); ++i) {
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
