// Blocks aligned to the system's huge pages (2 MiB), in whole pages: for the
// large tables and record stores that a board of millions of objects probes
// at random, where a miss of the address translation cache would add to each
// miss of the data cache. The one definition the engine and the plug-in share.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

#include <sys/mman.h>

namespace HostSdk {

constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;

// `bytes` rounded up to whole huge pages.
constexpr std::size_t WholeHugePages(std::size_t bytes) {
    return (bytes + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
}

// A block of `bytes`, a multiple of kHugePageBytes, aligned to a huge page;
// freed with std::free. With `advise`, the system is asked to back it by
// huge pages (advice only: ignored where not supported). Throws
// std::bad_alloc when there is no memory.
inline void* AllocateHugePageBlock(std::size_t bytes, bool advise = true) {
    void* block = std::aligned_alloc(kHugePageBytes, bytes);
    if (!block)
        throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    if (advise)
        ::madvise(block, bytes, MADV_HUGEPAGE);
#endif
    return block;
}

// Room for a table that a large board probes at random: blocks of several
// megabytes come from AllocateHugePageBlock, smaller ones from the ordinary
// heap (a few huge pages would save little and could leave most of their
// memory unused).
constexpr std::size_t kLargeTable = 2 * kHugePageBytes;

inline void* AllocateTable(std::size_t bytes) {
    if (bytes < kLargeTable)
        return ::operator new(bytes);
    return AllocateHugePageBlock(WholeHugePages(bytes));
}

inline void FreeTable(void* block, std::size_t bytes) {
    if (bytes < kLargeTable)
        ::operator delete(block);
    else
        std::free(block);
}

template <class T> struct TableAllocator {
    using value_type = T;
    TableAllocator() = default;
    template <class U> TableAllocator(const TableAllocator<U>&) {}
    T* allocate(std::size_t n) { return static_cast<T*>(AllocateTable(n * sizeof(T))); }
    void deallocate(T* block, std::size_t n) { FreeTable(block, n * sizeof(T)); }
    template <class U> bool operator==(const TableAllocator<U>&) const { return true; }
};

} // namespace HostSdk
