// Pads of one padstack share one per-layer table: a change to one pad's
// table, or the deletion of a pad, leaves every other pad's entries as they
// were.
#include "tests/engine/EngineRecords.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

struct Entry {
    int32_t shape = -1, x = -1, y = -1, pct = -1;
    bool operator==(const Entry&) const = default;
};

Entry At(intptr_t pad, int32_t layer) {
    Entry e;
    EXPECT_EQ(PcbApi_QueryPadOrViaShapeOnLayer(pad, layer, &e.shape), 1);
    EXPECT_EQ(PcbApi_QueryPadOrViaSizeOnLayer(pad, layer, &e.x, &e.y), 1);
    EXPECT_EQ(PcbApi_QueryPadCRPercentageOnLayer(pad, layer, &e.pct), 1);
    return e;
}

// A pad of the per-layer kind with `x` wide entries on layers 1..32, each
// shaped by its layer.
intptr_t PerLayerPad(int32_t x) {
    intptr_t pad = PcbApi_CreateObject(2);
    int32_t mode = 2;
    PcbApi_QueryPadStackMode(0, pad, &mode);
    for (int32_t layer = 1; layer <= 32; ++layer) {
        PcbApi_SetPadShapeOnLayer(pad, layer, layer % 4);
        PcbApi_SetPadSizeOnLayer(pad, layer, x, 1000 + layer);
    }
    return pad;
}

} // namespace

TEST(EnginePadTables, AChangeOrADeletionTouchesOnePadOnly) {
    std::vector<intptr_t> pads;
    for (int i = 0; i < 4; ++i)
        pads.push_back(PerLayerPad(5000));
    intptr_t plain = PcbApi_CreateObject(2);
    const Entry plainTop = At(plain, 1);
    std::array<Entry, 33> expected{};
    for (int32_t layer = 1; layer <= 32; ++layer)
        expected[layer] = At(pads[0], layer);
    EXPECT_EQ(expected[7], (Entry{3, 5000, 1007, expected[7].pct}));

    // One pad takes a new size on one layer, another a new corner on all.
    ASSERT_EQ(PcbApi_SetPadSizeOnLayer(pads[1], 7, 9999, 8888), 1);
    for (int32_t layer = 1; layer <= 32; ++layer)
        ASSERT_EQ(PcbApi_SetCRPctOnLayer(pads[2], layer, 10), 1);
    PcbApi_DestroyObject(pads[3]);
    for (int32_t layer = 1; layer <= 32; ++layer) {
        EXPECT_EQ(At(pads[0], layer), expected[layer]) << "layer " << layer;
        Entry changed = expected[layer];
        if (layer == 7) {
            changed.x = 9999;
            changed.y = 8888;
        }
        EXPECT_EQ(At(pads[1], layer), changed) << "layer " << layer;
        Entry rounded = expected[layer];
        rounded.pct = 10;
        EXPECT_EQ(At(pads[2], layer), rounded) << "layer " << layer;
    }
    EXPECT_EQ(At(plain, 1), plainTop);

    // Changing a pad back to its old entries makes it equal again, and a new
    // pad made after the deletions reads its own entries.
    ASSERT_EQ(PcbApi_SetPadSizeOnLayer(pads[1], 7, 5000, 1007), 1);
    intptr_t later = PerLayerPad(6000);
    for (int32_t layer = 1; layer <= 32; ++layer) {
        EXPECT_EQ(At(pads[1], layer), expected[layer]) << "layer " << layer;
        EXPECT_EQ(At(later, layer).x, 6000) << "layer " << layer;
    }
    for (intptr_t h : {pads[0], pads[1], pads[2], plain, later})
        PcbApi_DestroyObject(h);
}
