// Pads, texts and components made alike keep their common fields once; a
// change to one record, a deletion or a new default record leaves every
// other record as it was. Nets stay found by name through many additions,
// renames and deletions.
#include "support/NewBoard.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace enginetest;

namespace {

using SharedFields = NewBoardTest;

template <class R> R Read(intptr_t h) {
    R r;
    EXPECT_EQ(Query(1, h, r), 1);
    return r;
}

} // namespace

TEST_F(SharedFields, PadsOfOnePadstackChangeOneAtATime) {
    auto same = [](Pad& p) {
        p.sizes[0] = p.sizes[1] = 1500;
        p.holeSize = 800, p.shapes[0] = 2;
        p.drillType = 1, p.holeWidth = 900, p.holeRotation = 45.0;
        p.swapPart = Text("GATE-A");
    };
    std::vector<intptr_t> pads;
    for (int i = 0; i < 3; ++i)
        pads.push_back(AddObject<Pad>(board, 2, same));
    const Pad first = Read<Pad>(pads[0]);
    EXPECT_EQ(first.holeSize, 800);
    EXPECT_EQ(first.holeRotation, 45.0);

    Pad changed = first;
    changed.holeRotation = 90.0;
    changed.offX = 77, changed.tpTop = 1, changed.jumper = 3;
    changed.swapPart = Text("GATE-B"), changed.angle = 30.0;
    ASSERT_EQ(Query(0, pads[1], changed), 1);
    int32_t mode = 2;
    ASSERT_EQ(PcbApi_QueryPadStackMode(0, pads[2], &mode), 1);

    EXPECT_TRUE(Read<Pad>(pads[0]) == first);
    EXPECT_TRUE(Read<Pad>(pads[1]) == changed);
    EXPECT_TRUE(Read<Pad>(pads[2]) == first) << "the stack mode is no field of the record";
    mode = -1;
    ASSERT_EQ(PcbApi_QueryPadStackMode(1, pads[0], &mode), 1);
    EXPECT_EQ(mode, 0);
    ASSERT_EQ(PcbApi_QueryPadStackMode(1, pads[2], &mode), 1);
    EXPECT_EQ(mode, 2);

    // Deleting the changed pads leaves the others, and a new pad starts from
    // the defaults, not from what the last pad held.
    PcbApi_DestroyObject(pads[1]);
    PcbApi_DestroyObject(pads[2]);
    EXPECT_TRUE(Read<Pad>(pads[0]) == first);
    const intptr_t freshPad = PcbApi_CreateObject(2);
    const Pad fresh = Read<Pad>(freshPad);
    PcbApi_DestroyObject(freshPad);
    EXPECT_EQ(fresh.holeSize, 300000);
    EXPECT_EQ(fresh.sizes[0], 0) << "no copper until given a size";
    EXPECT_EQ(fresh.holeRotation, 0.0);
    EXPECT_STREQ(fresh.swapPart.buf, "");
}

TEST_F(SharedFields, TextsAndComponentsChangeOneAtATime) {
    auto style = [](Text_& t) {
        t.size = 1200, t.lineWidth = 150, t.bold = 1;
        t.fontName = Text("Courier"), t.bar[2] = 5000;
    };
    intptr_t a = AddObject<Text_>(board, 5, style);
    intptr_t b = AddObject<Text_>(board, 5, style);
    const Text_ before = Read<Text_>(a);
    EXPECT_STREQ(before.fontName.buf, "Courier");
    Text_ other = before;
    other.italic = 1, other.bar[7] = 1, other.size = 900;
    other.text = Text("R17");
    ASSERT_EQ(Query(0, b, other), 1);
    EXPECT_TRUE(Read<Text_>(a) == before);
    EXPECT_TRUE(Read<Text_>(b) == other);
    const intptr_t freshText = PcbApi_CreateObject(5);
    const Text_ fresh = Read<Text_>(freshText);
    PcbApi_DestroyObject(freshText);
    EXPECT_STREQ(fresh.fontName.buf, "Arial");
    EXPECT_EQ(fresh.size, 600000);
    EXPECT_EQ(fresh.bold, 0);

    auto footprint = [](Component& c) {
        c.pattern = Text("DIP14"), c.height = 3000, c.texts[3] = Text("parts.lib");
    };
    intptr_t c1 = AddObject<Component>(board, 9, footprint);
    intptr_t c2 = AddObject<Component>(board, 9, footprint);
    const Component first = Read<Component>(c1);
    EXPECT_STREQ(first.pattern.buf, "DIP14");
    EXPECT_EQ(first.nameOn, 1);
    Component second = first;
    second.nameText = Read<Component>(c2).nameText;
    second.commentText = Read<Component>(c2).commentText, second.pattern = Text("SO14");
    second.nameOn = 0, second.unionIndex = 4;
    second.texts[0] = Text("U2");
    ASSERT_EQ(Query(0, c2, second), 1);
    EXPECT_TRUE(Read<Component>(c1) == first);
    EXPECT_TRUE(Read<Component>(c2) == second);
}

