// Memory of the model's small objects, recycled by their size.
//
// A translation makes and frees its model objects by the hundred thousand,
// a design after another: freed in a burst (a list torn down), made again in
// a burst (the next design read). The general allocator keeps only a few
// freed blocks of a size at hand and merges the rest, to split them again
// for the next burst. A class that derives from TRecycled keeps its freed
// blocks, by size, in a store of this thread for its next objects; the
// store is bounded (kMostBytes), so that a large design, freed while its
// board is written, gives its memory back to the allocator for the board.
#pragma once

#include <cstddef>
#include <memory>

namespace RecycledBlocks {

// The largest object recycled, and the most bytes one thread keeps.
inline constexpr std::size_t kLargest = 512;
inline constexpr std::size_t kMostBytes = std::size_t{4} << 20;

void* Take(std::size_t size);
// Gives back a block Take made for an object of `size` bytes.
void Give(void* block, std::size_t size) noexcept;
// The bytes of the block Take makes for an object of `size` bytes (the same
// for every size of its class).
std::size_t BlockBytes(std::size_t size) noexcept;
// Bytes this thread keeps now (what Give kept and Take did not take back).
std::size_t KeptBytes() noexcept;
// Whether freed blocks are kept: yes, except in builds that check memory
// use. Switched for every thread: while off, nothing is kept and nothing
// kept is handed out; what was kept is given back when its thread ends.
bool Keeping() noexcept;
void Keep(bool keep) noexcept;

} // namespace RecycledBlocks

// Mixed into a class whose objects are made with new and freed with delete:
// its sized operator delete hands each block back by the size it was made
// with (the size of the object's own class, through a virtual destructor).
struct TRecycled {
    static void* operator new(std::size_t size) { return RecycledBlocks::Take(size); }
    static void operator delete(void* block, std::size_t size) noexcept {
        RecycledBlocks::Give(block, size);
    }
};

// A container's room from the same store while it is small (a list of a few
// entries, a short path); larger room from `TLarge`.
template <class T, class TLarge = std::allocator<T>> struct TRecycledAllocator {
    static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__,
                  "kept blocks are not aligned more");
    using value_type = T;
    template <class U> struct rebind {
        using other =
            TRecycledAllocator<U, typename std::allocator_traits<TLarge>::template rebind_alloc<U>>;
    };
    TRecycledAllocator() = default;
    template <class U, class L> TRecycledAllocator(const TRecycledAllocator<U, L>&) {}

    T* allocate(std::size_t n) {
        if (n * sizeof(T) <= RecycledBlocks::kLargest)
            return static_cast<T*>(RecycledBlocks::Take(n * sizeof(T)));
        return TLarge().allocate(n);
    }
    void deallocate(T* block, std::size_t n) noexcept {
        if (n * sizeof(T) <= RecycledBlocks::kLargest)
            RecycledBlocks::Give(block, n * sizeof(T));
        else
            TLarge().deallocate(block, n);
    }
    template <class U, class L> bool operator==(const TRecycledAllocator<U, L>&) const {
        return true;
    }
};
