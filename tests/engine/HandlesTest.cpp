// Iteration by kind, layer, net and component, and the refusal of stale,
// zero and foreign handles.
#include "engine/Connectivity.h"
#include "engine/Model.h"
#include "sdk/ObjectKinds.h"
#include "support/NewBoard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <tuple>
#include <unordered_map>

using namespace enginetest;

namespace {

using Handles = std::vector<intptr_t>;

intptr_t MakeTrack(intptr_t container, int32_t layer, intptr_t net, int32_t x) {
    const intptr_t h =
        AddObject<Track>(0, 4, [&](Track& t) { t.c.layer = layer, t.c.net = net, t.c.x1 = x; });
    EXPECT_EQ(PcbApi_AddObjectToContainer(container, h), 0);
    return h;
}

// The net a track names, and SetNet gives it another (0 for none).
intptr_t NetOf(intptr_t track) {
    Track t;
    EXPECT_EQ(Query(1, track, t), 1);
    return t.c.net;
}
void SetNet(intptr_t track, intptr_t net) {
    Track t;
    ASSERT_EQ(Query(1, track, t), 1);
    t.c.net = net;
    ASSERT_EQ(Query(0, track, t), 1);
}

// The board of each test and another one.
struct EngineIteration : NewBoardTest {
    void SetUp() override {
        NewBoardTest::SetUp();
        ASSERT_NE(other = NewBoard("other"), 0);
    }
    void TearDown() override {
        Corvane_CloseBoard(other);
        NewBoardTest::TearDown();
    }
    CorvaneBoard other = 0;
};

} // namespace

TEST_F(EngineIteration, WalksHonourKindLayerNetAndComponent) {
    intptr_t a = AddNet(board, "A"), b = AddNet(board, "B");
    intptr_t t1 = MakeTrack(board, 1, a, 1);
    intptr_t t2 = MakeTrack(board, 32, b, 2);
    intptr_t t3 = MakeTrack(board, 1, b, 3);
    intptr_t via = AddObject<Via>(board, 3, [&](Via& v) { v.c.net = b; });
    intptr_t comp = PcbApi_CreateObject(9);
    intptr_t pad = AddObject<Pad>(comp, 2, [&](Pad& p) { p.c.net = a; });
    intptr_t inner = PcbApi_CreateObject(4);
    ASSERT_EQ(PcbApi_AddObjectToContainer(comp, inner), 0);
    EXPECT_TRUE(Walk(board, 2, 0, 0).empty()) << "component not on the board yet";
    ASSERT_EQ(PcbApi_AddObjectToContainer(board, comp), 0);

    EXPECT_EQ(Walk(board, 4, 0, 0), (Handles{t1, t2, t3, inner}));
    EXPECT_EQ(Walk(board, 4, 0, 1), (Handles{t1, t3, inner}));
    EXPECT_EQ(Walk(board, 4, 0, 32), (Handles{t2}));
    EXPECT_EQ(Walk(board, 4, b, 0), (Handles{t2, t3}));
    EXPECT_EQ(Walk(board, 0, b, 0), (Handles{t2, t3, via}));
    EXPECT_EQ(Walk(board, 3, b, 0), (Handles{via}));
    EXPECT_EQ(Walk(board, 4, b, 32), (Handles{t2}));
    EXPECT_EQ(Walk(board, 2, a, 0), (Handles{pad}));
    Handles children = Walk(board, 0, comp, 0);
    ASSERT_EQ(children.size(), 4u) << "designator, comment, pad and track";
    EXPECT_EQ(PcbApi_GetObjectIdFromObjectHandle(children[0]), 5);
    EXPECT_EQ(Walk(board, 4, comp, 0), (Handles{inner}));
    EXPECT_EQ(Walk(board, 8, 0, 0), (Handles{a, b}));
    EXPECT_TRUE(Walk(other, 4, 0, 0).empty());
    EXPECT_TRUE(Walk(other, 4, a, 0).empty()) << "a net of another board filters nothing";

    // Moving a track to another net and layer moves it between the walks.
    Track t;
    Query(1, t1, t);
    t.c.net = b, t.c.layer = 32;
    ASSERT_EQ(Query(0, t1, t), 1);
    EXPECT_EQ(Walk(board, 4, b, 0), (Handles{t2, t3, t1}));
    EXPECT_EQ(Walk(board, 4, a, 0), Handles{});
    EXPECT_EQ(Walk(board, 4, 0, 32), (Handles{t2, t1}));

    // The engine counts each kind as its walk finds it, and every kind for 0.
    auto countsAsWalks = [&](CorvaneBoard b) {
        size_t all = 0;
        for (int32_t kind = 1; kind < PCBAPI_OBJECT_KIND_COUNT; ++kind) {
            const size_t walked = Walk(b, kind, 0, 0).size();
            EXPECT_EQ(Corvane_BoardObjectCount(b, kind), static_cast<int64_t>(walked)) << kind;
            all += walked;
        }
        EXPECT_EQ(Corvane_BoardObjectCount(b, 0), static_cast<int64_t>(all));
    };
    countsAsWalks(board);
    countsAsWalks(other);
    EXPECT_EQ(Corvane_BoardObjectCount(board, 4), 4);

    // Deleting a component takes its primitives with it.
    ASSERT_EQ(PcbApi_DeleteObjectFromContainer(board, comp), 0);
    EXPECT_EQ(PcbApi_GetObjectIdFromObjectHandle(pad), 0);
    EXPECT_EQ(Walk(board, 4, 0, 0), (Handles{t1, t2, t3})) << "board order";
    countsAsWalks(board);
    EXPECT_EQ(Corvane_BoardObjectCount(board, 4), 3);
    for (int32_t kind : {-1, 9999})
        EXPECT_EQ(Corvane_BoardObjectCount(board, kind), -1) << kind;
    EXPECT_EQ(Corvane_BoardObjectCount(0, 4), -1);
    EXPECT_EQ(Corvane_BoardObjectCount(t1, 4), -1) << "a track is no board";
}