// Pads, texts and components of one footprint share their angle while they
// turn together; each keeps its own through turns of its component, a turn
// of its own and a document saved and opened again.
TEST_F(SharedFields, AnglesStayWithTheirRecordThroughTurnsAndADocument) {
    auto place = [&](int32_t x, double angle, int32_t layer) {
        const intptr_t comp =
            AddObject<Component>(board, 9, [](Component& c) { c.pattern = Text("SOT23"); });
        for (int i = 0; i < 2; ++i) {
            const intptr_t pad = AddObject<Pad>(0, 2, [&](Pad& p) {
                p.c.x1 = 1000 * (i + 1);
                p.name = Text(i == 0 ? "1" : "2");
            });
            EXPECT_EQ(PcbApi_AddObjectToContainer(comp, pad), 0);
        }
        Component c = Read<Component>(comp);
        c.c.x1 = x, c.c.layer = layer, c.angle = angle;
        EXPECT_EQ(Query(0, comp, c), 1);
        return comp;
    };
    const intptr_t turned = place(0, 90.0, 1), odd = place(50000, 33.3, 1),
                   flipped = place(90000, 90.0, 32), same = place(130000, 90.0, 1);
    auto angles = [&](intptr_t comp) {
        // The component's, its texts' and its pads'.
        std::vector<double> out{Read<Component>(comp).angle};
        for (intptr_t h : Walk(board, 5, comp, 0))
            out.push_back(Read<Text_>(h).angle);
        for (intptr_t h : Walk(board, 2, comp, 0))
            out.push_back(Read<Pad>(h).angle);
        return out;
    };
    EXPECT_EQ(angles(turned), (std::vector<double>{90.0, 90.0, 90.0, 90.0, 90.0}));
    EXPECT_EQ(angles(same), angles(turned));
    EXPECT_EQ(angles(odd), (std::vector<double>{33.3, 33.3, 33.3, 33.3, 33.3}));
    // Turned onto the bottom side: mirrored about the component, then turned.
    EXPECT_EQ(angles(flipped), (std::vector<double>{90.0, 270.0, 270.0, 270.0, 270.0}));

    // One pad and one text turn on their own; their neighbours stay.
    const std::vector<intptr_t> inTurned = Walk(board, 0, turned, 0);
    ASSERT_EQ(inTurned.size(), 4u);
    Pad pad = Read<Pad>(inTurned[2]);
    pad.angle = 10.0;
    ASSERT_EQ(Query(0, inTurned[2], pad), 1);
    Text_ text = Read<Text_>(inTurned[0]);
    text.angle = 45.0;
    ASSERT_EQ(Query(0, inTurned[0], text), 1);
    EXPECT_EQ(angles(turned), (std::vector<double>{90.0, 45.0, 90.0, 10.0, 90.0}));
    EXPECT_EQ(angles(same), (std::vector<double>{90.0, 90.0, 90.0, 90.0, 90.0}));
    // Turning the component turns each by the same step from where it is.
    Component c = Read<Component>(turned);
    c.angle = 180.0;
    ASSERT_EQ(Query(0, turned, c), 1);
    EXPECT_EQ(angles(turned), (std::vector<double>{180.0, 135.0, 180.0, 100.0, 180.0}));
    EXPECT_EQ(angles(same), (std::vector<double>{90.0, 90.0, 90.0, 90.0, 90.0}));

    testfs::TempFolder dir;
    const std::string doc = (dir.path / "angles.pcbdoc").string();
    char error[256] = {};
    ASSERT_EQ(Corvane_SaveBoard(board, doc.c_str(), error, sizeof error), 1) << error;
    const std::vector<std::vector<double>> before = {angles(turned), angles(odd), angles(flipped),
                                                     angles(same)};
    Corvane_CloseBoard(board);
    board = Corvane_OpenBoard(doc.c_str(), error, sizeof error);
    ASSERT_NE(board, 0) << error;
    std::vector<std::vector<double>> after;
    for (intptr_t comp : Walk(board, 9, 0, 0))
        after.push_back(angles(comp));
    EXPECT_EQ(after, before);
}

TEST_F(SharedFields, NetsAreFoundByNameThroughAdditionsRenamesAndDeletions) {
    constexpr int kNets = 5000;
    std::vector<intptr_t> nets;
    for (int i = 0; i < kNets; ++i)
        nets.push_back(AddNet(board, ("N" + std::to_string(i)).c_str()));
    for (int i = 0; i < kNets; i += 3)
        PcbApi_DestroyObject(nets[i]);
    for (int i = 1; i < kNets; i += 5) {
        if (i % 3 == 0)
            continue;
        Net n = Read<Net>(nets[i]);
        n.name = Text(("R" + std::to_string(i)).c_str());
        ASSERT_EQ(Query(0, nets[i], n), 1);
    }
    for (int i = 0; i < kNets; ++i) {
        const std::string plain = "N" + std::to_string(i), renamed = "R" + std::to_string(i);
        if (i % 3 == 0) {
            EXPECT_EQ(PcbApi_GetNetByName(board, plain.c_str()), 0) << plain;
        } else if (i % 5 == 1) {
            EXPECT_EQ(PcbApi_GetNetByName(board, plain.c_str()), 0) << plain;
            EXPECT_EQ(PcbApi_GetNetByName(board, renamed.c_str()), nets[i]) << renamed;
        } else {
            EXPECT_EQ(PcbApi_GetNetByName(board, plain.c_str()), nets[i]) << plain;
        }
    }
    // The names of deleted nets are free again; live names stay taken.
    for (int i = 0; i < kNets; i += 3) {
        const std::string name = "N" + std::to_string(i);
        const intptr_t again = AddNet(board, name.c_str());
        EXPECT_EQ(PcbApi_GetNetByName(board, name.c_str()), again) << name;
    }
    intptr_t dup = PcbApi_CreateObject(8);
    Net n = Read<Net>(dup);
    n.name = Text("N2");
    ASSERT_EQ(Query(0, dup, n), 1);
    EXPECT_EQ(PcbApi_AddObjectToContainer(board, dup), 1) << "a second net named N2";
    EXPECT_EQ(PcbApi_GetNetByName(board, "N2"), nets[2]);
    PcbApi_DestroyObject(dup);
}
