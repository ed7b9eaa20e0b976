#include "specctra/ModelPool.h"

#include <new>
#include <type_traits>

#if defined(__SANITIZE_ADDRESS__)
#define DSNLINK_MODEL_POOL_OFF 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DSNLINK_MODEL_POOL_OFF 1
#endif
#endif

static_assert(std::is_trivially_destructible_v<TModelPool>);

namespace {

constexpr std::size_t kFirstBlock = 64 * 1024;
constexpr std::size_t kLargestBlock = 1024 * 1024;

std::size_t ClassOf(std::size_t size) {
    return size == 0 ? 0 : (size - 1) / TModelPool::Granule;
}

} // namespace

void* TModelPool::Allocate(std::size_t size) {
    const std::size_t k = ClassOf(size);
    ++FLive;
    if (TFree* block = FFree[k]) {
        FFree[k] = block->Next;
        return block;
    }
    const std::size_t bytes = (k + 1) * Granule;
    if (static_cast<std::size_t>(FEnd - FNext) < bytes)
        NewBlock(bytes);
    void* memory = FNext;
    FNext += bytes;
    return memory;
}

void TModelPool::Release(void* memory, std::size_t size) noexcept {
    const std::size_t k = ClassOf(size);
    auto* block = static_cast<TFree*>(memory);
    block->Next = FFree[k];
    FFree[k] = block;
    if (--FLive == 0)
        Reset();
}

// Blocks double in length from kFirstBlock up to kLargestBlock, so that a
// small design takes little and a large one few blocks.
void TModelPool::NewBlock(std::size_t bytes) {
    std::size_t length = FNewest ? FNewest->Length * 2 : kFirstBlock;
    if (length > kLargestBlock)
        length = kLargestBlock;
    if (length < bytes + sizeof(THeader))
        length = bytes + sizeof(THeader);
    void* memory = ::operator new (length, std::align_val_t{Granule});
    FNewest = ::new (memory) THeader{FNewest, length};
    FBytes += length;
    FNext = reinterpret_cast<std::byte*>(FNewest) + sizeof(THeader);
    FEnd = reinterpret_cast<std::byte*>(FNewest) + length;
}

// Nothing is alive: every block is free again. The oldest (the smallest) is
// kept for the next design, the others go back to the system.
void TModelPool::Reset() noexcept {
    for (TFree*& list : FFree)
        list = nullptr;
    if (!FNewest)
        return;
    while (FNewest->Older) {
        THeader* older = FNewest->Older;
        FBytes -= FNewest->Length;
        ::operator delete (static_cast<void*>(FNewest), std::align_val_t{Granule});
        FNewest = older;
    }
    FNext = reinterpret_cast<std::byte*>(FNewest) + sizeof(THeader);
    FEnd = reinterpret_cast<std::byte*>(FNewest) + FNewest->Length;
}

void TModelPool::Clear() noexcept {
    if (FLive != 0)
        return;
    Reset();
    if (FNewest) {
        ::operator delete (static_cast<void*>(FNewest), std::align_val_t{Granule});
        FNewest = nullptr;
        FBytes = 0;
        FNext = FEnd = nullptr;
    }
}

namespace {

// The pool of this thread; none where the pool is off.
TModelPool* ThreadPool() {
#ifndef DSNLINK_MODEL_POOL_OFF
    thread_local TModelPool pool;
    return &pool;
#else
    return nullptr;
#endif
}

} // namespace

namespace ModelPool {

void* Allocate(std::size_t size) {
    if (size <= TModelPool::Largest) {
        if (TModelPool* pool = ThreadPool())
            return pool->Allocate(size);
    }
    return ::operator new(size);
}

void Release(void* memory, std::size_t size) noexcept {
    if (memory == nullptr)
        return;
    if (size <= TModelPool::Largest) {
        if (TModelPool* pool = ThreadPool()) {
            pool->Release(memory, size);
            return;
        }
    }
    ::operator delete(memory);
}

std::size_t LiveObjects() noexcept {
    const TModelPool* pool = ThreadPool();
    return pool ? pool->Live() : 0;
}

std::size_t BlockBytes() noexcept {
    const TModelPool* pool = ThreadPool();
    return pool ? pool->Bytes() : 0;
}

} // namespace ModelPool