TEST_F(EngineIteration, ANetListsItsTracksInOneCallAsItsWalkAndRecordsGiveThem) {
    const intptr_t net = AddNet(board, "N"), other_net = AddNet(board, "M");
    const intptr_t t1 = MakeTrack(board, 1, net, 10);
    MakeTrack(board, 1, other_net, 20);
    const intptr_t t2 = MakeTrack(board, 32, net, 30);
    AddObject<Via>(board, 3, [&](Via& v) { v.c.net = net; });
    const intptr_t comp = PcbApi_CreateObject(9);
    const intptr_t inner = MakeTrack(comp, 2, net, 40);
    ASSERT_EQ(PcbApi_AddObjectToContainer(board, comp), 0);
    const intptr_t t3 = MakeTrack(board, 1, net, 50);
    Track changed;
    ASSERT_EQ(Query(1, t3, changed), 1);
    changed.x2 = 7, changed.y2 = -8, changed.width = 900, changed.c.moveable = 0;
    ASSERT_EQ(Query(0, t3, changed), 1);
    const Handles walked = Walk(board, 4, net, 0);
    ASSERT_EQ(walked.size(), 4u) << "t1, t2, t3 and the component's track";
    EXPECT_NE(std::find(walked.begin(), walked.end(), inner), walked.end());

    std::vector<PcbApiTrackRow> rows(8);
    int32_t count = -1;
    ASSERT_EQ(PcbApi_QueryNetTracks(net, rows.data(), 8, &count), 1);
    ASSERT_EQ(count, 4);
    for (int32_t i = 0; i < count; ++i) {
        const PcbApiTrackRow& row = rows[static_cast<size_t>(i)];
        EXPECT_EQ(row.Handle, walked[static_cast<size_t>(i)]) << "in the walk's order";
        Track record;
        ASSERT_EQ(Query(1, row.Handle, record), 1);
        EXPECT_EQ(std::tuple(row.x1, row.y1, row.x2, row.y2, row.Width, row.Layer, row.Moveable),
                  std::tuple(record.c.x1, record.c.y1, record.x2, record.y2, record.width,
                             record.c.layer, record.c.moveable))
            << "row " << i;
    }
    EXPECT_EQ(std::tuple(rows[3].Handle, rows[3].Width, rows[3].Moveable), std::tuple(t3, 900, 0));
    EXPECT_EQ((Handles{rows[0].Handle, rows[1].Handle}), (Handles{t1, t2}));

    // Too little room: the first rows and the whole count.
    PcbApiTrackRow first{};
    ASSERT_EQ(PcbApi_QueryNetTracks(net, &first, 1, &count), 1);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(first.Handle, t1);
    ASSERT_EQ(PcbApi_QueryNetTracks(net, nullptr, 0, &count), 1);
    EXPECT_EQ(count, 4);

    // No net, a track for a net, a deleted net, bad room: nothing.
    EXPECT_EQ(PcbApi_QueryNetTracks(0, rows.data(), 8, &count), 0);
    EXPECT_EQ(PcbApi_QueryNetTracks(t1, rows.data(), 8, &count), 0);
    EXPECT_EQ(PcbApi_QueryNetTracks(net, nullptr, 8, &count), 0);
    EXPECT_EQ(PcbApi_QueryNetTracks(net, rows.data(), -1, &count), 0);
    EXPECT_EQ(PcbApi_QueryNetTracks(net, rows.data(), 8, nullptr), 0);
    ASSERT_EQ(PcbApi_DeleteObjectFromContainer(board, other_net), 0);
    EXPECT_EQ(PcbApi_QueryNetTracks(other_net, rows.data(), 8, &count), 0);
}

TEST_F(EngineIteration, TracksMadeInOneCallAreTheTracksMadeOneByOne) {
    // The same tracks on two boards: in one call on this board, one by one on
    // the other. Refused rows: a layer past the last, a negative width, a net
    // that was deleted.
    const intptr_t net = AddNet(board, "N"), gone = AddNet(board, "G");
    const intptr_t otherNet = AddNet(other, "N"), otherGone = AddNet(other, "G");
    ASSERT_EQ(PcbApi_DeleteObjectFromContainer(board, gone), 0);
    ASSERT_EQ(PcbApi_DeleteObjectFromContainer(other, otherGone), 0);
    const auto rowsFor = [](intptr_t n, intptr_t g) {
        return std::vector<PcbApiNewTrack>{
            {0, 0, 100, 0, 250, 1, n, 1, 0},          {100, 0, 100, -50, 250, 1, n, 1, 0},
            {5, 5, 6, 6, 100, 99, 0, 0, 0},           {7, 7, 8, 8, -1, 32, n, 0, 0},
            {-20, 40, 60, 40, 0, 56, 0, 0, 2},        {9, 9, 10, 10, 300, 1, g, 1, 0},
            {1000, 1000, 2000, 900, 120, 32, n, 0, 0}};
    };
    const std::vector<PcbApiNewTrack> rows = rowsFor(net, gone);
    const int64_t liveBefore = Corvane_LiveObjectCount();
    std::vector<intptr_t> handles(rows.size(), -1);
    ASSERT_EQ(
        PcbApi_AddTracks(board, rows.data(), static_cast<int32_t>(rows.size()), handles.data()), 1);
    EXPECT_EQ(Corvane_LiveObjectCount() - liveBefore, 4) << "the refused tracks are gone";

    const std::vector<PcbApiNewTrack> otherRows = rowsFor(otherNet, otherGone);
    for (size_t i = 0; i < otherRows.size(); ++i) {
        PcbApiNewTrack r = otherRows[i];
        Track t;
        const intptr_t h = PcbApi_CreateObject(4);
        ASSERT_EQ(Query(1, h, t), 1);
        t.c.bitField = r.BitField, t.c.layer = r.Layer, t.c.net = r.Net, t.c.moveable = r.Moveable,
        t.c.x1 = r.x1, t.c.y1 = r.y1, t.x2 = r.x2, t.y2 = r.y2, t.width = r.Width;
        const bool made = Query(0, h, t) == 1 && PcbApi_AddObjectToContainer(other, h) == 0;
        if (!made)
            PcbApi_DestroyObject(h);
        EXPECT_EQ(made, handles[i] != 0) << "row " << i;
    }
    const Handles made = Walk(board, 4, 0, 0), madeAlone = Walk(other, 4, 0, 0);
    ASSERT_EQ(made.size(), 4u);
    ASSERT_EQ(madeAlone.size(), made.size());
    EXPECT_EQ(made, (Handles{handles[0], handles[1], handles[4], handles[6]})) << "in row order";
    for (size_t i = 0; i < made.size(); ++i) {
        Track batch, alone;
        ASSERT_EQ(Query(1, made[i], batch), 1);
        ASSERT_EQ(Query(1, madeAlone[i], alone), 1);
        EXPECT_EQ(batch.c.net == net, alone.c.net == otherNet) << "track " << i;
        batch.c.net = alone.c.net = 0;
        EXPECT_EQ(batch, alone) << "track " << i;
    }
    EXPECT_EQ(Walk(board, 4, net, 0), (Handles{handles[0], handles[1], handles[6]}));

    // Into a component; then bad arguments make nothing.
    const intptr_t comp = PcbApi_CreateObject(9);
    intptr_t inner = 0;
    ASSERT_EQ(PcbApi_AddTracks(comp, rows.data(), 1, &inner), 1);
    ASSERT_EQ(PcbApi_AddObjectToContainer(board, comp), 0);
    Track t;
    ASSERT_EQ(Query(1, inner, t), 1);
    EXPECT_EQ(t.c.component, comp);
    intptr_t none = -1;
    EXPECT_EQ(PcbApi_AddTracks(board, rows.data(), 1, &none), 1);
    EXPECT_EQ(PcbApi_AddTracks(board, nullptr, 1, &none), 0);
    EXPECT_EQ(PcbApi_AddTracks(board, rows.data(), 1, nullptr), 0);
    EXPECT_EQ(PcbApi_AddTracks(board, rows.data(), -1, &none), 0);
    EXPECT_EQ(PcbApi_AddTracks(net, rows.data(), 1, &none), 1);
    EXPECT_EQ(none, 0) << "a net holds no tracks";
}

