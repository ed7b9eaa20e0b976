// The engine's host-side interface: documents, the current board, progress
// hooks and the JSON dump.
#include "sdk/CorvaneEngine.h"

#include "engine/PadOutlines.h"
#include "engine/Records.h"

#include <algorithm>
#include <cmath>

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

using namespace corvane;

namespace {

struct Hooks {
    CorvanePercentInit init = nullptr;
    CorvanePercentUpdate update = nullptr;
    CorvanePercentFinish finish = nullptr;
    void* context = nullptr;
};
Hooks hooks;

void SetError(char* error, int32_t capacity, const std::string& text) {
    if (!error || capacity <= 0)
        return;
    size_t n = std::min(text.size(), static_cast<size_t>(capacity - 1));
    std::memcpy(error, text.data(), n);
    error[n] = '\0';
}

// Writes a JSON dump made by `make` to `path` ("-": standard output).
int32_t WriteBoardJson(CorvaneBoard board, const char* path, char* error, int32_t errorCapacity,
                       void (*make)(uint32_t, const std::function<void(const std::string&)>&)) {
    Store& s = Store::Get();
    uint32_t slot = s.BoardSlot(board);
    if (slot == kNone) {
        SetError(error, errorCapacity, "unknown board");
        return 0;
    }
    if (!path || !*path) {
        SetError(error, errorCapacity, "no output path given");
        return 0;
    }
    bool toStdout = std::strcmp(path, "-") == 0;
    FILE* f = toStdout ? stdout : std::fopen(path, "wb");
    if (!f) {
        SetError(error, errorCapacity,
                 std::string("cannot write ") + path + ": " + std::strerror(errno));
        return 0;
    }
    bool ok = true, outOfMemory = false;
    try {
        make(slot, [&](const std::string& piece) {
            ok = ok && std::fwrite(piece.data(), 1, piece.size(), f) == piece.size();
        });
    } catch (const std::bad_alloc&) {
        outOfMemory = true;
    }
    ok = (toStdout ? std::fflush(f) : std::fclose(f)) == 0 && ok;
    if (outOfMemory || !ok) {
        SetError(error, errorCapacity,
                 outOfMemory ? std::string("out of memory while dumping the board")
                             : std::string("cannot write ") + path);
        return 0;
    }
    return 1;
}

} // namespace

