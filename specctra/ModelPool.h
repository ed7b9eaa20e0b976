// Storage of the design model's objects.
//
// A design is read into tens of thousands of small objects that live until
// the design is written to the board and are then freed together. The pool
// hands them out from large blocks by size class: making one is a pointer
// bump or a free-list pop, freeing one a free-list push, and once the last
// object of the pool is gone its blocks go back to the system in one go.
//
// The pool belongs to the thread: model objects are made and freed on the
// thread that reads the design. Builds with AddressSanitizer use the global
// heap instead, so that a use after free is still caught.
#pragma once

#include <cstddef>
#include <cstdint>

// Blocks of memory handed out by size class (multiples of 16 bytes up to
// 1 KiB); larger sizes are not for the pool. Trivially destructible, so that
// an object freed late in the life of its thread (by a static owner, say)
// still finds its pool.
class TModelPool {
public:
    static constexpr std::size_t Granule = 16;
    static constexpr std::size_t Classes = 64;
    static constexpr std::size_t Largest = Granule * Classes;

    // Memory for `size` bytes (1 .. Largest), aligned to Granule.
    void* Allocate(std::size_t size);
    // Takes back memory from Allocate with the same size. When nothing is
    // alive any more, every block but the first goes back to the system.
    void Release(void* memory, std::size_t size) noexcept;
    // Gives every block back; only when nothing is alive.
    void Clear() noexcept;

    std::size_t Live() const noexcept { return FLive; }
    std::size_t Bytes() const noexcept { return FBytes; }

private:
    struct TFree {
        TFree* Next;
    };
    struct alignas(Granule) THeader {
        THeader* Older;
        std::size_t Length; // with the header
    };
    void NewBlock(std::size_t bytes);
    void Reset() noexcept;

    TFree* FFree[Classes] = {};
    std::byte* FNext = nullptr;
    std::byte* FEnd = nullptr;
    THeader* FNewest = nullptr; // the blocks, the newest first
    std::size_t FLive = 0;
    std::size_t FBytes = 0;
};

namespace ModelPool {

// Memory for one object of `size` bytes, aligned for any model object.
// Sizes above the largest class come from the global heap.
void* Allocate(std::size_t size);
// Gives back memory from Allocate with the same size.
void Release(void* memory, std::size_t size) noexcept;

// How many pooled objects are alive and how many bytes the pool's blocks
// hold (for the tests and the benchmarks).
std::size_t LiveObjects() noexcept;
std::size_t BlockBytes() noexcept;

} // namespace ModelPool

// An allocator over the model pool, for the containers inside model objects
// and lists (their small arrays and nodes come and go with the design).
template <class T> struct TModelPoolAllocator {
    using value_type = T;
    static_assert(alignof(T) <= TModelPool::Granule);

    TModelPoolAllocator() noexcept = default;
    template <class U> TModelPoolAllocator(const TModelPoolAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) { return static_cast<T*>(ModelPool::Allocate(n * sizeof(T))); }
    void deallocate(T* memory, std::size_t n) noexcept {
        ModelPool::Release(memory, n * sizeof(T));
    }
    template <class U> bool operator==(const TModelPoolAllocator<U>&) const noexcept {
        return true;
    }
};

// Gives a class and its subclasses the model pool as their storage: with a
// virtual destructor, delete passes the size of the most derived class.
#define DSNLINK_MODEL_POOL_STORAGE                                                                 \
    static void* operator new(std::size_t size) {                                                  \
        return ModelPool::Allocate(size);                                                          \
    }                                                                                              \
    static void operator delete(void* memory, std::size_t size) noexcept {                         \
        ModelPool::Release(memory, size);                                                          \
    }