// A pad's per-layer entries from layer 1 to 82: shapes, sizes, corners.
std::vector<int32_t> PadLayers(intptr_t pad) {
    constexpr int32_t n = 82;
    std::vector<int32_t> all(5 * n);
    EXPECT_EQ(
        PcbApi_QueryPadLayers(pad, 1, n, &all[0], &all[n], &all[2 * n], &all[3 * n], &all[4 * n]),
        1);
    return all;
}

TEST_F(EngineIteration, APadCopiedFromAModelIsThePadWrittenAlone) {
    // A model with a full stack, its own entries on two inner layers, texts,
    // bit fields and a true outline; its copy against a pad made and written
    // with the same record on the other board.
    Pad record;
    const intptr_t model = PcbApi_CreateObject(2);
    ASSERT_EQ(Query(1, model, record), 1);
    record.c.layer = 74, record.c.bitField = 5, record.c.index = 3, record.c.moveable = 0;
    record.sizes[0] = 1500, record.sizes[3] = 900, record.shapes[1] = 2, record.holeSize = 400;
    record.name = "A1", record.swapPad = "S", record.ownerPart = 2, record.holeRotation = 15;
    ASSERT_EQ(Query(0, model, record), 1);
    int32_t mode = 2;
    ASSERT_EQ(PcbApi_QueryPadStackMode(0, model, &mode), 1);
    const int32_t shapes[2] = {3, 1}, xs[2] = {700, 800}, ys[2] = {710, 810}, pcts[2] = {20, 30};
    ASSERT_EQ(PcbApi_SetPadLayers(model, 5, 2, shapes, xs, ys, pcts), 1);
    ASSERT_EQ(PcbApi_SetObjectBitField2(model, 9), 1);
    ASSERT_EQ(PcbApi_SetObjectBitField3(model, 300), 1);
    const int32_t square[8] = {0, 0, 100, 0, 100, 100, 0, 100};
    const CorvanePadOutlinePiece piece{1, 4, 0.0, square};
    ASSERT_EQ(Corvane_SetPadOutline(model, &piece, 1), 1);

    const intptr_t net = AddNet(board, "N"), otherNet = AddNet(other, "N");
    const intptr_t comp = PcbApi_CreateObject(9), otherComp = PcbApi_CreateObject(9);
    const PcbApiPadPlace place{"B22", net, 45.0, 1200, -3400, 2};
    const intptr_t copy = PcbApi_CopyPad(model, comp, &place);
    ASSERT_NE(copy, 0);

    Pad alone = record;
    alone.name = "B22", alone.c.net = otherNet, alone.angle = 45, alone.c.x1 = 1200;
    alone.c.y1 = -3400, alone.daisy = 2;
    const intptr_t made = PcbApi_CreateObject(2);
    ASSERT_EQ(PcbApi_QueryPadStackMode(0, made, &mode), 1);
    ASSERT_EQ(Query(0, made, alone), 1);
    ASSERT_EQ(PcbApi_SetPadLayers(made, 5, 2, shapes, xs, ys, pcts), 1);
    ASSERT_EQ(PcbApi_SetObjectBitField2(made, 9), 1);
    ASSERT_EQ(PcbApi_SetObjectBitField3(made, 300), 1);
    ASSERT_EQ(PcbApi_AddObjectToContainer(otherComp, made), 0);
    ASSERT_EQ(PcbApi_AddObjectToContainer(board, comp), 0);
    ASSERT_EQ(PcbApi_AddObjectToContainer(other, otherComp), 0);

    Pad copied, written;
    ASSERT_EQ(Query(1, copy, copied), 1);
    ASSERT_EQ(Query(1, made, written), 1);
    EXPECT_EQ(std::tuple(copied.c.net, copied.c.component), std::tuple(net, comp));
    EXPECT_EQ(std::tuple(written.c.net, written.c.component), std::tuple(otherNet, otherComp));
    copied.c.net = written.c.net = copied.c.component = written.c.component = 0;
    EXPECT_EQ(copied, written);
    EXPECT_EQ(copied.name.str(), "B22");
    EXPECT_EQ(PadLayers(copy), PadLayers(made));
    int32_t copiedMode = -1;
    ASSERT_EQ(PcbApi_QueryPadStackMode(1, copy, &copiedMode), 1);
    EXPECT_EQ(copiedMode, 2);
    uint8_t two = 0;
    uint16_t three = 0;
    ASSERT_EQ(PcbApi_GetObjectBitField2(copy, &two), 1);
    ASSERT_EQ(PcbApi_GetObjectBitField3(copy, &three), 1);
    EXPECT_EQ(std::tuple(two, three), std::tuple(uint8_t{9}, uint16_t{300}));
    double radius = 0, xy[8] = {};
    EXPECT_EQ(Corvane_GetPadOutline(model, 1, 0, &radius, xy, 4), 4);
    EXPECT_EQ(Corvane_GetPadOutline(copy, 1, 0, &radius, xy, 4), -1) << "no true outline";
    EXPECT_EQ(Walk(board, 2, net, 0), Handles{copy});

    // Refused: a stale net, a model that is no pad, a container that holds
    // no pads. Nothing is left behind.
    const int64_t live = Corvane_LiveObjectCount();
    const intptr_t gone = AddNet(board, "G");
    ASSERT_EQ(PcbApi_DeleteObjectFromContainer(board, gone), 0);
    PcbApiPadPlace bad = place;
    bad.Net = gone;
    EXPECT_EQ(PcbApi_CopyPad(model, comp, &bad), 0);
    EXPECT_EQ(PcbApi_CopyPad(net, comp, &place), 0);
    EXPECT_EQ(PcbApi_CopyPad(model, net, &place), 0);
    EXPECT_EQ(PcbApi_CopyPad(model, comp, nullptr), 0);
    EXPECT_EQ(Corvane_LiveObjectCount(), live);
    PcbApi_DestroyObject(model);
}

