// Board documents: one SQLite file per board; saving one.
//
// A save writes the whole board into a fresh file beside the target, in one
// transaction, flushes it to disk and renames it over the target, so a crash
// or a kill at any moment leaves either the previous document or the new one,
// never a mixture. Signals that would end the process wait until the save is
// done, and the next save removes what a save killed outright left behind.
#include "engine/BatchRing.h"
#include "engine/DocumentSql.h"
#include "engine/PadOutlines.h"
#include "engine/Records.h"
#include "sdk/TemporaryFiles.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace corvane {

namespace {

using namespace document;

const char* kSchema = R"sql(
CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE board(key TEXT PRIMARY KEY, value);
CREATE TABLE layers(id INTEGER PRIMARY KEY, name TEXT NOT NULL, copper_thickness INTEGER,
  dielectric_kind INTEGER, dielectric_height INTEGER, dielectric_constant REAL,
  dielectric_material TEXT, displayed INTEGER, mechanical_enabled INTEGER, in_stack INTEGER,
  previous_layer INTEGER, next_layer INTEGER, plane_net TEXT);
CREATE TABLE layer_pairs(position INTEGER PRIMARY KEY, name TEXT, low_layer INTEGER,
  high_layer INTEGER, drill_drawing INTEGER, drill_guide INTEGER, substack TEXT,
  back_drill INTEGER);
CREATE TABLE objects(id INTEGER PRIMARY KEY, kind INTEGER NOT NULL, container INTEGER,
  net INTEGER, record BLOB NOT NULL);
)sql";

void Exec(sqlite3* db, const char* sql) {
    char* msg = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &msg) != SQLITE_OK) {
        std::string m = msg ? msg : sqlite3_errmsg(db);
        sqlite3_free(msg);
        throw SqlError{m};
    }
}

void Step(sqlite3* db, sqlite3_stmt* s) {
    if (sqlite3_step(s) != SQLITE_DONE)
        throw SqlError{sqlite3_errmsg(db)};
    sqlite3_reset(s);
}

