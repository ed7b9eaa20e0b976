// Pads made alike keep their common fields once; a change to one record, a
// deletion or a new default record leaves every other record as it was.
// Nets stay found by name through many additions, renames and deletions.
#include "support/NewBoard.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
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
    EXPECT_EQ(std::pair(first.holeSize, first.holeRotation), std::pair(800, 45.0));

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
    EXPECT_EQ(std::tuple(fresh.holeSize, fresh.holeRotation, fresh.swapPart.str()),
              std::tuple(300000, 0.0, ""));
    EXPECT_EQ(fresh.sizes[0], 0) << "no copper until given a size";
    // So do texts and components; a text takes the longest there is.
    const intptr_t freshText = PcbApi_CreateObject(5), freshComp = PcbApi_CreateObject(9);
    Text_ text = Read<Text_>(freshText);
    EXPECT_EQ(std::tuple(text.fontName.str(), text.size, text.bold),
              std::tuple("Arial", 600000, 0));
    EXPECT_EQ(Read<Component>(freshComp).nameOn, 1);
    text.text = Text(std::string(PCBAPI_TEXT_CAPACITY - 1, 'x').c_str());
    ASSERT_EQ(Query(0, freshText, text), 1);
    EXPECT_TRUE(Read<Text_>(freshText) == text);
    PcbApi_DestroyObject(freshText);
    PcbApi_DestroyObject(freshComp);
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
        const bool gone = i % 3 == 0, isRenamed = !gone && i % 5 == 1;
        EXPECT_EQ(PcbApi_GetNetByName(board, plain.c_str()), gone || isRenamed ? 0 : nets[i])
            << plain;
        if (isRenamed) {
            EXPECT_EQ(PcbApi_GetNetByName(board, renamed.c_str()), nets[i]) << renamed;
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