TEST_F(EngineIteration, DeletingDuringAWalkSkipsTheDeleted) {
    Handles tracks;
    for (int i = 0; i < 10; ++i)
        tracks.push_back(MakeTrack(board, 1, 0, i));
    intptr_t it = PcbApi_CreateIterator(board, 4, 0, 0);
    Handles seen;
    for (intptr_t h = PcbApi_GetFirstObject(it); h; h = PcbApi_GetNextObject(it)) {
        seen.push_back(h);
        // Delete this one and, every third, the one after next.
        size_t at =
            static_cast<size_t>(std::find(tracks.begin(), tracks.end(), h) - tracks.begin());
        PcbApi_DeleteObjectFromContainer(board, h);
        if (at % 3 == 0 && at + 2 < tracks.size())
            PcbApi_DeleteObjectFromContainer(board, tracks[at + 2]);
    }
    PcbApi_DestroyIterator(it);
    EXPECT_EQ(seen, (Handles{tracks[0], tracks[1], tracks[3], tracks[4], tracks[6], tracks[7],
                             tracks[9]}));
    EXPECT_TRUE(Walk(board, 4, 0, 0).empty());
}

TEST_F(EngineIteration, StaleZeroAndForeignHandlesAreRefused) {
    intptr_t track = MakeTrack(board, 1, 0, 5);
    intptr_t net = AddNet(board, "N");
    intptr_t it = PcbApi_CreateIterator(board, 4, 0, 0);
    Track t;
    Net n;
    for (intptr_t bad : {intptr_t{0}, intptr_t{-1}, intptr_t{1}, intptr_t{0x12345678},
                         static_cast<intptr_t>(board), it, net}) {
        EXPECT_EQ(Query(1, bad, t), 0) << std::hex << bad;
        EXPECT_EQ(PcbApi_AddObjectToContainer(board, bad), 1) << std::hex << bad;
    }
    EXPECT_EQ(Query(1, track, n), 0) << "a track is no net";
    EXPECT_EQ(PcbApi_CreateIterator(track, 4, 0, 0), 0) << "an object is no board";
    EXPECT_EQ(PcbApi_CreateIterator(board, 27, 0, 0), 0);
    EXPECT_EQ(PcbApi_CreateIterator(board, 4, 0, 83), 0);
    EXPECT_EQ(PcbApi_GetFirstObject(track), 0) << "an object is no iterator";
    EXPECT_EQ(PcbApi_AddObjectToContainer(other, track), 1) << "already on another board";
    EXPECT_EQ(PcbApi_DeleteObjectFromContainer(other, track), 1) << "not on that board";
    EXPECT_EQ(PcbApi_AddObjectToContainer(track, PcbApi_CreateObject(4)), 1);

    PcbApi_DestroyIterator(it);
    EXPECT_EQ(PcbApi_GetFirstObject(it), 0) << "destroyed iterator";
    PcbApi_DestroyIterator(it); // twice: nothing happens

    ASSERT_EQ(PcbApi_DeleteObjectFromContainer(board, track), 0);
    EXPECT_EQ(Query(1, track, t), 0) << "deleted object";
    EXPECT_EQ(PcbApi_GetObjectIdFromObjectHandle(track), 0);
    EXPECT_EQ(PcbApi_DeleteObjectFromContainer(board, track), 1);
    PcbApi_DestroyObject(track); // stale: nothing happens
    // A new object may reuse the storage, never the handle.
    intptr_t again = PcbApi_CreateObject(4);
    EXPECT_NE(again, track);
    EXPECT_EQ(Query(1, track, t), 0);
    EXPECT_EQ(Query(1, again, t), 1);
    PcbApi_DestroyObject(again);

    CorvaneBoard closing = NewBoard("closing");
    intptr_t onClosing = MakeTrack(closing, 1, 0, 1);
    Corvane_CloseBoard(closing);
    EXPECT_EQ(Query(1, onClosing, t), 0) << "object of a closed board";
    EXPECT_EQ(PcbApi_CreateIterator(closing, 4, 0, 0), 0) << "closed board";
    EXPECT_EQ(Corvane_IsBoardModified(closing), 0);
    EXPECT_EQ(Corvane_GetBoardFileName(closing, nullptr, 0), -1);
}

TEST_F(EngineIteration, EveryChangeMarksTheBoardModified) {
    intptr_t track = MakeTrack(board, 1, 0, 5);
    Track t;
    Query(1, track, t);
    Corvane_SetBoardModified(board, 0);
    Query(1, track, t);
    EXPECT_EQ(Corvane_IsBoardModified(board), 0) << "a read changes nothing";
    t.width = 1;
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"a write", [&] { Query(0, track, t); }},
        {"a bit field", [&] { PcbApi_SetObjectBitField3(track, 0x10); }},
        {"the layer stack", [&] { PcbApi_InsertLayerInStack(board, 2, 1); }},
        {"a deletion", [&] { PcbApi_DeleteObjectFromContainer(board, track); }}};
    for (const auto& [what, change] : changes) {
        Corvane_SetBoardModified(board, 0);
        change();
        EXPECT_EQ(Corvane_IsBoardModified(board), 1) << what;
    }
    uint16_t bits = 0;
    EXPECT_EQ(PcbApi_GetObjectBitField3(track, &bits), 0);
}

