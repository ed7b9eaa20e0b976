// The record bodies of objects: one arena of cells per record type, in
// chunks of huge pages that never move.
#include "engine/Model.h"

#include "sdk/HugePages.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace corvane {

// Record arenas: one per record type, its cells in chunks of whole huge
// pages (2 MiB) that never move. The first chunk of a type is left to ordinary
// pages, so that a small board costs only the pages it touches; later chunks
// are advised to be backed by huge pages (HostSdk::AdviseHugePages), so
// that a large board's records do not cost a page fault per 4 KiB. A freed
// cell keeps the number of the next free one.
namespace {
constexpr size_t kChunkBytes = HostSdk::kHugePageBytes;
constexpr uint32_t kMaxPagesPerChunk = 7;

struct ChunkFree {
    void operator()(std::byte* p) const { std::free(p); }
};

class BodyArena {
public:
    // Cells take the record's size rounded up to its alignment (4 or 8).
    BodyArena(int type, size_t recordBytes, size_t recordAlign) : type_(type) {
        const size_t bytes = kCheckedHeap ? sizeof(Body*) : recordBytes;
        const size_t align = kCheckedHeap ? alignof(Body*) : recordAlign;
        cellBytes_ = static_cast<uint32_t>((bytes + align - 1) / align * align);
        // A whole number of huge pages per chunk: with cells of 4 * m * 2^k
        // bytes (m odd), 2^(19 - k) cells take m pages. Large records, which
        // boards hold few of, take chunks of at most one page instead.
        uint32_t k = 0;
        while ((cellBytes_ >> (2 + k)) % 2 == 0 && k < 19)
            ++k;
        if ((cellBytes_ >> (2 + k)) <= kMaxPagesPerChunk) {
            shift_ = 19 - k;
            chunkBytes_ = (size_t{1} << shift_) * cellBytes_;
        } else {
            while ((size_t{2} << shift_) * cellBytes_ <= kChunkBytes)
                ++shift_;
            chunkBytes_ = kChunkBytes;
        }
        Publish();
    }
    uint32_t Take() {
        const uint32_t cell = TakeCell();
        ++live_;
        return cell;
    }
    void Give(uint32_t cell) {
        --live_;
        if constexpr (kCheckedHeap) {
            freeCells_.push_back(cell);
        } else {
            std::memcpy(At(cell), &free_, sizeof free_);
            free_ = cell;
        }
    }
    std::byte* At(uint32_t cell) const {
        return addresses_[cell >> shift_] + size_t{cell & ((1u << shift_) - 1)} * cellBytes_;
    }
    // Frees the chunks of an arena that holds no record, as the arena was
    // made; an arena in use keeps them.
    void ReleaseIfIdle() {
        if (live_ != 0 || chunks_.empty())
            return;
        addresses_.clear();
        addresses_.shrink_to_fit();
        chunks_.clear();
        chunks_.shrink_to_fit();
        std::vector<uint32_t>().swap(freeCells_);
        used_ = 0;
        free_ = kNone;
        Publish();
    }

private:
    int type_;
    uint32_t cellBytes_ = 8;
    uint32_t shift_ = 0;
    size_t chunkBytes_ = 0; // a multiple of kChunkBytes
    uint32_t used_ = 0;
    uint32_t live_ = 0; // cells taken and not given back
    uint32_t free_ = kNone;
    std::vector<uint32_t> freeCells_; // checked builds keep free cells here
    std::vector<std::unique_ptr<std::byte, ChunkFree>> chunks_;
    std::vector<std::byte*> addresses_; // of the chunks, for the view

