// Board documents: one SQLite file per board.
//
// A save writes the whole board into a fresh file beside the target, in one
// transaction, flushes it to disk and renames it over the target, so a crash
// or a kill at any moment leaves either the previous document or the new one,
// never a mixture. Opening checks that the file is an SQLite database, that it
// is intact and that it carries this engine's schema before reading anything.
#include "engine/Records.h"

#include <sqlite3.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace corvane {

namespace {

constexpr const char* kFormat = "corvane-board";
constexpr const char* kVersion = "1";

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
CREATE TABLE objects(id INTEGER PRIMARY KEY, kind INTEGER NOT NULL, kind_name TEXT,
  container INTEGER, net INTEGER, layer INTEGER, bit_field INTEGER, bit_field2 INTEGER,
  bit_field3 INTEGER, idx INTEGER, moveable INTEGER, x1 INTEGER, y1 INTEGER, name TEXT,
  record BLOB NOT NULL);
)sql";

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;
struct StmtCloser {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtCloser>;

struct SqlError {
    std::string what;
};

void Exec(sqlite3* db, const char* sql) {
    char* msg = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &msg) != SQLITE_OK) {
        std::string m = msg ? msg : sqlite3_errmsg(db);
        sqlite3_free(msg);
        throw SqlError{m};
    }
}

Stmt Prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK)
        throw SqlError{sqlite3_errmsg(db)};
    return Stmt(s);
}

void Step(sqlite3* db, sqlite3_stmt* s) {
    if (sqlite3_step(s) != SQLITE_DONE)
        throw SqlError{sqlite3_errmsg(db)};
    sqlite3_reset(s);
}