// The bit fields and index are kept apart from the object records, for the
// few objects that set them: each object answers its own, and a slot freed
// and taken again (by a destroyed object or a closed board) starts clear.
TEST_F(EngineIteration, BitFieldsAndIndexStayWithTheirObject) {
    const auto setAll = [](intptr_t h, uint16_t bits, uint16_t index, uint8_t two, uint16_t three) {
        Track t;
        ASSERT_EQ(Query(1, h, t), 1);
        t.c.bitField = bits;
        t.c.index = index;
        ASSERT_EQ(Query(0, h, t), 1);
        ASSERT_EQ(PcbApi_SetObjectBitField2(h, two), 1);
        ASSERT_EQ(PcbApi_SetObjectBitField3(h, three), 1);
    };
    const auto expectAll = [](intptr_t h, uint16_t bits, uint16_t index, uint8_t two,
                              uint16_t three) {
        Track t;
        ASSERT_EQ(Query(1, h, t), 1);
        uint8_t bits2 = 0xAA;
        uint16_t bits3 = 0xAAAA;
        ASSERT_EQ(PcbApi_GetObjectBitField2(h, &bits2), 1);
        ASSERT_EQ(PcbApi_GetObjectBitField3(h, &bits3), 1);
        EXPECT_EQ(std::tuple(t.c.bitField, t.c.index, int{bits2}, bits3),
                  std::tuple(bits, index, int{two}, three));
    };
    const intptr_t marked = MakeTrack(board, 1, 0, 1);
    const intptr_t plain = MakeTrack(board, 1, 0, 2);
    setAll(marked, 0x8001, 7, 0x81, 0x4002);
    expectAll(marked, 0x8001, 7, 0x81, 0x4002);
    expectAll(plain, 0, 0, 0, 0);

    setAll(marked, 0, 0, 0, 0);
    expectAll(marked, 0, 0, 0, 0);
    setAll(marked, 0, 0, 0x01, 0);
    expectAll(marked, 0, 0, 0x01, 0);

    // The freed slot goes to the next object made.
    PcbApi_DestroyObject(marked);
    const intptr_t again = PcbApi_CreateObject(4);
    ASSERT_NE(again, 0);
    expectAll(again, 0, 0, 0, 0);
    PcbApi_DestroyObject(again);

    const CorvaneBoard closing = NewBoard("closing");
    ASSERT_NE(closing, 0);
    for (int i = 0; i < 3; ++i)
        setAll(MakeTrack(closing, 1, 0, i), 0x10, 3, 0x20, 0x30);
    Corvane_CloseBoard(closing);
    for (int i = 0; i < 3; ++i)
        expectAll(MakeTrack(board, 1, 0, 10 + i), 0, 0, 0, 0);
    expectAll(plain, 0, 0, 0, 0);
}

TEST_F(EngineIteration, CurrentBoardAndProgressHooks) {
    Corvane_SetCurrentBoard(board);
    EXPECT_EQ(PcbApi_GetCurrentBoardHandle(), board);
    Corvane_SetCurrentBoard(12345);
    EXPECT_EQ(PcbApi_GetCurrentBoardHandle(), 0);

    struct Log {
        std::vector<std::string> events;
    } log;
    PcbApi_Percent_Init("nobody listens", 3); // no hooks: nothing happens
    Corvane_SetProgressHooks(
        [](void* c, const char* caption, int32_t steps) {
            static_cast<Log*>(c)->events.push_back(std::string(caption) + "/" +
                                                   std::to_string(steps));
        },
        [](void* c) { static_cast<Log*>(c)->events.push_back("step"); },
        [](void* c) { static_cast<Log*>(c)->events.push_back("done"); }, &log);
    PcbApi_Percent_Init("Reading", 2);
    PcbApi_Percent_Update();
    PcbApi_Percent_Update();
    PcbApi_Percent_Finish();
    Corvane_SetProgressHooks(nullptr, nullptr, nullptr, nullptr);
    PcbApi_Percent_Update();
    EXPECT_EQ(log.events, (std::vector<std::string>{"Reading/2", "step", "step", "done"}));
}

TEST_F(EngineIteration, AFreeObjectForgetsANetDeletedBeforeItIsAdded) {
    intptr_t net = AddNet(board, "GONE");
    intptr_t track = PcbApi_CreateObject(4);
    SetNet(track, net);
    ASSERT_EQ(PcbApi_DeleteObjectFromContainer(board, net), 0);
    // The deleted net's storage goes to the next object made.
    intptr_t reuse = MakeTrack(board, 1, 0, 7);
    EXPECT_EQ(NetOf(track), 0) << "the track still names a deleted net";
    ASSERT_EQ(PcbApi_AddObjectToContainer(board, track), 0);
    EXPECT_EQ(NetOf(track), 0);
    EXPECT_TRUE(Walk(board, 0, reuse, 0).empty()) << "a track is no net";
    EXPECT_EQ(Walk(board, 4, 0, 1), (Handles{reuse, track}));
}

TEST_F(EngineIteration, AFreeObjectKeepsItsNetUntilTheNetGoesOrItsSlotHoldsAnotherNet) {
    intptr_t a = AddNet(board, "A");
    intptr_t kept = PcbApi_CreateObject(4), foreign = PcbApi_CreateObject(4);
    for (intptr_t h : {kept, foreign}) {
        SetNet(h, a);
        EXPECT_EQ(NetOf(h), a) << "a free object names the net it was given";
    }
    // On the net's board the object walks with the net; on another it has none.
    ASSERT_EQ(PcbApi_AddObjectToContainer(board, kept), 0);
    ASSERT_EQ(PcbApi_AddObjectToContainer(other, foreign), 0);
    EXPECT_EQ(Walk(board, 0, a, 0), (Handles{kept}));
    EXPECT_EQ(NetOf(foreign), 0) << "a net of another board";
    EXPECT_EQ(NetOf(kept), a);
    EXPECT_EQ(Walk(board, 4, 0, 0), (Handles{kept}));

    // A net deleted while a free object names it, its slot taken by a new net.
    intptr_t loose = PcbApi_CreateObject(4);
    SetNet(loose, a);
    ASSERT_EQ(PcbApi_DeleteObjectFromContainer(board, a), 0);
    intptr_t b = AddNet(board, "B");
    ASSERT_NE(b, a);
    EXPECT_EQ(NetOf(kept), 0) << "the deleted net's members keep no net";
    EXPECT_EQ(NetOf(loose), 0) << "the slot holds another net now";
    ASSERT_EQ(PcbApi_AddObjectToContainer(board, loose), 0);
    EXPECT_TRUE(Walk(board, 0, b, 0).empty());
    EXPECT_EQ(Walk(board, 4, 0, 0), (Handles{kept, loose}));
}

