#include "specctra/RecycledBlocks.h"

#include "sdk/CheckedHeap.h"

#include <atomic>
#include <new>

namespace RecycledBlocks {
namespace {

// Builds that check memory use give every block back at once: a block kept
// for reuse would hide a use after its object was freed.
constexpr bool kKeepByDefault = !HostSdk::kCheckedHeap;
std::atomic<bool> gKeep{kKeepByDefault};

// Sizes are kept in classes of the allocator's own steps: a block of 16 n
// bytes holds 16 n - 8 of an object, so the class of n holds objects of
// 16 n - 23 to 16 n - 8 bytes and takes no more memory than the allocator
// gives any of them.
constexpr std::size_t kStep = 16;
constexpr std::size_t kHeader = 8;

constexpr std::size_t ClassOf(std::size_t size) {
    return (size + kHeader + kStep - 1) / kStep - 1;
}
constexpr std::size_t BytesOf(std::size_t sizeClass) {
    return (sizeClass + 1) * kStep - kHeader;
}
constexpr std::size_t kClasses = ClassOf(kLargest) + 1;
static_assert(BytesOf(ClassOf(40)) == 40 && BytesOf(ClassOf(41)) == 56 && BytesOf(0) >= 8);

// A kept block holds the link to the next kept block of its size.
struct TFreeBlock {
    TFreeBlock* Next;
};

// The blocks this thread keeps, by size. Plain data, so that it stays
// usable to the thread's end: an object freed after the blocks were given
// back (by another object's destructor at exit) goes to the allocator.
struct TStore {
    TFreeBlock* Heads[kClasses];
    std::size_t Bytes;
    bool Started;
    bool Closed;
};
constinit thread_local TStore tStore{};

// Gives the kept blocks back to the allocator when the thread ends.
struct TStoreCloser {
    TStoreCloser() = default;
    TStoreCloser(const TStoreCloser&) = delete;
    TStoreCloser& operator=(const TStoreCloser&) = delete;
    ~TStoreCloser() {
        tStore.Closed = true;
        for (TFreeBlock*& head : tStore.Heads)
            while (head != nullptr) {
                TFreeBlock* next = head->Next;
                ::operator delete(head);
                head = next;
            }
        tStore.Bytes = 0;
    }
};

// This thread's store; none once the thread is ending.
TStore* Store() {
    if (!tStore.Started) [[unlikely]] {
        tStore.Started = true;
        static thread_local TStoreCloser closer;
        (void)closer;
    }
    return tStore.Closed ? nullptr : &tStore;
}

} // namespace

void* Take(std::size_t size) {
    if (size > kLargest || size == 0)
        return ::operator new(size);
    const std::size_t sizeClass = ClassOf(size);
    if (gKeep.load(std::memory_order_relaxed)) {
        if (TStore* store = Store()) {
            if (TFreeBlock* block = store->Heads[sizeClass]) {
                store->Heads[sizeClass] = block->Next;
                store->Bytes -= BytesOf(sizeClass);
                return block;
            }
        }
    }
    // Made at the full size of its class, whether blocks are kept now or
    // not: any object of the class can take it when it comes back.
    return ::operator new(BytesOf(sizeClass));
}

void Give(void* block, std::size_t size) noexcept {
    if (block == nullptr)
        return;
    if (gKeep.load(std::memory_order_relaxed) && size <= kLargest && size > 0) {
        const std::size_t sizeClass = ClassOf(size);
        const std::size_t bytes = BytesOf(sizeClass);
        TStore* store = Store();
        if (store != nullptr && store->Bytes + bytes <= kMostBytes) {
            auto* kept = static_cast<TFreeBlock*>(block);
            kept->Next = store->Heads[sizeClass];
            store->Heads[sizeClass] = kept;
            store->Bytes += bytes;
            return;
        }
    }
    ::operator delete(block);
}

bool Keeping() noexcept {
    return gKeep.load(std::memory_order_relaxed);
}

void Keep(bool keep) noexcept {
    gKeep.store(keep, std::memory_order_relaxed);
}

std::size_t BlockBytes(std::size_t size) noexcept {
    return size > kLargest || size == 0 ? size : BytesOf(ClassOf(size));
}

std::size_t KeptBytes() noexcept {
    return tStore.Bytes;
}

} // namespace RecycledBlocks