extern "C" {

void Corvane_SetProgressHooks(CorvanePercentInit init, CorvanePercentUpdate update,
                              CorvanePercentFinish finish, void* context) {
    hooks = Hooks{init, update, finish, context};
}

void PcbApi_Percent_Init(const char* caption, int32_t steps) {
    if (hooks.init)
        hooks.init(hooks.context, caption ? caption : "", steps);
}

void PcbApi_Percent_Update(void) {
    if (hooks.update)
        hooks.update(hooks.context);
}

void PcbApi_Percent_Finish(void) {
    if (hooks.finish)
        hooks.finish(hooks.context);
}

CorvaneBoard Corvane_NewBoard(const char* fileName, char* error, int32_t errorCapacity) {
    if (!fileName || !*fileName) {
        SetError(error, errorCapacity, "a new board needs a file name");
        return 0;
    }
    std::string name = AbsolutePath(fileName);
    Store& s = Store::Get();
    if (s.FindBoardByFileName(name) != kNone) {
        SetError(error, errorCapacity, "a board named " + name + " is already open");
        return 0;
    }
    uint32_t slot = s.NewBoard(name);
    if (slot == kNone) {
        SetError(error, errorCapacity, "too many boards are open");
        return 0;
    }
    s.currentBoard = s.BoardHandle(slot);
    return s.currentBoard;
}

CorvaneBoard Corvane_OpenBoard(const char* fileName, char* error, int32_t errorCapacity) {
    if (!fileName || !*fileName) {
        SetError(error, errorCapacity, "no file name given");
        return 0;
    }
    std::string name = AbsolutePath(fileName);
    Store& s = Store::Get();
    uint32_t open = s.FindBoardByFileName(name);
    if (open != kNone)
        return s.BoardHandle(open);
    uint32_t slot = kNone;
    std::string reason;
    try {
        reason = LoadBoardDocument(name, slot);
    } catch (const std::bad_alloc&) {
        reason = "cannot open " + name + ": out of memory";
    }
    if (!reason.empty()) {
        SetError(error, errorCapacity, reason);
        return 0;
    }
    s.currentBoard = s.BoardHandle(slot);
    return s.currentBoard;
}

int32_t Corvane_SaveBoard(CorvaneBoard board, const char* fileName, char* error,
                          int32_t errorCapacity) {
    Store& s = Store::Get();
    uint32_t slot = s.BoardSlot(board);
    if (slot == kNone) {
        SetError(error, errorCapacity, "unknown board");
        return 0;
    }
    BoardRec& b = s.BoardAt(slot);
    std::string target = fileName && *fileName ? AbsolutePath(fileName) : b.fileName;
    uint32_t other = s.FindBoardByFileName(target);
    if (other != kNone && other != slot) {
        SetError(error, errorCapacity, "another open board is named " + target);
        return 0;
    }
    std::string reason;
    try {
        reason = SaveBoardDocument(slot, target);
    } catch (const std::bad_alloc&) {
        reason = "cannot save " + target + ": out of memory";
    }
    if (!reason.empty()) {
        SetError(error, errorCapacity, reason);
        return 0;
    }
    b.fileName = target;
    b.modified = false;
    return 1;
}

void Corvane_CloseBoard(CorvaneBoard board) {
    Store& s = Store::Get();
    uint32_t slot = s.BoardSlot(board);
    if (slot != kNone)
        s.CloseBoard(slot);
}

void Corvane_SetCurrentBoard(CorvaneBoard board) {
    Store& s = Store::Get();
    s.currentBoard = s.BoardSlot(board) == kNone ? 0 : board;
}

int32_t Corvane_IsBoardModified(CorvaneBoard board) {
    BoardRec* b = Store::Get().Board(board);
    return b && b->modified ? 1 : 0;
}

void Corvane_SetBoardModified(CorvaneBoard board, int32_t modified) {
    if (BoardRec* b = Store::Get().Board(board))
        b->modified = modified != 0;
}

int32_t Corvane_GetBoardFileName(CorvaneBoard board, char* buffer, int32_t capacity) {
    BoardRec* b = Store::Get().Board(board);
    if (!b)
        return -1;
    SetError(buffer, capacity, b->fileName);
    return static_cast<int32_t>(b->fileName.size());
}

int32_t Corvane_SetHostData(CorvaneBoard board, const char* key, const char* value,
                            int64_t length) {
    BoardRec* b = Store::Get().Board(board);
    if (!b || key == nullptr || length < 0)
        return 0;
    if (value == nullptr)
        b->hostData.erase(key);
    else
        b->hostData[key].assign(value, static_cast<size_t>(length));
    b->modified = true;
    return 1;
}

int64_t Corvane_GetHostData(CorvaneBoard board, const char* key, char* buffer, int64_t capacity) {
    BoardRec* b = Store::Get().Board(board);
    if (!b || key == nullptr)
        return -1;
    auto found = b->hostData.find(key);
    if (found == b->hostData.end())
        return -1;
    const std::string& value = found->second;
    if (buffer != nullptr && capacity > 0)
        std::memcpy(
            buffer, value.data(),
            static_cast<size_t>(std::min<int64_t>(capacity, static_cast<int64_t>(value.size()))));
    return static_cast<int64_t>(value.size());
}

int32_t Corvane_SetPadOutline(intptr_t pad, const CorvanePadOutlinePiece* pieces, int32_t count) {
    Store& s = Store::Get();
    const uint32_t slot = s.ObjectSlot(pad);
    if (slot == kNone || s.At(slot).kind != kPad || count < 0 || (count > 0 && !pieces))
        return 0;
    // The pins of a padstack turned alike give their pads the same pieces one
    // after another: the outline made for the last pieces given serves the
    // next pad while they are the same. The pieces are compared flat: entry,
    // corner count, radius and corners of each.
    thread_local std::vector<int64_t> given, last;
    thread_local std::shared_ptr<const PadOutline> lastOutline;
    given.clear();
    for (int32_t i = 0; i < count; ++i) {
        const CorvanePadOutlinePiece& in = pieces[i];
        if (in.entry < 1 || in.entry >= kLayerCount || in.count < 1 || !in.xy ||
            !std::isfinite(in.radius) || in.radius < 0)
            return 0;
        int64_t radius = 0;
        std::memcpy(&radius, &in.radius, sizeof radius);
        given.insert(given.end(), {in.entry, in.count, radius});
        given.insert(given.end(), in.xy, in.xy + 2 * static_cast<size_t>(in.count));
    }
    std::shared_ptr<const PadOutline> shared;
    if (count > 0 && lastOutline && given == last) {
        shared = lastOutline;
    } else if (count > 0) {
        PadOutline outline;
        outline.pieces.reserve(static_cast<size_t>(count));
        for (int32_t i = 0; i < count; ++i) {
            const CorvanePadOutlinePiece& in = pieces[i];
            PadOutlinePiece& piece = outline.pieces.emplace_back();
            piece.entry = in.entry;
            piece.radius = in.radius;
            piece.points.resize(static_cast<size_t>(in.count));
            for (int32_t k = 0; k < in.count; ++k)
                piece.points[static_cast<size_t>(k)] = {in.xy[2 * k], in.xy[2 * k + 1]};
        }
        std::stable_sort(
            outline.pieces.begin(), outline.pieces.end(),
            [](const PadOutlinePiece& a, const PadOutlinePiece& b) { return a.entry < b.entry; });
        shared = SharedPadOutline(std::move(outline));
        last.swap(given);
        lastOutline = shared;
    }
    ObjectExtras extras = s.Extras(slot);
    extras.outline = std::move(shared);
    extras.outlineMirrored = false;
    s.SetExtras(slot, extras);
    s.MarkModified(s.At(slot));
    return 1;
}

int32_t Corvane_GetPadOutline(intptr_t pad, int32_t layer, int32_t piece, double* radius,
                              double* xy, int32_t capacity) {
    Store& s = Store::Get();
    const uint32_t slot = s.ObjectSlot(pad);
    if (slot == kNone || piece < 0)
        return -1;
    const ObjectRec& o = s.At(slot);
    if (o.kind != kPad || !o.hasExtras || (o.layer != kMultiLayer && o.layer != layer))
        return -1;
    const ObjectExtras extras = s.Extras(slot);
    if (!extras.outline)
        return -1;
    const auto& body = *static_cast<const PadBody*>(o.body.get());
    const PadShared& shared = body.shared.get();
    const int32_t entry = PcbApiPadEntryLayer(shared.mode, layer);
    for (const PadOutlinePiece& p : extras.outline->pieces) {
        if (p.entry != entry || piece-- > 0)
            continue;
        const std::vector<Point> placed =
            PlacedPiece(p, o.x1, o.y1, shared.angle, extras.outlineMirrored);
        if (radius)
            *radius = p.radius;
        for (size_t k = 0; xy && k < placed.size() && static_cast<int32_t>(k) < capacity; ++k) {
            xy[2 * k] = placed[k].x;
            xy[2 * k + 1] = placed[k].y;
        }
        return static_cast<int32_t>(placed.size());
    }
    return -1;
}

int64_t Corvane_LiveObjectCount(void) {
    return static_cast<int64_t>(Store::Get().LiveObjectCount());
}

int64_t Corvane_BoardObjectCount(CorvaneBoard board, int32_t kind) {
    const BoardRec* b = Store::Get().Board(board);
    if (b == nullptr || kind < 0 || kind >= kKindCount)
        return -1;
    if (kind != 0)
        return static_cast<int64_t>(b->byKind[kind].count);
    int64_t all = 0;
    for (int k = 1; k < kKindCount; ++k)
        all += static_cast<int64_t>(b->byKind[k].count);
    return all;
}

int32_t Corvane_DumpBoardJson(CorvaneBoard board, const char* path, char* error,
                              int32_t errorCapacity) {
    return WriteBoardJson(board, path, error, errorCapacity, BoardJson);
}

int32_t Corvane_DumpRulesJson(CorvaneBoard board, const char* path, char* error,
                              int32_t errorCapacity) {
    return WriteBoardJson(board, path, error, errorCapacity, RulesJson);
}

} // extern "C"