TEST_F(EngineIteration, AnIteratorOfAClosedBoardWalksNothing) {
    CorvaneBoard closing = NewBoard("closing");
    MakeTrack(closing, 1, 0, 1);
    intptr_t unwalked = PcbApi_CreateIterator(closing, 4, 0, 0);
    intptr_t halfWalked = PcbApi_CreateIterator(closing, 4, 0, 0);
    ASSERT_NE(PcbApi_GetFirstObject(halfWalked), 0);
    Corvane_CloseBoard(closing);
    // The next board may take the closed board's storage.
    CorvaneBoard next = NewBoard("next");
    MakeTrack(next, 1, 0, 2);
    MakeTrack(next, 1, 0, 3);
    EXPECT_EQ(PcbApi_GetFirstObject(unwalked), 0);
    EXPECT_EQ(PcbApi_GetNextObject(halfWalked), 0);
    EXPECT_EQ(PcbApi_GetFirstObject(halfWalked), 0);
    PcbApi_DestroyIterator(unwalked);
    PcbApi_DestroyIterator(halfWalked);
    Corvane_CloseBoard(next);
}

// List neighbours that lie tens of thousands of slots apart (objects made
// between them, or slots freed and taken again) walk, leave and join their
// lists as near ones do, and a closed board leaves nothing of them behind
// for the objects that take the slots next.
TEST_F(EngineIteration, ListsKeepTheirOrderWhenNeighboursLieFarApartInTheStore) {
    constexpr int kSpacers = 70000; // more slots than a near link spans, twice over
    auto spacers = [] {
        Handles made(kSpacers);
        std::generate(made.begin(), made.end(), [] { return PcbApi_CreateObject(4); });
        return made;
    };
    auto destroy = [](Handles& made) {
        for (intptr_t h : made)
            PcbApi_DestroyObject(h);
        made.clear();
    };
    intptr_t net = AddNet(board, "FAR");
    intptr_t comp = PcbApi_CreateObject(9);
    ASSERT_EQ(PcbApi_AddObjectToContainer(board, comp), 0);
    Handles gap1 = spacers();
    intptr_t a = MakeTrack(comp, 1, net, 1);
    Handles gap2 = spacers();
    intptr_t b = MakeTrack(comp, 1, net, 2);
    intptr_t c = MakeTrack(board, 1, 0, 3);
    Handles gap3 = spacers();
    intptr_t d = MakeTrack(comp, 32, net, 4);
    const Handles texts = Walk(board, 5, comp, 0);
    ASSERT_EQ(texts.size(), 2u);
    Handles all = {a, b, c, d};
    EXPECT_EQ(Walk(board, 4, 0, 0), all);
    EXPECT_EQ(Walk(board, 4, 0, 1), (Handles{a, b, c}));
    EXPECT_EQ(Walk(board, 0, comp, 0), (Handles{texts[0], texts[1], a, b, d}));
    EXPECT_EQ(Walk(board, 0, net, 0), (Handles{a, b, d}));
    // The ones between far neighbours go, then the ends.
    ASSERT_EQ(PcbApi_DeleteObjectFromContainer(board, b), 0);
    EXPECT_EQ(Walk(board, 4, 0, 0), (Handles{a, c, d}));
    EXPECT_EQ(Walk(board, 0, comp, 0), (Handles{texts[0], texts[1], a, d}));
    // Freed slots far back in the store take new objects, which join at the
    // ends of the lists.
    destroy(gap1);
    intptr_t e = MakeTrack(comp, 1, net, 5);
    EXPECT_EQ(Walk(board, 4, 0, 0), (Handles{a, c, d, e}));
    EXPECT_EQ(Walk(board, 4, 0, 1), (Handles{a, c, e}));
    EXPECT_EQ(Walk(board, 0, comp, 0), (Handles{texts[0], texts[1], a, d, e}));
    EXPECT_EQ(Walk(board, 0, net, 0), (Handles{a, d, e}));
    // A move to another layer relinks the object far from its old neighbours.
    Track t;
    ASSERT_EQ(Query(1, a, t), 1);
    t.c.layer = 32;
    ASSERT_EQ(Query(0, a, t), 1);
    EXPECT_EQ(Walk(board, 4, 0, 32), (Handles{d, a}));
    EXPECT_EQ(Walk(board, 4, 0, 1), (Handles{c, e}));
    ASSERT_EQ(PcbApi_DeleteObjectFromContainer(board, d), 0);
    ASSERT_EQ(PcbApi_DeleteObjectFromContainer(board, c), 0);
    EXPECT_EQ(Walk(board, 4, 0, 0), (Handles{a, e}));
    EXPECT_EQ(Walk(board, 0, comp, 0), (Handles{texts[0], texts[1], a, e}));
    // Closing the board frees its objects wherever they lie; the slots they
    // leave make a new board's lists from scratch.
    Corvane_CloseBoard(board);
    destroy(gap2);
    destroy(gap3);
    board = NewBoard("walk");
    ASSERT_NE(board, 0);
    Handles again;
    for (int i = 0; i < 5; ++i)
        again.push_back(MakeTrack(board, 1 + (i % 2) * 31, 0, i));
    EXPECT_EQ(Walk(board, 4, 0, 0), again);
    EXPECT_EQ(Walk(board, 4, 0, 32), (Handles{again[1], again[3]}));
    EXPECT_TRUE(Walk(board, 5, 0, 0).empty());
}