    uint32_t TakeCell() {
        if constexpr (kCheckedHeap) {
            if (!freeCells_.empty()) {
                const uint32_t cell = freeCells_.back();
                freeCells_.pop_back();
                return cell;
            }
        } else if (free_ != kNone) {
            const uint32_t cell = free_;
            std::memcpy(&free_, At(cell), sizeof free_);
            return cell;
        }
        if (used_ == size_t{chunks_.size()} << shift_) {
            if (used_ + (size_t{1} << shift_) > size_t{kBodyCellMask} + 1)
                throw std::bad_alloc();
            NewChunk();
        }
        return used_++;
    }
    void NewChunk() {
        auto* p = static_cast<std::byte*>(
            HostSdk::AllocateHugePageBlock(chunkBytes_, /*advise=*/!chunks_.empty()));
        chunks_.emplace_back(p);
        addresses_.push_back(p);
        Publish();
    }
    void Publish() {
        gBodyArenas[static_cast<size_t>(type_)] =
            BodyArenaView{addresses_.data(), cellBytes_, shift_};
    }
};

// Record types, numbered from 1, and the first kind of each.
constexpr std::array<int32_t, 15> kTypeKind = {0,    kTrack,  kArc,      kFill,      kVia,
                                               kPad, kRegion, kText,     kComponent, kPolygon,
                                               kNet, kFromTo, kEmbedded, kClass,     kRule};
static_assert(kTypeKind.size() <= (size_t{1} << kBodyTypeBits));

using Arenas = std::array<std::unique_ptr<BodyArena>, kTypeKind.size()>;

Arenas& AllArenas() {
    // Lives as long as the process: records are freed into it at exit.
    static auto* arenas = new Arenas;
    return *arenas;
}

BodyArena& ArenaOf(int type, size_t recordBytes, size_t recordAlign) {
    auto& arena = AllArenas()[static_cast<size_t>(type)];
    if (!arena)
        arena = std::make_unique<BodyArena>(type, recordBytes, recordAlign);
    return *arena;
}

template <class T> uint32_t Place(int type) {
    static_assert(alignof(T) >= 4 && alignof(T) <= 8);
    BodyArena& arena = ArenaOf(type, sizeof(T), alignof(T));
    const uint32_t cell = arena.Take();
    try {
        if constexpr (kCheckedHeap)
            *reinterpret_cast<Body**>(arena.At(cell)) = new T();
        else
            new (arena.At(cell)) T();
    } catch (...) {
        arena.Give(cell);
        throw;
    }
    return static_cast<uint32_t>(type) << kBodyCellBits | cell;
}
} // namespace

BodyBox BodyBox::Make(int32_t kind) {
    BodyBox box;
    switch (kind) {
    case kTrack:
        box.ref_ = Place<TrackBody>(1);
        break;
    case kArc:
        box.ref_ = Place<ArcBody>(2);
        break;
    case kFill:
        box.ref_ = Place<FillBody>(3);
        break;
    case kVia:
        box.ref_ = Place<ViaBody>(4);
        break;
    case kPad:
        box.ref_ = Place<PadBody>(5);
        break;
    case kRegion:
        box.ref_ = Place<RegionBody>(6);
        break;
    case kText:
        box.ref_ = Place<TextBody>(7);
        break;
    case kComponent:
        box.ref_ = Place<ComponentBody>(8);
        break;
    case kPolygon:
    case kSplitPlane:
    case kBoardOutline:
        box.ref_ = Place<PolygonBody>(9);
        break;
    case kNet:
        box.ref_ = Place<NetBody>(10);
        break;
    case kFromTo:
    case kManualFromTo:
        box.ref_ = Place<FromToBody>(11);
        break;
    case kEmbedded:
        box.ref_ = Place<EmbeddedBody>(12);
        break;
    case kClass:
        box.ref_ = Place<ClassBody>(13);
        break;
    case kRule:
        box.ref_ = Place<RuleBody>(14);
        break;
    default:
        break;
    }
    return box;
}

void BodyBox::ReleaseIdleArenas() {
    for (auto& arena : AllArenas())
        if (arena)
            arena->ReleaseIfIdle();
}

void BodyBox::reset() {
    if (ref_ == 0)
        return;
    const auto type = static_cast<int>(ref_ >> kBodyCellBits);
    Body* body = get();
    const uint32_t cell = ref_ & kBodyCellMask;
    ref_ = 0;
    VisitBody(kTypeKind[static_cast<size_t>(type)], body, [](auto& record) {
        using T = std::remove_reference_t<decltype(record)>;
        if constexpr (kCheckedHeap)
            delete &record;
        else
            record.~T();
    });
    ArenaOf(type, 0, 1).Give(cell); // made when the record was placed
}

} // namespace corvane
