// The storage of model objects: blocks by size class, reuse of freed memory
// and the return of the blocks once nothing is alive.
#include "specctra/ModelPool.h"
#include "specctra/SpecctraList.h"
#include "specctra/SpecctraObject.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

struct TPiece {
    void* Memory;
    std::size_t Size;
};

// Every piece is aligned, keeps what was written into it while the others
// are written, and no two pieces overlap.
TEST(ModelPoolTest, PiecesAreAlignedAndKeepTheirContents) {
    TModelPool pool;
    std::vector<TPiece> pieces;
    for (std::size_t i = 0; i < 5000; ++i) {
        const std::size_t size = 1 + (i * 37) % TModelPool::Largest;
        void* memory = pool.Allocate(size);
        ASSERT_EQ(reinterpret_cast<std::uintptr_t>(memory) % TModelPool::Granule, 0u);
        std::memset(memory, static_cast<int>(i & 0xFF), size);
        pieces.push_back({memory, size});
    }
    EXPECT_EQ(pool.Live(), pieces.size());
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const auto* bytes = static_cast<const unsigned char*>(pieces[i].Memory);
        for (std::size_t b = 0; b < pieces[i].Size; ++b)
            ASSERT_EQ(bytes[b], i & 0xFF) << "piece " << i << " byte " << b;
    }
    for (const TPiece& piece : pieces)
        pool.Release(piece.Memory, piece.Size);
    EXPECT_EQ(pool.Live(), 0u);
    pool.Clear();
    EXPECT_EQ(pool.Bytes(), 0u);
}

// Freed memory of a size class serves the next request of that class.
TEST(ModelPoolTest, FreedMemoryIsReusedBySizeClass) {
    TModelPool pool;
    void* keep = pool.Allocate(24); // keeps the pool from starting over
    void* a = pool.Allocate(40);
    void* b = pool.Allocate(100);
    pool.Release(a, 40);
    EXPECT_EQ(pool.Allocate(48), a); // 40 and 48 share a class
    void* c = pool.Allocate(40);
    EXPECT_NE(c, a);
    EXPECT_NE(c, b);
    pool.Release(c, 40);
    pool.Release(b, 100);
    pool.Release(a, 48);
    pool.Release(keep, 24);
    pool.Clear();
}

// A large design grows the pool by several blocks; once its last object is
// gone only the first block stays for the next design.
TEST(ModelPoolTest, BlocksGoBackWhenNothingIsAlive) {
    TModelPool pool;
    std::vector<void*> pieces;
    for (int i = 0; i < 20000; ++i)
        pieces.push_back(pool.Allocate(200));
    const std::size_t grown = pool.Bytes();
    EXPECT_GE(grown, 20000u * 208u);
    for (std::size_t i = 0; i + 1 < pieces.size(); ++i)
        pool.Release(pieces[i], 200);
    EXPECT_EQ(pool.Bytes(), grown); // one piece is still alive
    pool.Clear();                   // refused while it is
    EXPECT_EQ(pool.Bytes(), grown);
    pool.Release(pieces.back(), 200);
    EXPECT_LT(pool.Bytes(), grown);
    EXPECT_GT(pool.Bytes(), 0u);
    // The pool starts over at the beginning of its first block.
    void* again = pool.Allocate(200);
    EXPECT_EQ(again, pieces.front());
    pool.Release(again, 200);
    pool.Clear();
    EXPECT_EQ(pool.Bytes(), 0u);
}

// Model objects and their lists are counted while alive (where the model
// pool is in use; builds with AddressSanitizer keep them on the heap).
TEST(ModelPoolTest, ModelObjectsAndListsAreFreedWithTheirOwner) {
    const std::size_t before = ModelPool::LiveObjects();
    {
        TSpecctraObject root(nullptr);
        std::unique_ptr<TSpecctraList> list = root.CreateList();
        for (int i = 0; i < 100; ++i) {
            auto object = std::make_unique<TSpecctraObject>(&root);
            object->NameID = "object " + std::to_string(i);
            list->Add(std::move(object));
        }
        EXPECT_EQ(list->Count(), 100);
        if (ModelPool::BlockBytes() != 0) {
            EXPECT_EQ(ModelPool::LiveObjects(), before + 101);
        }
        EXPECT_EQ(list->Find("OBJECT 7")->NameID, "object 7");
    }
    EXPECT_EQ(ModelPool::LiveObjects(), before);
}

} // namespace
