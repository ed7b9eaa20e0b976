// The true outlines the engine keeps beside pads whose shapes the per-layer
// entries cannot hold: placed with the pad's position and rotation, mirrored
// when its component turns over, shared, kept by a document, and refused
// when malformed.
#include "sdk/CorvaneEngine.h"
#include "support/NewBoard.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <vector>

using namespace enginetest;
namespace fs = std::filesystem;

namespace {

constexpr int32_t kTop = 1, kBottom = 32, kMulti = 74;

// An L of copper about the pad's centre: 2000 x 500 along x, 500 x 2000 up y.
const std::vector<int32_t> kL = {0, 0, 2000, 0, 2000, 500, 500, 500, 500, 2000, 0, 2000};

int32_t SetL(intptr_t pad, int32_t entry, double radius = 0) {
    const CorvanePadOutlinePiece piece{entry, 6, radius, kL.data()};
    return Corvane_SetPadOutline(pad, &piece, 1);
}

// The corners of the pad's first outline piece on `layer`, rounded; empty
// when it has none there.
std::vector<int64_t> Placed(intptr_t pad, int32_t layer) {
    double radius = -1, xy[64] = {};
    const int32_t n = Corvane_GetPadOutline(pad, layer, 0, &radius, xy, 32);
    std::vector<int64_t> out;
    for (int32_t k = 0; k < 2 * n; ++k)
        out.push_back(std::llround(xy[k]));
    return out;
}

intptr_t NewPad(intptr_t container, int32_t layer, int32_t x, int32_t y, double angle) {
    return AddObject<Pad>(container, 2, [&](Pad& p) {
        p.c.layer = layer, p.c.x1 = x, p.c.y1 = y, p.angle = angle;
        std::fill(std::begin(p.sizes), std::end(p.sizes), 2000);
    });
}

// Puts a component on `layer`'s side of the board.
void PutOnSide(intptr_t comp, int32_t layer) {
    Component c;
    Query(1, comp, c);
    c.c.layer = layer;
    Query(0, comp, c);
}

using PadOutlineTest = NewBoardTest;

TEST_F(PadOutlineTest, PlacedWithThePadsPositionAndRotation) {
    const intptr_t pad = NewPad(board, kTop, 100000, 50000, 90);
    ASSERT_EQ(SetL(pad, kTop), 1);
    // A quarter turn: (x, y) about the centre goes to (-y, x).
    EXPECT_EQ(Placed(pad, kTop), (std::vector<int64_t>{100000, 50000, 100000, 52000, 99500, 52000,
                                                       99500, 50500, 98000, 50500, 98000, 50000}));
    EXPECT_TRUE(Placed(pad, kBottom).empty()) << "an SMD pad on top has no copper below";
    double radius = 0;
    EXPECT_EQ(Corvane_GetPadOutline(pad, kTop, 1, &radius, nullptr, 0), -1) << "one piece only";
    // Asking for the count alone writes nothing.
    EXPECT_EQ(Corvane_GetPadOutline(pad, kTop, 0, &radius, nullptr, 0), 6);
    // No pieces: the pad's own shape again.
    ASSERT_EQ(Corvane_SetPadOutline(pad, nullptr, 0), 1);
    EXPECT_TRUE(Placed(pad, kTop).empty());
}

TEST_F(PadOutlineTest, AThroughPadsEntryFollowsItsMode) {
    const intptr_t pad = NewPad(board, kMulti, 0, 0, 0);
    // Top, middle, bottom: layers 2..31 read entry 2.
    int32_t mode = 1;
    PcbApi_QueryPadStackMode(0, pad, &mode);
    ASSERT_EQ(SetL(pad, 2), 1);
    EXPECT_TRUE(Placed(pad, kTop).empty());
    EXPECT_EQ(Placed(pad, 5).size(), 12u);
    EXPECT_TRUE(Placed(pad, kBottom).empty());
}

TEST_F(PadOutlineTest, TurnsOverWithItsComponent) {
    intptr_t comp = PcbApi_CreateObject(9);
    PcbApi_AddObjectToContainer(board, comp);
    const intptr_t pad = NewPad(comp, kTop, 10000, 0, 0);
    ASSERT_EQ(SetL(pad, kTop), 1);
    PutOnSide(comp, kBottom);
    // Mirrored about the component's x = 0: the L's arms now point to -x.
    EXPECT_EQ(Placed(pad, kBottom), (std::vector<int64_t>{-10000, 0, -12000, 0, -12000, 500, -10500,
                                                          500, -10500, 2000, -10000, 2000}));
    // Back again: as it was.
    PutOnSide(comp, kTop);
    EXPECT_EQ(Placed(pad, kTop), (std::vector<int64_t>{10000, 0, 12000, 0, 12000, 500, 10500, 500,
                                                       10500, 2000, 10000, 2000}));
}

TEST_F(PadOutlineTest, PadsGivenPiecesInTurnHoldTheirOwn) {
    // A writer that keeps one buffer of corners and changes it between pads,
    // as the pins of one padstack at different rotations do: each pad holds
    // the pieces it was given, equal to its neighbour's or not.
    std::vector<int32_t> xy = kL;
    CorvanePadOutlinePiece piece{kTop, 6, 0, xy.data()};
    const auto give = [&](int32_t x) {
        const intptr_t pad = NewPad(board, kTop, x, 0, 0);
        EXPECT_EQ(Corvane_SetPadOutline(pad, &piece, 1), 1);
        return pad;
    };
    const intptr_t first = give(0), same = give(10000);
    xy[4] = 3000; // the long arm longer
    const intptr_t longer = give(20000);
    piece.radius = 50;
    const intptr_t rounded = give(30000);
    piece.entry = kBottom;
    const intptr_t below = give(40000);
    xy = kL;
    piece = {kTop, 6, 0, xy.data()};
    const intptr_t again = give(50000);
    const auto shifted = [](int32_t dx, std::vector<int32_t> corners) {
        std::vector<int64_t> out;
        for (size_t k = 0; k < corners.size(); ++k)
            out.push_back(corners[k] + (k % 2 == 0 ? dx : 0));
        return out;
    };
    EXPECT_EQ(Placed(first, kTop), shifted(0, kL));
    EXPECT_EQ(Placed(same, kTop), shifted(10000, kL));
    std::vector<int32_t> longL = kL;
    longL[4] = 3000;
    EXPECT_EQ(Placed(longer, kTop), shifted(20000, longL));
    double radius = 0;
    ASSERT_EQ(Corvane_GetPadOutline(rounded, kTop, 0, &radius, nullptr, 0), 6);
    EXPECT_EQ(radius, 50);
    EXPECT_EQ(Corvane_GetPadOutline(same, kTop, 0, &radius, nullptr, 0), 6);
    EXPECT_EQ(radius, 0) << "the radius of a later pad is not its neighbour's";
    EXPECT_TRUE(Placed(below, kTop).empty()) << "its piece is on the bottom entry";
    EXPECT_EQ(Placed(again, kTop), shifted(50000, kL));
}

TEST_F(PadOutlineTest, MalformedOutlinesAndOtherObjectsAreRefused) {
    const intptr_t pad = NewPad(board, kTop, 0, 0, 0);
    const intptr_t net = AddNet(board, "N");
    const int32_t xy[2] = {0, 0};
    const CorvanePadOutlinePiece good{kTop, 1, 100, xy};
    EXPECT_EQ(Corvane_SetPadOutline(net, &good, 1), 0) << "a net is no pad";
    EXPECT_EQ(Corvane_SetPadOutline(pad, nullptr, 1), 0);
    for (const CorvanePadOutlinePiece& bad :
         {CorvanePadOutlinePiece{0, 1, 0, xy}, CorvanePadOutlinePiece{83, 1, 0, xy},
          CorvanePadOutlinePiece{kTop, 0, 0, xy}, CorvanePadOutlinePiece{kTop, 1, -1, xy},
          CorvanePadOutlinePiece{kTop, 1, 0, nullptr}})
        EXPECT_EQ(Corvane_SetPadOutline(pad, &bad, 1), 0) << bad.entry << " " << bad.count;
    EXPECT_TRUE(Placed(pad, kTop).empty()) << "a refused outline leaves none";
    EXPECT_EQ(Corvane_GetPadOutline(net, kTop, 0, nullptr, nullptr, 0), -1);
}

TEST(PadOutlineDocument, KeptMirroredAndSharedAcrossASave) {
    testfs::TempFolder dir;
    const fs::path doc = dir.path / "outlines.pcbdoc";
    char error[512] = {};
    intptr_t board = Corvane_NewBoard(doc.c_str(), error, sizeof error);
    ASSERT_NE(board, 0) << error;
    intptr_t comp = PcbApi_CreateObject(9);
    PcbApi_AddObjectToContainer(board, comp);
    const intptr_t a = NewPad(comp, kTop, 10000, 0, 0);
    const intptr_t b = NewPad(comp, kTop, 20000, 0, 0);
    ASSERT_EQ(SetL(a, kTop, 50), 1);
    ASSERT_EQ(SetL(b, kTop, 50), 1);
    PutOnSide(comp, kBottom);
    const std::vector<int64_t> before = Placed(b, kBottom);
    ASSERT_EQ(Corvane_SaveBoard(board, nullptr, error, sizeof error), 1) << error;
    Corvane_CloseBoard(board);

    board = Corvane_OpenBoard(doc.c_str(), error, sizeof error);
    ASSERT_NE(board, 0) << error;
    const std::vector<intptr_t> pads = Walk(board, 2, 0, 0);
    ASSERT_EQ(pads.size(), 2u);
    double radius = 0;
    EXPECT_EQ(Corvane_GetPadOutline(pads[0], kBottom, 0, &radius, nullptr, 0), 6);
    EXPECT_EQ(radius, 50);
    const std::vector<int64_t> first = Placed(pads[0], kBottom), second = Placed(pads[1], kBottom);
    EXPECT_TRUE(first == before || second == before) << "the mirrored outline comes back";
    Corvane_CloseBoard(board);
}

} // namespace
