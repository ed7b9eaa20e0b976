// The model's small objects reuse their freed memory by size, within a bound,
// and give it back when their thread ends. Builds that check memory use keep
// nothing by default: each case switches keeping on for itself.
#include "specctra/RecycledBlocks.h"
#include "specctra/SpecctraList.h"
#include "specctra/SpecctraObject.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <thread>
#include <vector>

namespace {

class RecycledBlocksTest : public testing::Test {
protected:
    void SetUp() override {
        FWasKeeping = RecycledBlocks::Keeping();
        RecycledBlocks::Keep(true);
    }
    void TearDown() override { RecycledBlocks::Keep(FWasKeeping); }

private:
    bool FWasKeeping = false;
};

TEST_F(RecycledBlocksTest, AFreedBlockServesTheNextObjectOfItsSizeClass) {
    // Classes in the allocator's steps: 25 to 40 bytes, 41 to 56.
    EXPECT_EQ(RecycledBlocks::BlockBytes(25), 40u);
    EXPECT_EQ(RecycledBlocks::BlockBytes(40), 40u);
    EXPECT_EQ(RecycledBlocks::BlockBytes(41), 56u);
    const std::size_t keptBefore = RecycledBlocks::KeptBytes();
    void* block = RecycledBlocks::Take(30);
    std::memset(block, 0xAB, 40); // the whole class
    RecycledBlocks::Give(block, 30);
    EXPECT_EQ(RecycledBlocks::KeptBytes(), keptBefore + 40);
    void* again = RecycledBlocks::Take(40);
    EXPECT_EQ(again, block);
    EXPECT_EQ(RecycledBlocks::KeptBytes(), keptBefore);
    // Another class does not take it.
    RecycledBlocks::Give(again, 40);
    void* other = RecycledBlocks::Take(48);
    EXPECT_NE(other, block);
    RecycledBlocks::Give(other, 48);
    EXPECT_EQ(RecycledBlocks::Take(25), block);
    RecycledBlocks::Give(block, 25);

    // A block made while nothing was kept is made at its class's size too,
    // so that it can be kept when it comes back.
    RecycledBlocks::Keep(false);
    void* made = RecycledBlocks::Take(9);
    RecycledBlocks::Keep(true);
    RecycledBlocks::Give(made, 9);
    void* reused = RecycledBlocks::Take(24);
    EXPECT_EQ(reused, made);
    std::memset(reused, 0, 24);
    RecycledBlocks::Give(reused, 24);

    // Larger objects go to the allocator and are never kept.
    const std::size_t kept = RecycledBlocks::KeptBytes();
    void* large = RecycledBlocks::Take(RecycledBlocks::kLargest + 1);
    RecycledBlocks::Give(large, RecycledBlocks::kLargest + 1);
    EXPECT_EQ(RecycledBlocks::KeptBytes(), kept);
}

TEST_F(RecycledBlocksTest, ModelListsAndTheirRoomAreRecycled) {
    const std::size_t before = RecycledBlocks::KeptBytes();
    auto list = std::make_unique<TSpecctraList>();
    const void* where = list.get();
    list.reset(); // kept by its class's size, not freed
    EXPECT_EQ(RecycledBlocks::KeptBytes(),
              before + RecycledBlocks::BlockBytes(sizeof(TSpecctraList)));
    auto next = std::make_unique<TSpecctraList>(true);
    EXPECT_EQ(static_cast<const void*>(next.get()), where);
    EXPECT_EQ(RecycledBlocks::KeptBytes(), before);
    EXPECT_TRUE(next->Sorted());

    // The room of a short vertex path comes back for the next path of that
    // length; a long one is the allocator's.
    using TPath = std::vector<double, TRecycledAllocator<double>>;
    auto first = std::make_unique<TPath>(TPath{1.0, 2.0, 3.0, 4.0});
    const double* room = first->data();
    const std::size_t held = RecycledBlocks::KeptBytes();
    first.reset();
    EXPECT_EQ(RecycledBlocks::KeptBytes(), held + RecycledBlocks::BlockBytes(4 * sizeof(double)));
    TPath path{5.0, 6.0, 7.0, 8.0};
    EXPECT_EQ(path.data(), room);
    EXPECT_EQ(RecycledBlocks::KeptBytes(), held);
    EXPECT_EQ(path[3], 8.0);
    {
        TPath outline(RecycledBlocks::kLargest, 0.5);
        EXPECT_EQ(outline.back(), 0.5);
    }
    EXPECT_EQ(RecycledBlocks::KeptBytes(), held);
}

TEST_F(RecycledBlocksTest, AThreadKeepsAtMostItsBoundAndGivesItAllBackAtItsEnd) {
    constexpr std::size_t kSize = RecycledBlocks::kLargest;
    const std::size_t keepable = RecycledBlocks::kMostBytes / RecycledBlocks::BlockBytes(kSize);
    std::size_t keptAtMost = 0;
    bool keptTheFirst = false;
    std::thread worker([&] {
        // Twice the bound in blocks of the largest class, freed in a burst as
        // a large design's model is while its board is written.
        std::vector<void*> blocks;
        for (std::size_t i = 0; i < 2 * keepable; ++i)
            blocks.push_back(RecycledBlocks::Take(kSize));
        const std::set<void*> first(blocks.begin(), blocks.begin() + keepable);
        for (void* block : blocks) {
            RecycledBlocks::Give(block, kSize);
            keptAtMost = std::max(keptAtMost, RecycledBlocks::KeptBytes());
        }
        // The blocks kept are the first given; the rest went back to the
        // allocator.
        std::set<void*> taken;
        for (std::size_t i = 0; i < keepable; ++i)
            taken.insert(RecycledBlocks::Take(kSize));
        keptTheFirst = taken == first;
        EXPECT_EQ(RecycledBlocks::KeptBytes(), 0u);
        for (void* block : taken)
            RecycledBlocks::Give(block, kSize);
        // What is kept now is given back when the thread ends: a build that
        // checks for leaks reports any block left.
    });
    worker.join();
    EXPECT_EQ(keptAtMost, keepable * RecycledBlocks::BlockBytes(kSize));
    EXPECT_LE(keptAtMost, RecycledBlocks::kMostBytes);
    EXPECT_TRUE(keptTheFirst);
}

} // namespace