// The table that holds the far links and the shared values' numbers by hash,
// against a node table: keys crowded into few home cells, several values to
// a key, removals in the middle of runs that wrap round the table's end.
TEST(EngineStore, TheFlatTableAnswersAsANodeTableThroughAddsAndRemovals) {
    corvane::FlatCells cells;
    std::unordered_multimap<uint64_t, uint32_t> expected;
    std::mt19937_64 random(7);
    for (int step = 0; step < 200000; ++step) {
        // Few keys, so that runs grow long and meet; a third of the steps
        // remove a value.
        const uint64_t key = random() % 3000 * 0x10001;
        const auto value = static_cast<uint32_t>(random() % 4);
        const auto range = expected.equal_range(key);
        auto there = std::find_if(range.first, range.second,
                                  [&](const auto& entry) { return entry.second == value; });
        const auto same = [&](uint32_t kept) { return kept == value; };
        if (random() % 3 == 0) {
            ASSERT_EQ(cells.Erase(key, same), there != range.second) << step;
            if (there != range.second)
                expected.erase(there);
        } else if (there == range.second) {
            cells.Add(key, value);
            expected.emplace(key, value);
        }
        ASSERT_EQ(cells.size(), expected.size()) << step;
        ASSERT_EQ(cells.Find(key, same) != corvane::kNone,
                  std::any_of(expected.equal_range(key).first, expected.equal_range(key).second,
                              [&](const auto& entry) { return entry.second == value; }))
            << step;
    }
    for (const auto& [key, value] : expected)
        ASSERT_EQ(cells.Find(key, [&](uint32_t kept) { return kept == value; }), value);
    // Set keeps one value to a key.
    cells.Set(1, 5);
    cells.Set(1, 6);
    EXPECT_EQ(cells.Find(1), 6u);
    EXPECT_TRUE(cells.Erase(1));
    EXPECT_EQ(cells.Find(1), corvane::kNone);
    // Emptied, its memory goes back; it fills again from nothing.
    for (const auto& [key, value] : expected)
        ASSERT_TRUE(cells.Erase(key, [&](uint32_t kept) { return kept == value; }));
    EXPECT_EQ(cells.size(), 0u);
    cells.ReleaseIfEmpty();
    EXPECT_EQ(cells.Find(5), corvane::kNone);
    cells.Add(5, 7);
    EXPECT_EQ(cells.Find(5), 7u);
}

// Objects that join, change and leave nets over and over (on the board and
// off it, deleted and made again) each name the net they were given last,
// and each net walks exactly the objects that name it, in the order they
// joined.
TEST_F(EngineIteration, NetMembershipHoldsThroughJoinsMovesAndDeletions) {
    const Handles nets = {AddNet(board, "N0"), AddNet(board, "N1"), AddNet(board, "N2")};
    Handles tracks;
    std::vector<int> netOf(60, -1); // index into nets, -1 for none
    const auto netHandle = [&](int n) { return n < 0 ? 0 : nets[static_cast<size_t>(n)]; };
    for (int i = 0; i < 60; ++i)
        tracks.push_back(MakeTrack(board, 1, 0, i));
    std::vector<Handles> expected(nets.size());
    auto join = [&](size_t i, int n) {
        if (netOf[i] >= 0) {
            auto& from = expected[static_cast<size_t>(netOf[i])];
            from.erase(std::find(from.begin(), from.end(), tracks[i]));
        }
        SetNet(tracks[i], netHandle(n));
        netOf[i] = n;
        if (n >= 0)
            expected[static_cast<size_t>(n)].push_back(tracks[i]);
    };
    for (int round = 0; round < 4; ++round)
        for (size_t i = 0; i < tracks.size(); ++i)
            join(i, static_cast<int>((i * 7 + static_cast<size_t>(round) * 5) % 4) - 1);
    // Some go; new ones take their slots and start in no net.
    for (size_t i = 0; i < tracks.size(); i += 3) {
        join(i, -1);
        ASSERT_EQ(PcbApi_DeleteObjectFromContainer(board, tracks[i]), 0);
        tracks[i] = MakeTrack(board, 1, 0, 1000 + static_cast<int>(i));
    }
    for (size_t i = 0; i < tracks.size(); i += 3)
        join(i, static_cast<int>(i % 3));
    for (size_t n = 0; n < nets.size(); ++n)
        EXPECT_EQ(Walk(board, 0, nets[n], 0), expected[n]) << "net " << n;
    for (size_t i = 0; i < tracks.size(); ++i)
        EXPECT_EQ(NetOf(tracks[i]), netHandle(netOf[i])) << i;
    // A net that goes leaves its members in no net; the others keep theirs.
    ASSERT_EQ(PcbApi_DeleteObjectFromContainer(board, nets[1]), 0);
    for (size_t i = 0; i < tracks.size(); ++i)
        EXPECT_EQ(NetOf(tracks[i]), netHandle(netOf[i] == 1 ? -1 : netOf[i])) << i;
    EXPECT_EQ(Walk(board, 0, nets[0], 0), expected[0]);
    EXPECT_EQ(Walk(board, 0, nets[2], 0), expected[2]);
    // Closing the board drops every membership at once; what the next board
    // makes starts in no net.
    Corvane_CloseBoard(board);
    board = NewBoard("walk");
    ASSERT_NE(board, 0);
    const intptr_t fresh = AddNet(board, "N0");
    for (int i = 0; i < 60; ++i)
        EXPECT_EQ(NetOf(MakeTrack(board, 1, 0, i)), 0) << i;
    EXPECT_TRUE(Walk(board, 0, fresh, 0).empty());
}