void BindText(sqlite3_stmt* s, int i, const std::string& v) {
    sqlite3_bind_text(s, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
}

std::string ColumnText(sqlite3_stmt* s, int i) {
    const unsigned char* t = sqlite3_column_text(s, i);
    return t ? std::string(reinterpret_cast<const char*>(t),
                           static_cast<size_t>(sqlite3_column_bytes(s, i)))
             : std::string();
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

std::string NameOf(const ObjectRec& o) {
    switch (o.kind) {
    case kNet:
        return static_cast<NetBody*>(o.body.get())->name;
    case kRule:
        return static_cast<RuleBody*>(o.body.get())->name;
    case kClass:
        return static_cast<ClassBody*>(o.body.get())->name;
    case kEmbedded:
        return static_cast<EmbeddedBody*>(o.body.get())->name;
    case kPad:
        return static_cast<PadBody*>(o.body.get())->name;
    case kText:
        return static_cast<TextBody*>(o.body.get())->text;
    case kComponent:
        return static_cast<ComponentBody*>(o.body.get())->pattern;
    default:
        return {};
    }
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
    std::unordered_map<uint32_t, int64_t> ids;
    std::vector<uint32_t> order;
    for (int k = 1; k < kKindCount; ++k)
        s.ForEach(b.byKind[k], kByKind, [&](uint32_t slot) {
            order.push_back(slot);
            ids.emplace(slot, static_cast<int64_t>(order.size()));
        });
    auto idOfSlot = [&](uint32_t slot) -> int64_t {
        auto f = ids.find(slot);
        return f == ids.end() ? 0 : f->second;
    };
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
    }
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
    {
        Stmt st = Prepare(db, "INSERT INTO objects VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
        BlobWriter w([&](intptr_t h) { return idOfSlot(s.ObjectSlot(h)); });
        size_t n = 0;
        for (uint32_t slot : order) {
            ObjectRec& o = s.At(slot);
            sqlite3_bind_int64(st.get(), 1, ++n > 0 ? static_cast<int64_t>(n) : 0);
            sqlite3_bind_int(st.get(), 2, o.kind);
            BindText(st.get(), 3, KindName(o.kind));
            if (o.container == kNone)
                sqlite3_bind_null(st.get(), 4);
            else
                sqlite3_bind_int64(st.get(), 4, idOfSlot(o.container));
            if (o.net == kNone)
                sqlite3_bind_null(st.get(), 5);
            else
                sqlite3_bind_int64(st.get(), 5, idOfSlot(o.net));
            sqlite3_bind_int(st.get(), 6, o.layer);
            sqlite3_bind_int(st.get(), 7, o.bitField);
            sqlite3_bind_int(st.get(), 8, o.bitField2);
            sqlite3_bind_int(st.get(), 9, o.bitField3);
            sqlite3_bind_int(st.get(), 10, o.index);
            sqlite3_bind_int(st.get(), 11, o.moveable);
            sqlite3_bind_int(st.get(), 12, o.x1);
            sqlite3_bind_int(st.get(), 13, o.y1);
            std::string name = NameOf(o);
            if (name.empty())
                sqlite3_bind_null(st.get(), 14);
            else
                BindText(st.get(), 14, name);
            w.out.clear();
            VisitBody(o.kind, o.body.get(), [&](auto& body) { body.visit(w); });
            sqlite3_bind_blob(st.get(), 15, w.out.data(), static_cast<int>(w.out.size()),
                              SQLITE_STATIC);
            Step(db, st.get());
        }
    }
}

std::atomic<unsigned> saveCounter{0};

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
    const std::string temp = path + ".saving-" + std::to_string(::getpid()) + "-" +
                             std::to_string(saveCounter.fetch_add(1));
    ::unlink(temp.c_str());
    std::string error;
    {
        sqlite3* raw = nullptr;
        int rc = sqlite3_open_v2(temp.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                                 nullptr);
        Db db(raw);
        if (rc != SQLITE_OK) {
            error = "cannot save " + path + ": " + (raw ? sqlite3_errmsg(raw) : "out of memory");
        } else {
            try {
                // The temporary file only becomes the document once it is
                // complete, so it needs no rollback journal of its own.
                Exec(db.get(), "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;");
                Exec(db.get(), "BEGIN");
                WriteBoard(db.get(), b);
                Exec(db.get(), "COMMIT");
            } catch (const SqlError& e) {
                error = "cannot save " + path + ": " + e.what;
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

namespace {

// The stack layers must form one chain from a head without a previous layer,
// each link matched by its reverse, so that a walk along it ends; layers out
// of the stack have no neighbours.
bool StackIsOneChain(const BoardRec& b) {
    int inStack = 0, head = 0;
    for (int l = 1; l < kLayerCount; ++l) {
        const LayerRec& r = b.layers[l];
        if (!r.inStack) {
            if (r.prev != 0 || r.next != 0)
                return false;
            continue;
        }
        ++inStack;
        if (r.prev == 0) {
            if (head != 0)
                return false;
            head = l;
        }
        if ((r.prev != 0 && b.layers[r.prev].next != l) ||
            (r.next != 0 && b.layers[r.next].prev != l))
            return false;
    }
    int walked = 0;
    for (int at = head; at != 0 && walked <= inStack; at = b.layers[at].next)
        ++walked;
    return inStack > 0 && walked == inStack;
}

std::string ReadBoard(sqlite3* db, uint32_t boardSlot) {
    Store& s = Store::Get();
    BoardRec& b = s.BoardAt(boardSlot);
    {
        Stmt st = Prepare(db, "SELECT key, value FROM board");
        while (sqlite3_step(st.get()) == SQLITE_ROW) {
            std::string k = ColumnText(st.get(), 0);
            double v = sqlite3_column_double(st.get(), 1);
            auto i = [&] { return static_cast<int32_t>(v); };
            if (k == "origin_x")
                b.originX = i();
            else if (k == "origin_y")
                b.originY = i();
            else if (k == "cursor_x")
                b.cursorX = i();
            else if (k == "cursor_y")
                b.cursorY = i();
            else if (k == "display_unit")
                b.displayUnit = i();
            else if (k == "is_library")
                b.isLibrary = i();
            else if (k == "current_layer")
                b.currentLayer = i();
            else if (k == "drill_guide_hole_size")
                b.drillGuideHoleSize = i();
            else if (k.rfind("grid_", 0) == 0) {
                size_t n = static_cast<size_t>(std::atoi(k.c_str() + 5));
                if (n < b.grids.v.size())
                    b.grids.v[n] = v;
            } else if (k.rfind("dielectric_", 0) == 0) {
                PcbApiDielectric& d = k.rfind("dielectric_top_", 0) == 0 ? b.dielTop : b.dielBottom;
                std::string field = k.substr(k.find_last_of('_') + 1);
                if (field == "kind")
                    d.Kind = i();
                else if (field == "height")
                    d.Height = i();
                else if (field == "constant")
                    d.Constant = v;
                else if (field == "material") {
                    std::string m = ColumnText(st.get(), 1);
                    std::memset(d.Material, 0, sizeof d.Material);
                    std::memcpy(d.Material, m.data(), std::min(m.size(), sizeof d.Material - 1));
                }
            }
        }
    }
    {
        Stmt st = Prepare(db, "SELECT * FROM layers ORDER BY id");
        while (sqlite3_step(st.get()) == SQLITE_ROW) {
            int l = sqlite3_column_int(st.get(), 0);
            if (l < 1 || l >= kLayerCount)
                return "corrupt document: layer " + std::to_string(l) + " out of range";
            LayerRec& r = b.layers[l];
            r.name = ColumnText(st.get(), 1);
            r.copperThickness = sqlite3_column_int(st.get(), 2);
            r.dielectric.Kind = sqlite3_column_int(st.get(), 3);
            r.dielectric.Height = sqlite3_column_int(st.get(), 4);
            r.dielectric.Constant = sqlite3_column_double(st.get(), 5);
            std::string m = ColumnText(st.get(), 6);
            std::memset(r.dielectric.Material, 0, sizeof r.dielectric.Material);
            std::memcpy(r.dielectric.Material, m.data(),
                        std::min(m.size(), sizeof r.dielectric.Material - 1));
            r.isDisplayed = sqlite3_column_int(st.get(), 7);
            r.mechanicalEnabled = sqlite3_column_int(st.get(), 8);
            r.inStack = sqlite3_column_int(st.get(), 9) != 0;
            r.prev = sqlite3_column_int(st.get(), 10);
            r.next = sqlite3_column_int(st.get(), 11);
            r.planeNet = ColumnText(st.get(), 12);
            if (r.prev < 0 || r.prev >= kLayerCount || r.next < 0 || r.next >= kLayerCount)
                return "corrupt document: layer stack link out of range";
        }
    }
    if (!StackIsOneChain(b))
        return "corrupt document: the layer stack is not one chain of layers";
    {
        Stmt st = Prepare(db, "SELECT * FROM layer_pairs ORDER BY position");
        while (sqlite3_step(st.get()) == SQLITE_ROW) {
            LayerPairRec p;
            p.name = ColumnText(st.get(), 1);
            p.low = sqlite3_column_int(st.get(), 2);
            p.high = sqlite3_column_int(st.get(), 3);
            p.drillDrawing = sqlite3_column_int(st.get(), 4);
            p.drillGuide = sqlite3_column_int(st.get(), 5);
            p.substack = ColumnText(st.get(), 6);
            p.backDrill = sqlite3_column_int(st.get(), 7);
            b.pairs.push_back(std::move(p));
        }
    }
    // Objects: create them all free, then resolve references, then put them
    // into their components and onto the board (nets first, so that members
    // join their net lists).
    std::unordered_map<int64_t, uint32_t> slotOfId;
    struct Pending {
        uint32_t slot;
        int64_t container, net;
    };
    std::vector<Pending> pending;
    int64_t outlineId = 0;
    {
        Stmt st = Prepare(db, "SELECT value FROM board WHERE key = 'outline'");
        if (sqlite3_step(st.get()) == SQLITE_ROW)
            outlineId = sqlite3_column_int64(st.get(), 0);
    }
    Stmt st = Prepare(db, "SELECT id, kind, container, net, layer, bit_field, bit_field2, "
                          "bit_field3, idx, moveable, x1, y1, record FROM objects ORDER BY id");
    while (true) {
        int rc = sqlite3_step(st.get());
        if (rc == SQLITE_DONE)
            break;
        if (rc != SQLITE_ROW)
            return std::string("corrupt document: ") + sqlite3_errmsg(db);
        int64_t id = sqlite3_column_int64(st.get(), 0);
        int32_t kind = sqlite3_column_int(st.get(), 1);
        uint32_t slot = s.CreateObject(kind, true);
        if (slot == kNone)
            return "corrupt document: object " + std::to_string(id) + " has unknown kind " +
                   std::to_string(kind);
        ObjectRec& o = s.At(slot);
        int32_t layer = sqlite3_column_int(st.get(), 4);
        if (layer < 0 || layer >= kLayerCount) {
            s.DestroyObject(slot);
            return "corrupt document: object " + std::to_string(id) + " has layer out of range";
        }
        o.layer = layer;
        o.bitField = static_cast<uint16_t>(sqlite3_column_int(st.get(), 5));
        o.bitField2 = static_cast<uint8_t>(sqlite3_column_int(st.get(), 6));
        o.bitField3 = static_cast<uint16_t>(sqlite3_column_int(st.get(), 7));
        o.index = static_cast<uint16_t>(sqlite3_column_int(st.get(), 8));
        o.moveable = sqlite3_column_int(st.get(), 9);
        o.x1 = sqlite3_column_int(st.get(), 10);
        o.y1 = sqlite3_column_int(st.get(), 11);
        BlobReader r(sqlite3_column_blob(st.get(), 12),
                     static_cast<size_t>(sqlite3_column_bytes(st.get(), 12)));
        VisitBody(kind, o.body.get(), [&](auto& body) { body.visit(r); });
        if (r.bad || !r.AtEnd()) {
            s.DestroyObject(slot);
            return "corrupt document: record of object " + std::to_string(id) + " is damaged";
        }
        if (kind == kClass) {
            auto* c = static_cast<ClassBody*>(o.body.get());
            c->memberSet.insert(c->members.begin(), c->members.end());
        }
        slotOfId.emplace(id, slot);
        pending.push_back(
            {slot,
             sqlite3_column_type(st.get(), 2) == SQLITE_NULL ? 0
                                                             : sqlite3_column_int64(st.get(), 2),
             sqlite3_column_type(st.get(), 3) == SQLITE_NULL ? 0
                                                             : sqlite3_column_int64(st.get(), 3)});
    }
    auto freeAll = [&] {
        for (const auto& p : pending)
            if (s.At(p.slot).kind != 0 && s.At(p.slot).board == kNone)
                s.DestroyObject(p.slot);
    };
    auto slotFor = [&](int64_t id) -> uint32_t {
        auto f = slotOfId.find(id);
        return f == slotOfId.end() ? kNone : f->second;
    };
    RefVisitor refs{[&](Ref& ref) {
        uint32_t slot = ref.handle ? slotFor(static_cast<int64_t>(ref.handle)) : kNone;
        ref.handle = slot == kNone ? 0 : s.ObjectHandle(slot);
    }};
    for (const auto& p : pending) {
        ObjectRec& o = s.At(p.slot);
        VisitBody(o.kind, o.body.get(), [&](auto& body) { body.visit(refs); });
        if (p.container) {
            uint32_t c = slotFor(p.container);
            if (c == kNone || !s.AddToComponent(p.slot, c)) {
                freeAll();
                return "corrupt document: object with a bad component reference";
            }
        }
        if (p.net) {
            uint32_t n = slotFor(p.net);
            if (n == kNone || s.At(n).kind != kNet) {
                freeAll();
                return "corrupt document: object with a bad net reference";
            }
            s.At(p.slot).net = n;
            s.At(p.slot).netGen = s.At(n).gen;
        }
    }
    for (const auto& p : pending)
        if (s.At(p.slot).kind == kNet && !s.AttachToBoard(p.slot, boardSlot)) {
            freeAll();
            return "corrupt document: two nets share the name '" +
                   static_cast<NetBody*>(s.At(p.slot).body.get())->name + "'";
        }
    for (const auto& p : pending)
        if (s.At(p.slot).board == kNone)
            s.AttachToBoard(p.slot, boardSlot);
    b.outline = outlineId ? slotFor(outlineId) : kNone;
    if (b.outline != kNone && s.At(b.outline).kind != kBoardOutline)
        b.outline = kNone;
    return {};
}

} // namespace

std::string LoadBoardDocument(const std::string& path, uint32_t& boardSlot) {
    boardSlot = kNone;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return "cannot open " + path + ": " + std::strerror(errno);
    char header[16] = {};
    size_t got = std::fread(header, 1, sizeof header, f);
    std::fclose(f);
    if (got < sizeof header || std::memcmp(header, "SQLite format 3", 16) != 0)
        return path + " is not a board document (not an SQLite database)";
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    Db db(raw);
    if (rc != SQLITE_OK)
        return "cannot open " + path + ": " + (raw ? sqlite3_errmsg(raw) : "out of memory");
    try {
        {
            Stmt st = Prepare(db.get(), "PRAGMA quick_check");
            std::string result;
            if (sqlite3_step(st.get()) == SQLITE_ROW)
                result = ColumnText(st.get(), 0);
            else
                result = sqlite3_errmsg(db.get());
            if (result != "ok") {
                for (char& c : result)
                    if (c == '\n' || c == '\r')
                        c = ' ';
                return path + " is damaged: " + result;
            }
        }
        std::string format, version;
        {
            sqlite3_stmt* probe = nullptr;
            if (sqlite3_prepare_v2(db.get(), "SELECT key, value FROM meta", -1, &probe, nullptr) !=
                SQLITE_OK)
                return path + " is not a board document (wrong schema: no meta table)";
            Stmt st(probe);
            while (sqlite3_step(st.get()) == SQLITE_ROW) {
                std::string k = ColumnText(st.get(), 0);
                if (k == "format")
                    format = ColumnText(st.get(), 1);
                else if (k == "version")
                    version = ColumnText(st.get(), 1);
            }
        }
        if (format != kFormat)
            return path + " is not a board document (wrong schema)";
        if (version != kVersion)
            return path + " has unsupported document version '" + version + "'";
        boardSlot = Store::Get().NewBoard(path);
        std::string error = ReadBoard(db.get(), boardSlot);
        if (!error.empty()) {
            Store::Get().CloseBoard(boardSlot);
            return path + ": " + error;
        }
        Store::Get().BoardAt(boardSlot).modified = false;
        return {};
    } catch (const SqlError& e) {
        if (boardSlot != kNone && Store::Get().BoardHandle(boardSlot))
            Store::Get().CloseBoard(boardSlot);
        return path + " is damaged: " + e.what;
    }
}

} // namespace corvane