void BindText(sqlite3_stmt* s, int i, const std::string& v) {
    sqlite3_bind_text(s, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
}

std::string Folder(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool SyncPath(const std::string& path, bool directory) {
    int fd = ::open(path.c_str(), directory ? O_RDONLY | O_DIRECTORY : O_RDONLY);
    if (fd < 0)
        return false;
    bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Objects go many rows to a statement: a large board has millions of them,
// and running a statement costs more than the row it adds.
constexpr int kObjectColumns = 5;
constexpr int kObjectRowsPerStatement = 192; // 960 parameters, within any build's limit

std::string ObjectInsertSql(int rows) {
    std::string sql = "INSERT INTO objects VALUES";
    for (int r = 0; r < rows; ++r) {
        sql += r == 0 ? "(" : ",(";
        for (int c = 0; c < kObjectColumns; ++c)
            sql += c == 0 ? "?" : ",?";
        sql += ')';
    }
    return sql;
}

// The parameters of an insert statement. SQLite keeps the values bound to a
// statement from one run to the next, and many columns hold the same value
// row after row (the id left NULL, the kind, the component of a run of pads,
// no net): a whole number or NULL is bound again only when it changes.
class RowBinder {
public:
    explicit RowBinder(sqlite3_stmt* st)
        : st_(st), held_(static_cast<size_t>(sqlite3_bind_parameter_count(st)) + 1) {}
    sqlite3_stmt* Statement() const { return st_; }

    void Int(int i, int64_t v) {
        if (Hold(i, kWhole, v))
            sqlite3_bind_int64(st_, i, v);
    }
    void Null(int i) {
        if (Hold(i, kNull, 0))
            sqlite3_bind_null(st_, i);
    }
    // Bytes kept by the caller until the statement has run.
    void Blob(int i, std::string_view bytes) {
        held_[static_cast<size_t>(i)] = {};
        sqlite3_bind_blob(st_, i, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC);
    }

private:
    enum Kind : uint8_t { kUnknown, kWhole, kNull };
    struct Held {
        Kind kind = kUnknown;
        int64_t value = 0;
    };
    // True when parameter i held something else, which it now holds.
    bool Hold(int i, Kind kind, int64_t value) {
        Held& held = held_[static_cast<size_t>(i)];
        if (held.kind == kind && held.value == value)
            return false;
        held = {kind, value};
        return true;
    }

    sqlite3_stmt* st_;
    std::vector<Held> held_; // by parameter number
};

// Object rows are encoded in runs ahead of the statements that insert them:
// on a large board a second thread encodes the next runs while SQLite
// inserts the last, the two halves of a save taking about as long each.
constexpr size_t kRunsPerBatch = 8;
constexpr size_t kRowsPerBatch = kRunsPerBatch * kObjectRowsPerStatement;
constexpr size_t kBatchesAhead = 4;
// Boards of this many objects or more have their rows encoded ahead.
constexpr size_t kEncodeAheadFrom = 20000;

// A batch of encoded rows: the whole numbers of each row (-1 for NULL) and
// its record, the records one after another in the writer's bytes.
struct RowBatch {
    explicit RowBatch(std::function<int64_t(intptr_t)> refId) : records(std::move(refId)) {}
    size_t count = 0;
    std::array<int64_t, kRowsPerBatch> kind{}, container{}, net{};
    std::array<uint32_t, kRowsPerBatch + 1> end{}; // end[r]: where row r's record ends
    BlobWriter records;
    std::string_view Record(size_t r) const {
        return records.Bytes().substr(end[r], end[r + 1] - end[r]);
    }
};

// Encodes the rows of `order` from `first` into `batch`. The id is left out:
// the table is new and the rows go in the order of their ids, so SQLite
// numbers each the one after the last, 1 up, without searching the table
// for the id as it does for one given.
template <class IdOf>
void EncodeRows(const std::vector<uint32_t>& order, size_t first, const IdOf& idOfSlot,
                RowBatch& batch) {
    Store& s = Store::Get();
    BlobWriter& w = batch.records;
    w.Clear();
    batch.count = std::min(kRowsPerBatch, order.size() - first);
    for (size_t r = 0; r < batch.count; ++r) {
        // The records a few rows on, which lie apart in memory, are asked for
        // while this one is encoded.
        if (first + r + 16 < order.size())
            __builtin_prefetch(&s.At(order[first + r + 16]));
        const uint32_t slot = order[first + r];
        ObjectRec& o = s.At(slot);
        batch.kind[r] = o.kind;
        batch.container[r] = o.container == kNone ? -1 : idOfSlot(o.container);
        const uint32_t net = s.NetOf(o);
        batch.net[r] = net == kNone ? -1 : idOfSlot(net);
        // The fields every object has lead its record (ObjectCommon).
        const ObjectExtras extras = s.Extras(slot);
        ObjectCommon common{o.layer,
                            extras.bitField,
                            extras.bitField2,
                            extras.bitField3,
                            extras.index,
                            static_cast<int32_t>(o.moveable),
                            o.x1,
                            o.y1};
        common.visit(w);
        VisitBody(o.kind, o.body.get(), [&](auto& body) { body.visit(w); });
        batch.end[r + 1] = static_cast<uint32_t>(w.Bytes().size());
    }
}

// Binds row `r` of `batch` to the parameters after `first`; the record's
// bytes stay in the batch until the statement has run.
void BindRow(RowBinder& row, int first, const RowBatch& batch, size_t r) {
    row.Null(first + 1);
    row.Int(first + 2, batch.kind[r]);
    for (auto [column, value] :
         {std::pair{first + 3, batch.container[r]}, std::pair{first + 4, batch.net[r]}})
        if (value < 0)
            row.Null(column);
        else
            row.Int(column, value);
    row.Blob(first + 5, batch.Record(r));
}

// Inserts the rows of `batch`: whole runs through `many`, the rest of the
// last batch one by one.
void InsertRows(sqlite3* db, RowBinder& many, RowBinder& one, const RowBatch& batch) {
    const size_t rows = kObjectRowsPerStatement;
    size_t r = 0;
    for (; r + rows <= batch.count; r += rows) {
        for (size_t i = 0; i < rows; ++i)
            BindRow(many, static_cast<int>(i) * kObjectColumns, batch, r + i);
        Step(db, many.Statement());
    }
    for (; r < batch.count; ++r) {
        BindRow(one, 0, batch, r);
        Step(db, one.Statement());
    }
}

// The objects in `order`, numbered from 1 in that order.
template <class IdOf>
void WriteObjects(sqlite3* db, const std::vector<uint32_t>& order, const IdOf& idOfSlot) {
    Stmt manyStatement = Prepare(db, ObjectInsertSql(kObjectRowsPerStatement).c_str());
    Stmt oneStatement = Prepare(db, ObjectInsertSql(1).c_str());
    RowBinder many(manyStatement.get()), one(oneStatement.get());
    const std::function<int64_t(intptr_t)> refId = [&](intptr_t h) {
        return idOfSlot(Store::Get().ObjectSlot(h));
    };
    auto inOneThread = [&] {
        RowBatch batch(refId);
        for (size_t first = 0; first < order.size(); first += kRowsPerBatch) {
            EncodeRows(order, first, idOfSlot, batch);
            InsertRows(db, many, one, batch);
        }
    };
    if (order.size() < kEncodeAheadFrom)
        return inOneThread();
    // The encoder only reads the store, which nothing changes while the
    // board is saved.
    BatchRing<RowBatch, kBatchesAhead> ring([&] { return std::make_unique<RowBatch>(refId); });
    std::optional<FillingThread> encoder;
    try {
        encoder.emplace(ring, [&](auto& batches) {
            for (size_t first = 0; first < order.size(); first += kRowsPerBatch) {
                RowBatch* batch = batches.ToFill();
                if (batch == nullptr)
                    return;
                EncodeRows(order, first, idOfSlot, *batch);
                batches.Filled();
            }
        });
    } catch (const std::system_error&) { // no thread to be had: one does both
        return inOneThread();
    }
    while (const RowBatch* batch = ring.ToTake()) {
        InsertRows(db, many, one, *batch);
        ring.Taken();
    }
}

// The layer stack and the layer pairs.
void WriteLayers(sqlite3* db, const BoardRec& b) {
    {
        Stmt st = Prepare(db, "INSERT INTO layers VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?)");
        for (int l = 1; l < kLayerCount; ++l) {
            const LayerRec& r = b.layers[l];
            sqlite3_bind_int(st.get(), 1, l);
            BindText(st.get(), 2, r.name);
            sqlite3_bind_int(st.get(), 3, r.copperThickness);
            sqlite3_bind_int(st.get(), 4, r.dielectric.Kind);
            sqlite3_bind_int(st.get(), 5, r.dielectric.Height);
            sqlite3_bind_double(st.get(), 6, r.dielectric.Constant);
            BindText(st.get(), 7,
                     std::string(r.dielectric.Material,
                                 strnlen(r.dielectric.Material, sizeof r.dielectric.Material)));
            sqlite3_bind_int(st.get(), 8, r.isDisplayed);
            sqlite3_bind_int(st.get(), 9, r.mechanicalEnabled);
            sqlite3_bind_int(st.get(), 10, r.inStack ? 1 : 0);
            sqlite3_bind_int(st.get(), 11, r.prev);
            sqlite3_bind_int(st.get(), 12, r.next);
            BindText(st.get(), 13, r.planeNet);
            Step(db, st.get());
        }
    }
    {
        Stmt st = Prepare(db, "INSERT INTO layer_pairs VALUES(?,?,?,?,?,?,?,?)");
        int position = 0;
        for (const auto& p : b.pairs) {
            sqlite3_bind_int(st.get(), 1, position++);
            BindText(st.get(), 2, p.name);
            sqlite3_bind_int(st.get(), 3, p.low);
            sqlite3_bind_int(st.get(), 4, p.high);
            sqlite3_bind_int(st.get(), 5, p.drillDrawing);
            sqlite3_bind_int(st.get(), 6, p.drillGuide);
            BindText(st.get(), 7, p.substack);
            sqlite3_bind_int(st.get(), 8, p.backDrill);
            Step(db, st.get());
        }
    }
}

// Numbers the objects of board `b` from 1, kind by kind, each kind in board
// order: `order` gets their slots, `ids` each slot's number and `outlines`
// the pads' true outlines. A large board's kinds are walked in two halves
// side by side: a walk waits on memory at every step.
void NumberObjects(BoardRec& b, std::vector<uint32_t>& order, std::vector<uint32_t>& ids,
                   std::vector<KeptPadOutline>& outlines) {
    Store& s = Store::Get();
    std::array<size_t, kKindCount + 1> first{}; // the first place of each kind in `order`
    for (int k = 1; k < kKindCount; ++k)
        first[k + 1] = first[k] + b.byKind[k].count;
    const size_t total = first[kKindCount];
    order.assign(total, kNone);
    // False when a kind's list holds other than its count of objects.
    auto walk = [&](int from, int to) {
        for (int k = from; k < to; ++k) {
            size_t at = first[k];
            bool fits = true;
            s.ForEach(b.byKind[k], kByKind, [&](uint32_t slot) {
                if (at == first[k + 1]) {
                    fits = false;
                    return;
                }
                order[at] = slot;
                ids[slot] = static_cast<uint32_t>(++at);
                if (k == kPad && s.At(slot).hasExtras)
                    if (ObjectExtras extras = s.Extras(slot); extras.outline)
                        outlines.push_back(
                            {static_cast<int64_t>(at), extras.outline, extras.outlineMirrored});
            });
            if (!fits || at != first[k + 1])
                return false;
        }
        return true;
    };
    bool sound = false;
    if (total >= kEncodeAheadFrom) {
        int middle = 1; // the kinds before it and from it hold about as many objects
        auto larger = [&](int m) { return std::max(first[m], total - first[m]); };
        for (int m = 2; m < kKindCount; ++m)
            if (larger(m) < larger(middle))
                middle = m;
        // The upper half on a thread of its own (here when none is to be
        // had); whatever it raises comes back through get().
        std::future<bool> upper;
        try {
            upper = std::async(std::launch::async, walk, middle, kKindCount);
        } catch (const std::system_error&) {
        }
        sound = walk(1, middle);
        sound = (upper.valid() ? upper.get() : walk(middle, kKindCount)) && sound;
    } else {
        sound = walk(1, kKindCount);
    }
    if (sound)
        return;
    // The counts and lists disagree: numbered as the lists hold them.
    for (int k = 1; k < kKindCount; ++k) {
        size_t count = 0;
        s.ForEach(b.byKind[k], kByKind, [&](uint32_t) { ++count; });
        first[k + 1] = first[k] + count;
    }
    order.assign(first[kKindCount], kNone);
    outlines.clear();
    std::fill(ids.begin(), ids.end(), 0);
    walk(1, kKindCount);
}

void WriteBoard(sqlite3* db, BoardRec& b) {
    Store& s = Store::Get();
    Exec(db, kSchema);
    {
        Stmt st = Prepare(db, "INSERT INTO meta(key, value) VALUES(?, ?)");
        for (auto [k, v] : {std::pair{"format", kFormat}, std::pair{"version", kVersion}}) {
            BindText(st.get(), 1, k);
            BindText(st.get(), 2, v);
            Step(db, st.get());
        }
    }
    // Stable ids: objects numbered kind by kind, each kind in board order.
    std::vector<uint32_t> ids(s.ObjectSlotCount(), 0); // by slot; 0: not on this board
    std::vector<uint32_t> order;
    std::vector<KeptPadOutline> outlines; // pads' true outlines, in the same walk
    NumberObjects(b, order, ids, outlines);
    auto idOfSlot = [&](uint32_t slot) -> int64_t { return slot < ids.size() ? ids[slot] : 0; };
    {
        Stmt st = Prepare(db, "INSERT INTO board(key, value) VALUES(?, ?)");
        auto put = [&](const char* k, double v) {
            BindText(st.get(), 1, k);
            sqlite3_bind_double(st.get(), 2, v);
            Step(db, st.get());
        };
        auto putText = [&](const char* k, const std::string& v) {
            BindText(st.get(), 1, k);
            BindText(st.get(), 2, v);
            Step(db, st.get());
        };
        put("origin_x", b.originX);
        put("origin_y", b.originY);
        put("cursor_x", b.cursorX);
        put("cursor_y", b.cursorY);
        put("display_unit", b.displayUnit);
        put("is_library", b.isLibrary);
        put("current_layer", b.currentLayer);
        put("drill_guide_hole_size", b.drillGuideHoleSize);
        put("outline", b.outline == kNone ? 0 : static_cast<double>(idOfSlot(b.outline)));
        for (auto [prefix, d] : {std::pair{"dielectric_top_", &b.dielTop},
                                 std::pair{"dielectric_bottom_", &b.dielBottom}}) {
            std::string p = prefix;
            put((p + "kind").c_str(), d->Kind);
            put((p + "height").c_str(), d->Height);
            put((p + "constant").c_str(), d->Constant);
            putText((p + "material").c_str(),
                    std::string(d->Material, strnlen(d->Material, sizeof d->Material)));
        }
        for (size_t i = 0; i < b.grids.v.size(); ++i)
            put(("grid_" + std::to_string(i)).c_str(), b.grids.v[i]);
        if (!outlines.empty()) {
            const std::string packed = PackPadOutlines(outlines);
            BindText(st.get(), 1, kPadOutlinesKey);
            sqlite3_bind_blob(st.get(), 2, packed.data(), static_cast<int>(packed.size()),
                              SQLITE_TRANSIENT);
            Step(db, st.get());
        }
        for (const auto& [key, value] : b.hostData) {
            BindText(st.get(), 1, kHostDataPrefix + key);
            // The board keeps the value alive while the row is written.
            sqlite3_bind_blob(st.get(), 2, value.data(), static_cast<int>(value.size()),
                              SQLITE_STATIC);
            Step(db, st.get());
        }
    }
    WriteLayers(db, b);
    WriteObjects(db, order, idOfSlot);
}

// Why writing `temp` failed: SQLite calls a write cut short by the
// process's file-size limit (ulimit -f) a "disk I/O error"; that case is named.
std::string WriteFailure(const std::string& temp, const std::string& sqliteMessage) {
    struct rlimit limit {};
    struct stat written {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        ::stat(temp.c_str(), &written) == 0 &&
        static_cast<rlim_t>(written.st_size) >= limit.rlim_cur)
        return std::string(std::strerror(EFBIG)) + " (the file-size limit is " +
               std::to_string(limit.rlim_cur) + " bytes)";
    return sqliteMessage;
}

std::atomic<unsigned> saveCounter{0};

const char* const kSavingInfix = ".saving-";

// Boards of this many objects or more are saved in 64 KiB pages.
constexpr size_t kLargePagesFrom = 20000;

} // namespace

std::string SaveBoardDocument(uint32_t boardSlot, const std::string& path) {
    BoardRec& b = Store::Get().BoardAt(boardSlot);
    const std::string folder = Folder(path);
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return "cannot save " + path + ": folder " + folder + " does not exist";
    if (::access(folder.c_str(), W_OK) != 0)
        return "cannot save " + path + ": folder " + folder + " is not writable (" +
               std::strerror(errno) + ")";
    const size_t slash = path.find_last_of('/');
    HostSdk::RemoveStaleTemporaryFiles(
        folder, (slash == std::string::npos ? path : path.substr(slash + 1)) + kSavingInfix);
    const std::string temp = path + kSavingInfix + std::to_string(::getpid()) + "-" +
                             std::to_string(saveCounter.fetch_add(1));
    const HostSdk::THeldSignals held;
    ::unlink(temp.c_str());
    std::string error;
    {
        sqlite3* raw = nullptr;
        // Only this thread writes through the connection: no locking per call.
        int rc = sqlite3_open_v2(temp.c_str(), &raw,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                 nullptr);
        Db db(raw);
        if (rc != SQLITE_OK) {
            error = "cannot save " + path + ": " + (raw ? sqlite3_errmsg(raw) : "out of memory");
        } else {
            try {
                // The temporary file only becomes the document once it is
                // complete, so it needs no rollback journal of its own.
                // A large board is written and read whole: large pages take
                // it in fewer calls (a small one would only grow by them).
                size_t objects = 0;
                for (int k = 1; k < kKindCount; ++k)
                    objects += b.byKind[k].count;
                if (objects >= kLargePagesFrom)
                    Exec(db.get(), "PRAGMA page_size=65536");
                Exec(db.get(), "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;");
                Exec(db.get(), "BEGIN");
                WriteBoard(db.get(), b);
                Exec(db.get(), "COMMIT");
            } catch (const SqlError& e) {
                error = "cannot save " + path + ": " + WriteFailure(temp, e.what);
            } catch (const std::bad_alloc&) {
                error = "cannot save " + path + ": out of memory";
            }
        }
    }
    if (error.empty() && !SyncPath(temp, false))
        error = "cannot save " + path + ": flushing to disk failed (" + std::strerror(errno) + ")";
    if (error.empty() && ::rename(temp.c_str(), path.c_str()) != 0)
        error = "cannot save " + path + ": " + std::strerror(errno);
    if (!error.empty()) {
        ::unlink(temp.c_str());
        return error;
    }
    SyncPath(folder, true);
    return {};
}

} // namespace corvane