// The close of the last board gives the store's memory back when no object is
// left and the board was large (an editor that closes one should not keep
// it); a small board's memory stays for the next. The closed board's handles
// must stay stale when the next board takes the freed slots anew, and what
// is made then must read back as written.
TEST(EngineStore, TheLastLargeBoardClosedGivesItsMemoryBackAndItsHandlesStayStale) {
    if (Corvane_LiveObjectCount() != 0)
        GTEST_SKIP() << "an earlier test left " << Corvane_LiveObjectCount() << " objects";
    const auto fill = [](CorvaneBoard b, int count, int32_t base) {
        const intptr_t net = AddNet(b, "N");
        Handles made;
        made.reserve(static_cast<size_t>(count) + 1);
        for (int i = 0; i < count; ++i) {
            const intptr_t track = PcbApi_CreateObject(4);
            if (i % 97 == 0) { // some records written, the rest as made
                Track t;
                EXPECT_EQ(Query(1, track, t), 1);
                t.c.x1 = base + i;
                EXPECT_EQ(Query(0, track, t), 1);
            }
            EXPECT_EQ(PcbApi_AddObjectToContainer(b, track), 0);
            made.push_back(track);
        }
        const intptr_t pad = AddObject<Pad>(0, 2, [&](Pad& p) {
            p.c.x1 = base;
            p.c.net = net;
        });
        EXPECT_EQ(PcbApi_AddObjectToContainer(b, pad), 0);
        made.push_back(pad);
        return made;
    };
    char error[256] = {};
    const CorvaneBoard small = Corvane_NewBoard("kept-small", error, sizeof error);
    ASSERT_NE(small, 0) << error;
    fill(small, 100, 0);
    Corvane_CloseBoard(small);
    ASSERT_EQ(Corvane_LiveObjectCount(), 0);
    EXPECT_GT(corvane::Store::Get().ObjectSlotCount(), 100u) << "a small board's memory went";

    constexpr int kLarge = (1 << 20) + 4096; // past the store's limit
    const CorvaneBoard first = Corvane_NewBoard("released-first", error, sizeof error);
    ASSERT_NE(first, 0) << error;
    const Handles old = fill(first, kLarge, 1000);
    Corvane_CloseBoard(first);
    ASSERT_EQ(Corvane_LiveObjectCount(), 0);
    EXPECT_EQ(corvane::Store::Get().ObjectSlotCount(), 0u) << "a large board's memory is kept";

    const CorvaneBoard second = Corvane_NewBoard("released-second", error, sizeof error);
    ASSERT_NE(second, 0) << error;
    Handles made;
    for (int i = 0; i < 9000; ++i) {
        made.push_back(AddObject<Track>(0, 4, [&](Track& t) {
            t.c.layer = 1 + i % 2 * 31;
            t.c.x1 = 5000000 + i;
        }));
        ASSERT_EQ(PcbApi_AddObjectToContainer(second, made.back()), 0);
    }
    Track t;
    for (const intptr_t h : old)
        ASSERT_EQ(Query(1, h, t), 0) << "a handle of the closed board answers";
    for (int i = 0; i < 9000; ++i) {
        ASSERT_EQ(Query(1, made[static_cast<std::size_t>(i)], t), 1);
        ASSERT_EQ(t.c.x1, 5000000 + i);
        ASSERT_EQ(t.c.layer, 1 + i % 2 * 31);
    }
    EXPECT_EQ(Walk(second, 4, 0, 0).size(), 9000u);
    Corvane_CloseBoard(second);
}

// The check finds the copper near a piece through a grid of cells: every
// piece whose extent meets the box asked about must be found, once, whether
// it lies in one cell, spans many, or is too large for the grid. Copper
// spread over a board of 4 m keeps its cells in a table that grows several
// times as it is made; the same copper on a board of 40 cm has every cell
// of its rectangle, and asks about boxes reaching past that rectangle.
TEST_F(EngineIteration, TheCopperGridFindsEveryPieceNearABoxOnce) {
    for (const int32_t spread : {20000000, 2000000}) {
        SCOPED_TRACE(spread);
        struct TClosedAfter {
            CorvaneBoard board;
            ~TClosedAfter() { Corvane_CloseBoard(board); }
        } const made{NewBoard("grid")};
        const CorvaneBoard on = made.board;
        ASSERT_NE(on, 0);
        std::mt19937 random(11);
        const auto coordinate = [&](int32_t range) {
            return static_cast<int32_t>(random() % static_cast<uint32_t>(2 * range)) - range;
        };
        for (int i = 0; i < 30000; ++i) {
            const int32_t x = coordinate(spread), y = coordinate(spread);
            // Mostly short tracks; some across many cells; a few across the board.
            const int32_t reach = i % 500 == 0 ? 2 * spread : i % 20 == 0 ? 800000 : 20000;
            AddObject<Track>(on, 4, [&](Track& t) {
                t.c.layer = 1 + (i % 2) * 31, t.c.x1 = x, t.c.y1 = y;
                t.x2 = x + coordinate(reach), t.y2 = y + coordinate(reach);
                t.width = 1000 + i % 7 * 500;
            });
        }
        corvane::Copper copper(corvane::Store::Get().BoardSlot(on), false);
        ASSERT_EQ(copper.pieces.size(), 30000u);
        EXPECT_EQ(copper.DenseGrid(), spread < 20000000);
        // Boxes anywhere, the boxes of pieces, and each corner of the
        // copper's extent, where the first and last cells of the grid are.
        std::vector<corvane::Box> boxes;
        for (size_t j = 0; j < copper.pieces.size(); j += 30)
            boxes.push_back(copper.pieces[j].box);
        for (int q = 0; q < 300; ++q) {
            const double x = coordinate(spread * 11 / 10), y = coordinate(spread * 11 / 10);
            const double w = q % 10 == 0 ? spread / 4 : random() % 200000;
            boxes.push_back({x, y, x + w, y + random() % 200000});
        }
        corvane::Box extent = copper.pieces[0].box;
        for (const corvane::Piece& p : copper.pieces)
            extent = {std::min(extent.lx, p.box.lx), std::min(extent.ly, p.box.ly),
                      std::max(extent.hx, p.box.hx), std::max(extent.hy, p.box.hy)};
        for (const double x : {extent.lx, extent.hx})
            for (const double y : {extent.ly, extent.hy})
                boxes.push_back({x - 100000, y - 100000, x + 100000, y + 100000});
        for (size_t q = 0; q < boxes.size(); ++q) {
            const corvane::Box& box = boxes[q];
            std::vector<uint32_t> found;
            copper.NearBox(box, [&](uint32_t j) { found.push_back(j); });
            std::vector<uint32_t> expected;
            for (uint32_t j = 0; j < copper.pieces.size(); ++j)
                if (copper.pieces[j].box.Meets(box, 0))
                    expected.push_back(j);
            std::sort(found.begin(), found.end());
            ASSERT_EQ(found, expected) << "query " << q;
        }
    }
}
