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

} // namespace HostSdk
