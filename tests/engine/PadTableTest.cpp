// Pads of one padstack share one per-layer table: a change to one pad's
// table, or the deletion of a pad, leaves every other pad's entries as they
// were.
#include "support/EngineRecords.h"

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

constexpr int32_t kFirst = 1, kCount = 82;

// The entries of `count` layers from `first`, written or read in one call.
struct Layers {
    std::array<int32_t, kCount> shapes{}, xs{}, ys{}, radii{}, pcts{};
    int32_t Set(intptr_t pad, int32_t first = kFirst, int32_t count = kCount) {
        return PcbApi_SetPadLayers(pad, first, count, shapes.data(), xs.data(), ys.data(),
                                   pcts.data());
    }
    int32_t Get(intptr_t object, int32_t first = kFirst, int32_t count = kCount) {
        return PcbApi_QueryPadLayers(object, first, count, shapes.data(), xs.data(), ys.data(),
                                     radii.data(), pcts.data());
    }
};

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
        SCOPED_TRACE("layer " + std::to_string(layer));
        Entry changed = expected[layer], rounded = expected[layer];
        if (layer == 7)
            changed.x = 9999, changed.y = 8888;
        rounded.pct = 10;
        EXPECT_EQ(At(pads[0], layer), expected[layer]);
        EXPECT_EQ(At(pads[1], layer), changed);
        EXPECT_EQ(At(pads[2], layer), rounded);
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

TEST(EnginePadTables, AllLayersInOneCallMatchLayerByLayer) {
    // Two pads take the same entries, one layer by layer and one in one call;
    // a refused value (shape 12 on layer 5, a negative size on layer 40) is
    // left out by both while the rest of that layer is taken.
    const intptr_t byLayer = PcbApi_CreateObject(2);
    const intptr_t atOnce = PcbApi_CreateObject(2);
    Layers set;
    for (int32_t i = 0; i < kCount; ++i) {
        const int32_t layer = kFirst + i;
        set.shapes[i] = layer == 5 ? 12 : layer % 5;
        set.xs[i] = layer == 40 ? -1 : 1000 * layer;
        set.ys[i] = 500 + layer;
        set.pcts[i] = layer % 3 == 0 ? 50 : layer;
        PcbApi_SetPadShapeOnLayer(byLayer, layer, set.shapes[i]);
        PcbApi_SetPadSizeOnLayer(byLayer, layer, set.xs[i], set.ys[i]);
        PcbApi_SetCRPctOnLayer(byLayer, layer, set.pcts[i]);
    }
    EXPECT_EQ(set.Set(atOnce), 0);
    for (int32_t layer = 1; layer <= 82; ++layer)
        EXPECT_EQ(At(atOnce, layer), At(byLayer, layer)) << "layer " << layer;
    EXPECT_EQ(At(atOnce, 7), (Entry{2, 7000, 507, 7}));
    const intptr_t fresh = PcbApi_CreateObject(2);
    EXPECT_EQ(At(atOnce, 5).shape, At(fresh, 5).shape);
    EXPECT_EQ(At(atOnce, 40).y, At(fresh, 40).y);
    PcbApi_DestroyObject(fresh);

    // Every value good: all taken, and one call answers 1.
    set.shapes[4] = 3, set.xs[39] = 2;
    EXPECT_EQ(set.Set(atOnce), 1);
    EXPECT_EQ(At(atOnce, 5), (Entry{3, 5000, 505, 5}));
    EXPECT_EQ(At(atOnce, 40), (Entry{0, 2, 540, 40}));
    // A range past the last layer, or a handle that is no pad, is refused whole.
    EXPECT_EQ(set.Set(atOnce, 2), 0);
    EXPECT_EQ(At(atOnce, 2), (Entry{2, 2000, 502, 2}));
    EXPECT_EQ(set.Set(0, kFirst, 1), 0);
    PcbApi_DestroyObject(byLayer);
    PcbApi_DestroyObject(atOnce);
}

TEST(EnginePadTables, ANewPadHasNoCopperUntilALayerIsGivenASize) {
    // A pad made layer by layer: what it was not given stays without copper.
    intptr_t perLayer = PcbApi_CreateObject(2);
    int32_t mode = 2;
    ASSERT_EQ(PcbApi_QueryPadStackMode(0, perLayer, &mode), 1);
    ASSERT_EQ(PcbApi_SetPadSizeOnLayer(perLayer, 1, 600000, 600000), 1);
    ASSERT_EQ(PcbApi_SetPadSizeOnLayer(perLayer, 2, 600000, 600000), 1);
    for (int32_t layer = 3; layer <= 32; ++layer) {
        const Entry e = At(perLayer, layer);
        EXPECT_EQ(std::pair(e.x, e.y), std::pair(0, 0)) << "layer " << layer;
    }
    EXPECT_EQ(At(perLayer, 2).x, 600000);

    // A pad given its top, inner and bottom sizes has them on its layers,
    // whatever the sizes are.
    intptr_t stacked = PcbApi_CreateObject(2);
    enginetest::Pad record;
    ASSERT_EQ(enginetest::Query(1, stacked, record), 1);
    EXPECT_EQ(record.sizes[0], 0);
    EXPECT_EQ(record.sizes[5], 0);
    for (int32_t& size : record.sizes)
        size = 600000;
    record.sizes[2] = record.sizes[3] = 400000;
    ASSERT_EQ(enginetest::Query(0, stacked, record), 1);
    EXPECT_EQ(At(stacked, 1).x, 600000);
    EXPECT_EQ(At(stacked, 15).x, 400000);
    EXPECT_EQ(At(stacked, 32).y, 600000);
    for (intptr_t h : {perLayer, stacked})
        PcbApi_DestroyObject(h);
}

TEST(EnginePadTables, AllLayersAtOnceAnswerAsEachLayerDoes) {
    const intptr_t pad = PerLayerPad(4000);
    for (int32_t layer = 1; layer <= 32; ++layer)
        ASSERT_EQ(PcbApi_SetCRPctOnLayer(pad, layer, layer * 3), 1);
    const intptr_t via = PcbApi_CreateObject(3);
    const intptr_t track = PcbApi_CreateObject(4);
    for (intptr_t object : {pad, via}) {
        Layers all;
        ASSERT_EQ(all.Get(object), 1);
        for (int32_t i = 0; i < kCount; ++i) {
            const int32_t layer = kFirst + i;
            EXPECT_EQ((Entry{all.shapes[i], all.xs[i], all.ys[i], all.pcts[i]}), At(object, layer))
                << "layer " << layer;
            int32_t radius = -1;
            EXPECT_EQ(PcbApi_QueryPadCornerRadiusOnLayer(object, layer, &radius), 1);
            EXPECT_EQ(all.radii[i], radius) << "layer " << layer;
        }
    }
    // A range within the table: the same entries from its first layer on.
    Layers part;
    ASSERT_EQ(part.Get(pad, 10, 5), 1);
    for (int32_t i = 0; i < 5; ++i)
        EXPECT_EQ((Entry{part.shapes[i], part.xs[i], part.ys[i], part.pcts[i]}), At(pad, 10 + i))
            << "layer " << 10 + i;
    // A range past the last layer, or an object that is neither pad nor via,
    // fills nothing.
    Layers none;
    none.shapes.fill(-7);
    EXPECT_EQ(none.Get(pad, 2), 0);
    EXPECT_EQ(none.Get(pad, 0, 1), 0);
    EXPECT_EQ(none.Get(track, kFirst, 1), 0);
    EXPECT_EQ(none.shapes[0], -7);
    for (intptr_t h : {pad, via, track})
        PcbApi_DestroyObject(h);
}
