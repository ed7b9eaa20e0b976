// Board documents: opening one.
//
// Opening checks that the file is an SQLite database, that it is intact and
// that it carries this engine's schema before reading anything; then every
// value is range-checked before it is converted, every record is held to what
// the entry points would accept, and a document refused part-way leaves
// nothing behind in the store.
#include "engine/BatchRing.h"
#include "engine/DocumentSql.h"
#include "engine/PadOutlines.h"
#include "engine/PendingObjects.h"
#include "engine/Records.h"
#include "sdk/TemporaryFiles.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <future>
#include <memory>
#include <optional>
#include <system_error>

namespace corvane {

namespace {

using namespace document;

std::string ColumnText(sqlite3_stmt* s, int i) {
    const unsigned char* t = sqlite3_column_text(s, i);
    return t ? std::string(reinterpret_cast<const char*>(t),
                           static_cast<size_t>(sqlite3_column_bytes(s, i)))
             : std::string();
}

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

constexpr int64_t kInt32Min = INT32_MIN;
constexpr int64_t kInt32Max = INT32_MAX;

// A whole number held in a column, INTEGER or REAL without a fraction, that
// lies in [lo, hi]. Anything else (text, null, a fraction, a value too large)
// is refused before it is converted.
bool WholeIn(sqlite3_stmt* st, int col, int64_t lo, int64_t hi, int64_t& out) {
    // The column's value once, its type and number from it (a board's
    // columns are read by the million).
    sqlite3_value* value = sqlite3_column_value(st, col);
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
        out = sqlite3_value_int64(value);
        return out >= lo && out <= hi;
    case SQLITE_FLOAT: {
        const double v = sqlite3_value_double(value);
        constexpr double kExact = 9007199254740992.0; // 2^53
        if (!std::isfinite(v) || v != std::trunc(v) || v < -kExact || v > kExact)
            return false;
        out = static_cast<int64_t>(v);
        return out >= lo && out <= hi;
    }
    default:
        return false;
    }
}

// Control characters of a name turned into '?', so that a message about it
// stays on one line.
std::string Printable(const std::string& name) {
    std::string out = name.substr(0, 200);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return out;
}

// Reads the columns of one row, each range-checked; the first value out of
// range is kept as the row's problem and later values read as 0.
class RowReader {
public:
    RowReader(sqlite3_stmt* st, std::string where) : st_(st), where_(std::move(where)) {}
    // A row of the objects table: its place is named only when it has a
    // problem.
    RowReader(sqlite3_stmt* st, int64_t objectId) : st_(st), objectId_(objectId) {}

    int64_t Whole(int col, const char* field, int64_t lo = kInt32Min, int64_t hi = kInt32Max) {
        int64_t v = 0;
        if (!problem_.empty())
            return 0;
        if (!WholeIn(st_, col, lo, hi, v)) {
            problem_ = Where() + ": " + field + " " + Shown(col) + " is out of range";
            return 0;
        }
        return v;
    }
    int32_t Int(int col, const char* field, int64_t lo = kInt32Min, int64_t hi = kInt32Max) {
        return static_cast<int32_t>(Whole(col, field, lo, hi));
    }
    double Real(int col, const char* field) {
        const int type = sqlite3_column_type(st_, col);
        const double v = sqlite3_column_double(st_, col);
        if (problem_.empty() &&
            ((type != SQLITE_FLOAT && type != SQLITE_INTEGER) || !std::isfinite(v)))
            problem_ = Where() + ": " + field + " " + Shown(col) + " is not a number";
        return problem_.empty() ? v : 0.0;
    }
    // Null when the column is NULL, else the id (which must be positive).
    int64_t OptionalId(int col, const char* field) {
        if (sqlite3_column_type(st_, col) == SQLITE_NULL)
            return 0;
        return Whole(col, field, 1, INT64_MAX);
    }
    const std::string& Problem() const { return problem_; }

private:
    std::string Shown(int col) const {
        switch (sqlite3_column_type(st_, col)) {
        case SQLITE_NULL:
            return "(null)";
        case SQLITE_BLOB:
            return "(blob)";
        default:
            return Printable(ColumnText(st_, col));
        }
    }
    std::string Where() const {
        return objectId_ < 0 ? where_ : "corrupt document: object " + std::to_string(objectId_);
    }
    sqlite3_stmt* st_;
    std::string where_;
    int64_t objectId_ = -1;
    std::string problem_;
};

// The values of a record that the engine's entry points would refuse to
// write: negative sizes, layers out of range, kinds and modes it does not
// know, hole lists that do not add up. Empty when the record is sound.
struct RecordCheck {
    std::string problem;
    void Size(const char* field, int32_t v) {
        if (problem.empty() && v < 0)
            problem = std::string(field) + " " + std::to_string(v) + " is negative";
    }
    void Range(const char* field, int32_t v, int32_t lo, int32_t hi) {
        if (problem.empty() && (v < lo || v > hi))
            problem = std::string(field) + " " + std::to_string(v) + " is out of range";
    }
};

std::string RecordProblem(int32_t kind, Body* body) {
    RecordCheck c;
    switch (kind) {
    case kTrack:
        c.Size("width", static_cast<TrackBody*>(body)->shared.get().width);
        break;
    case kArc: {
        auto* a = static_cast<ArcBody*>(body);
        c.Size("radius", a->radius);
        c.Size("line width", a->lineWidth);
        break;
    }
    case kVia: {
        auto* v = static_cast<ViaBody*>(body);
        c.Size("size", v->size);
        c.Size("hole size", v->holeSize);
        c.Range("low layer", v->lowLayer, 0, kLayerCount - 1);
        c.Range("high layer", v->highLayer, 0, kLayerCount - 1);
        break;
    }
    case kPad: {
        auto* pad = static_cast<PadBody*>(body);
        const PadShared* p = &pad->shared.get();
        for (int32_t v : {p->topX, p->topY, p->midX, p->midY, p->botX, p->botY})
            c.Size("pad size", v);
        c.Size("hole size", p->holeSize);
        c.Range("stack mode", p->mode, 0, 2);
        // Every layer takes the entry of the run it lies in, and every run
        // holds a layer: the runs' entries are the table's, in layer order.
        const PadLayerTable::Run* runs = pad->layers.Runs();
        for (int i = 0; i < pad->layers.RunCount(); ++i) {
            const PadLayerEntry& e = runs[i].entry;
            c.Size("layer pad size", e.xSize);
            c.Size("layer pad size", e.ySize);
            c.Range("layer pad shape", e.shape, 0, 9);
            c.Range("corner radius percentage", e.crPct, 0, 100);
        }
        break;
    }
    case kText: {
        const TextShared* t = &static_cast<TextBody*>(body)->shared.get();
        c.Size("size", t->size);
        c.Size("line width", t->lineWidth);
        break;
    }
    case kRegion: {
        auto* r = static_cast<RegionBody*>(body);
        int64_t sum = 0;
        for (int32_t h : r->holeSizes) {
            c.Size("hole point count", h);
            sum += h;
        }
        if (c.problem.empty() && sum != static_cast<int64_t>(r->holePoints.size()))
            c.problem = "hole sizes do not add up to the hole points";
        break;
    }
    case kClass:
        c.Range("member kind", static_cast<ClassBody*>(body)->memberKind, 0, 8);
        break;
    case kRule:
        c.Range("rule kind", static_cast<RuleBody*>(body)->ruleKind, 0, kRuleKindCount - 1);
        break;
    default:
        break;
    }
    return c.problem;
}

// The board table: key/value rows. Unknown keys are ignored.
std::string ReadBoardValues(sqlite3* db, BoardRec& b, int64_t& outlineId,
                            std::string& padOutlines) {
    struct IntKey {
        const char* key;
        int32_t BoardRec::*field;
        int64_t lo, hi;
    };
    static const IntKey ints[] = {
        {"origin_x", &BoardRec::originX, kInt32Min, kInt32Max},
        {"origin_y", &BoardRec::originY, kInt32Min, kInt32Max},
        {"cursor_x", &BoardRec::cursorX, kInt32Min, kInt32Max},
        {"cursor_y", &BoardRec::cursorY, kInt32Min, kInt32Max},
        {"display_unit", &BoardRec::displayUnit, kInt32Min, kInt32Max},
        {"is_library", &BoardRec::isLibrary, kInt32Min, kInt32Max},
        {"current_layer", &BoardRec::currentLayer, 0, kLayerCount - 1},
        {"drill_guide_hole_size", &BoardRec::drillGuideHoleSize, kInt32Min, kInt32Max},
    };
    Stmt st = Prepare(db, "SELECT key, value FROM board");
    while (sqlite3_step(st.get()) == SQLITE_ROW) {
        const std::string k = ColumnText(st.get(), 0);
        RowReader row(st.get(), "board value");
        const IntKey* intKey = nullptr;
        for (const IntKey& i : ints)
            if (k == i.key)
                intKey = &i;
        if (intKey) {
            b.*intKey->field = row.Int(1, intKey->key, intKey->lo, intKey->hi);
        } else if (k.rfind(kHostDataPrefix, 0) == 0) {
            // Kept as the host wrote it, text or bytes.
            const void* bytes = sqlite3_column_blob(st.get(), 1);
            b.hostData[k.substr(std::strlen(kHostDataPrefix))] =
                bytes ? std::string(static_cast<const char*>(bytes),
                                    static_cast<size_t>(sqlite3_column_bytes(st.get(), 1)))
                      : std::string();
        } else if (k == kPadOutlinesKey) {
            const void* bytes = sqlite3_column_blob(st.get(), 1);
            padOutlines.assign(bytes ? static_cast<const char*>(bytes) : "",
                               static_cast<size_t>(sqlite3_column_bytes(st.get(), 1)));
        } else if (k == "outline") {
            outlineId = row.Whole(1, "outline", 0, INT64_MAX);
        } else if (k.rfind("grid_", 0) == 0) {
            const std::string digits = k.substr(5);
            size_t n = b.grids.v.size();
            if (!digits.empty() && digits.size() <= 2 &&
                digits.find_first_not_of("0123456789") == std::string::npos)
                n = static_cast<size_t>(std::stoi(digits));
            if (n < b.grids.v.size())
                b.grids.v[n] = row.Real(1, k.c_str());
        } else if (k.rfind("dielectric_top_", 0) == 0 || k.rfind("dielectric_bottom_", 0) == 0) {
            PcbApiDielectric& d = k.rfind("dielectric_top_", 0) == 0 ? b.dielTop : b.dielBottom;
            const std::string field = k.substr(k.find_last_of('_') + 1);
            if (field == "kind")
                d.Kind = row.Int(1, k.c_str());
            else if (field == "height")
                d.Height = row.Int(1, k.c_str(), 0, kInt32Max);
            else if (field == "constant")
                d.Constant = row.Real(1, k.c_str());
            else if (field == "material") {
                std::string m = ColumnText(st.get(), 1);
                std::memset(d.Material, 0, sizeof d.Material);
                std::memcpy(d.Material, m.data(), std::min(m.size(), sizeof d.Material - 1));
            }
        }
        if (!row.Problem().empty())
            return row.Problem();
    }
    return {};
}

std::string ReadLayers(sqlite3* db, BoardRec& b) {
    Stmt st = Prepare(db, "SELECT * FROM layers ORDER BY id");
    while (sqlite3_step(st.get()) == SQLITE_ROW) {
        int64_t id = 0;
        if (!WholeIn(st.get(), 0, 1, kLayerCount - 1, id))
            return "layer " + Printable(ColumnText(st.get(), 0)) + " out of range";
        RowReader row(st.get(), "layer " + std::to_string(id));
        LayerRec& r = b.layers[id];
        r.name = ColumnText(st.get(), 1);
        r.copperThickness = row.Int(2, "copper thickness", 0, kInt32Max);
        r.dielectric.Kind = row.Int(3, "dielectric kind");
        r.dielectric.Height = row.Int(4, "dielectric height", 0, kInt32Max);
        r.dielectric.Constant = row.Real(5, "dielectric constant");
        std::string m = ColumnText(st.get(), 6);
        std::memset(r.dielectric.Material, 0, sizeof r.dielectric.Material);
        std::memcpy(r.dielectric.Material, m.data(),
                    std::min(m.size(), sizeof r.dielectric.Material - 1));
        r.isDisplayed = row.Int(7, "displayed", 0, 1);
        r.mechanicalEnabled = row.Int(8, "mechanical enabled", 0, 1);
        r.inStack = row.Int(9, "in stack", 0, 1) != 0;
        r.prev = row.Int(10, "previous layer", 0, kLayerCount - 1);
        r.next = row.Int(11, "next layer", 0, kLayerCount - 1);
        r.planeNet = ColumnText(st.get(), 12);
        if (!row.Problem().empty())
            return row.Problem();
    }
    if (!StackIsOneChain(b))
        return "the layer stack is not one chain of layers";
    return {};
}

std::string ReadLayerPairs(sqlite3* db, BoardRec& b) {
    Stmt st = Prepare(db, "SELECT * FROM layer_pairs ORDER BY position");
    while (sqlite3_step(st.get()) == SQLITE_ROW) {
        RowReader row(st.get(), "layer pair " + std::to_string(b.pairs.size() + 1));
        LayerPairRec p;
        p.name = ColumnText(st.get(), 1);
        p.low = row.Int(2, "low layer");
        p.high = row.Int(3, "high layer");
        p.drillDrawing = row.Int(4, "drill drawing", 0, 1);
        p.drillGuide = row.Int(5, "drill guide", 0, 1);
        p.substack = ColumnText(st.get(), 6);
        p.backDrill = row.Int(7, "back drill", 0, 1);
        if (!row.Problem().empty())
            return row.Problem();
        b.pairs.push_back(std::move(p));
    }
    return {};
}

// Every reference of a record, from the document's ids to live handles; an id
// that names no object of the document is refused.
struct RefResolver {
    Store& s;
    const PendingObjects& pending;
    std::string problem;
    template <class T> void operator()(const char*, T&) {}
    void operator()(const char* field, Ref& r) {
        if (r.handle == 0)
            return;
        const uint32_t found = pending.SlotOf(static_cast<int64_t>(r.handle));
        if (found == kNone) {
            if (problem.empty())
                problem = std::string(field) + " names object " + std::to_string(r.handle) +
                          ", which the document does not hold";
            r.handle = 0;
            return;
        }
        r.handle = s.ObjectHandle(found);
    }
};

// Rows come kind by kind, so that each object read lies far (in the store's
// slots) from the component it belongs to and from its neighbours in a
// component's list. Before any of them is linked, a component's primitives
// and the component move next to one another, which keeps their links short.
void GatherComponents(Store& s, PendingObjects& items) {
    const size_t n = items.Size();
    std::vector<uint32_t> order(n);
    for (uint32_t i = 0; i < n; ++i)
        order[i] = i;
    auto group = [&](uint32_t i) {
        const int64_t container = items.Container(i);
        return container ? container : items.Id(i);
    };
    // Items are in ascending order of id: within a group, too. Ids are
    // numbered from 1 without gaps in a document this engine saved, so the
    // groups are counted into place; ids far apart are sorted.
    int64_t highest = 0;
    for (uint32_t i = 0; i < n; ++i)
        highest = std::max(highest, group(i));
    if (highest <= static_cast<int64_t>(4 * n + 16)) {
        std::vector<uint32_t> from(static_cast<size_t>(highest) + 2, 0);
        for (uint32_t i = 0; i < n; ++i)
            ++from[static_cast<size_t>(group(i)) + 1];
        for (size_t g = 1; g < from.size(); ++g)
            from[g] += from[g - 1];
        for (uint32_t i = 0; i < n; ++i)
            order[from[static_cast<size_t>(group(i))]++] = i;
    } else {
        std::stable_sort(order.begin(), order.end(),
                         [&](uint32_t a, uint32_t b) { return group(a) < group(b); });
    }
    // A fresh store gives a document's objects one run of slots, in the
    // order read: the order found is then the rearrangement itself.
    const uint32_t low = n ? items.Slot(0) : 0;
    bool oneRun = true;
    for (size_t i = 0; i < n && oneRun; ++i)
        oneRun = items.Slot(i) == low + i;
    if (oneRun) {
        if (n > 0)
            s.RearrangeRun(low, order);
        for (size_t k = 0; k < n; ++k)
            items.SetSlot(order[k], low + static_cast<uint32_t>(k));
        return;
    }
    std::vector<uint32_t> from(n), to(n);
    for (size_t i = 0; i < n; ++i)
        from[i] = items.Slot(i);
    std::vector<uint32_t> slots(from);
    // A fresh store gives slots in the order they were asked for.
    if (!std::is_sorted(slots.begin(), slots.end()))
        std::sort(slots.begin(), slots.end());
    for (size_t k = 0; k < n; ++k)
        to[order[k]] = slots[k];
    order = {};
    slots = {};
    s.Rearrange(from, to);
    for (size_t i = 0; i < n; ++i)
        items.SetSlot(i, to[i]);
}

// Boards of this many objects or more have their rows stepped through
// ahead, on a second thread.
constexpr size_t kRowsAheadFrom = 20000;

// The rows of the objects table (id, kind, container, net, record) stepped
// through on a thread of its own, their values copied into batches, for as
// long as each row is plainly sound: whole numbers in range, ids rising,
// the record a blob. The thread stops on the first row that is not, or at
// the end, or on an error, and leaves the statement there (StoppedAt) for
// the rows to be read on, with every check and its message, by the thread
// that made this object. The statement's connection is not used by that
// thread until then.
class RowsAhead {
public:
    struct Row {
        int64_t id, container, net; // container, net: 0 for none
        int32_t kind;
        uint32_t recordBytes;
        size_t recordAt; // in the batch's records
    };
    static constexpr size_t kRowsPerBatch = 2048;
    struct Batch {
        size_t count = 0;
        std::array<Row, kRowsPerBatch> rows;
        std::string records;
        const char* Record(const Row& row) const { return records.data() + row.recordAt; }
    };

    // Raises std::system_error when no thread is to be had; the statement is
    // then where it was.
    explicit RowsAhead(sqlite3_stmt* st)
        : ring_([] { return std::make_unique<Batch>(); }),
          stepper_(ring_, [this, st](auto& ring) { Step(st, ring); }) {}
    // The next batch, or null once the thread has stopped (see StoppedAt).
    const Batch* Next() { return ring_.ToTake(); }
    void Done() { ring_.Taken(); }
    // What the step of the row the thread stopped at answered: SQLITE_DONE
    // at the end, SQLITE_ROW for a row left to the caller, or an error.
    int StoppedAt() const { return stoppedAt_; }

private:
    using Ring = BatchRing<Batch, 4>;
    void Step(sqlite3_stmt* st, Ring& ring) {
        int64_t lastId = 0;
        for (Batch* batch = ring.ToFill(); batch != nullptr; batch = ring.ToFill()) {
            batch->count = 0;
            batch->records.clear();
            while (batch->count < kRowsPerBatch) {
                stoppedAt_ = sqlite3_step(st);
                Row row{};
                if (stoppedAt_ != SQLITE_ROW || !Sound(st, lastId, row))
                    break;
                const int bytes = sqlite3_column_bytes(st, 4);
                row.recordAt = batch->records.size();
                row.recordBytes = static_cast<uint32_t>(bytes);
                if (bytes > 0) // an empty blob has no bytes to point at
                    batch->records.append(static_cast<const char*>(sqlite3_column_blob(st, 4)),
                                          static_cast<size_t>(bytes));
                batch->rows[batch->count++] = row;
                lastId = row.id;
            }
            const bool stopped = batch->count < kRowsPerBatch;
            ring.Filled();
            if (stopped)
                return;
        }
    }
    // The row's values into `row` when every one is plainly in range.
    static bool Sound(sqlite3_stmt* st, int64_t lastId, Row& row) {
        auto whole = [st](int column) { return sqlite3_column_type(st, column) == SQLITE_INTEGER; };
        auto reference = [st](int column, int64_t& id) {
            const int type = sqlite3_column_type(st, column);
            id = type == SQLITE_INTEGER ? sqlite3_column_int64(st, column) : 0;
            return type == SQLITE_NULL || (type == SQLITE_INTEGER && id >= 1);
        };
        if (!whole(0) || !whole(1) || sqlite3_column_type(st, 4) != SQLITE_BLOB)
            return false;
        row.id = sqlite3_column_int64(st, 0);
        const int64_t kind = sqlite3_column_int64(st, 1);
        row.kind = static_cast<int32_t>(kind);
        return row.id > lastId && kind >= 1 && kind < kKindCount && reference(2, row.container) &&
               reference(3, row.net);
    }

    int stoppedAt_ = SQLITE_DONE;
    Ring ring_;
    FillingThread stepper_; // last: goes first, and the thread with it
};

std::string ReadObjects(sqlite3* db, uint32_t boardSlot, int64_t outlineId,
                        std::string_view padOutlines, int version) {
    Store& s = Store::Get();
    BoardRec& b = s.BoardAt(boardSlot);
    // Objects: create them all free, then resolve references, then put them
    // into their components and onto the board (nets first, so that members
    // join their net lists).
    PendingObjects pending(s);
    {
        // The highest id bounds the count of rows (ids are unique): enough
        // room for all of them at once, within reason for a damaged file.
        Stmt top = Prepare(db, "SELECT max(id) FROM objects");
        if (sqlite3_step(top.get()) == SQLITE_ROW &&
            sqlite3_column_type(top.get(), 0) == SQLITE_INTEGER)
            pending.Reserve(static_cast<size_t>(
                std::clamp<int64_t>(sqlite3_column_int64(top.get(), 0), 0, int64_t{1} << 24)));
    }
    // Version 3 keeps the fields every object has at the head of its record;
    // earlier versions in columns of their own.
    const bool commonInRecord = version >= 3;
    Stmt st = Prepare(
        db, commonInRecord ? "SELECT id, kind, container, net, record FROM objects ORDER BY id"
                           : "SELECT id, kind, container, net, layer, bit_field, bit_field2, "
                             "bit_field3, idx, moveable, x1, y1, record FROM objects ORDER BY id");
    const int recordColumn = commonInRecord ? 4 : 12;
    // One object from its row's values, once they are known to be in range.
    // The record's fields are checked here.
    auto take = [&](RowReader* row, int64_t id, int32_t kind, int64_t container, int64_t net,
                    const void* record, size_t recordBytes) -> std::string {
        auto where = [id] { return "object " + std::to_string(id); };
        const uint32_t slot = s.CreateObject(kind, true);
        if (slot == kNone)
            return "corrupt document: " + where() + " has unknown kind " + std::to_string(kind);
        pending.Add(slot, id, container, net);
        BlobReader r(record, recordBytes, version);
        ObjectCommon common;
        if (commonInRecord) {
            if (row != nullptr && !row->Problem().empty())
                return row->Problem();
            common.visit(r);
            if (r.bad)
                return "corrupt document: record of " + where() + " is damaged";
        } else {
            // The columns after the net, in the order of the fields.
            struct {
                RowReader& row;
                int column;
                void operator()(const char* field, int32_t& v) { v = row.Int(column++, field); }
            } columns{*row, 4};
            common.visit(columns);
            if (!row->Problem().empty())
                return row->Problem();
        }
        if (const std::string problem = common.Problem(); !problem.empty())
            return "corrupt document: " + where() + ": " + problem;
        ObjectRec& o = s.At(slot);
        o.layer = static_cast<uint8_t>(common.layer);
        ObjectExtras extras;
        extras.bitField = static_cast<uint16_t>(common.bitField);
        extras.bitField2 = static_cast<uint8_t>(common.bitField2);
        extras.bitField3 = static_cast<uint16_t>(common.bitField3);
        extras.index = static_cast<uint16_t>(common.index);
        s.SetExtras(slot, extras);
        o.moveable = static_cast<uint32_t>(common.moveable);
        o.x1 = common.x1;
        o.y1 = common.y1;
        if ((container || net) && !IsPrimitiveKind(kind))
            return "corrupt document: " + where() + " is a " + KindName(kind) +
                   " and cannot belong to a net or a component";
        VisitBody(kind, o.body.get(), [&](auto& body) { body.visit(r); });
        if (r.bad || !r.AtEnd())
            return "corrupt document: record of " + where() + " is damaged";
        const std::string problem = RecordProblem(kind, o.body.get());
        if (!problem.empty())
            return "corrupt document: " + where() + ": " + problem;
        if (kind == kClass) {
            auto* c = static_cast<ClassBody*>(o.body.get());
            c->IndexMembers();
        }
        return {};
    };
    // A large board's rows are stepped through on a second thread, as far as
    // they are plainly sound, while this one makes their objects; the first
    // row that is not (and every row after it) is read here, as rows are
    // without that thread.
    int rc = SQLITE_ROW;
    bool stepped = false; // rc is the step of the current row
    std::optional<RowsAhead> ahead;
    if (commonInRecord && pending.Capacity() >= kRowsAheadFrom) {
        try {
            ahead.emplace(st.get());
        } catch (const std::system_error&) { // no thread to be had: all rows read here
        }
    }
    if (ahead) {
        while (const RowsAhead::Batch* batch = ahead->Next()) {
            for (size_t i = 0; i < batch->count; ++i) {
                const RowsAhead::Row& row = batch->rows[i];
                if (std::string problem = take(nullptr, row.id, row.kind, row.container, row.net,
                                               batch->Record(row), row.recordBytes);
                    !problem.empty())
                    return problem;
            }
            ahead->Done();
        }
        rc = ahead->StoppedAt();
        stepped = true;
        ahead.reset();
    }
    while (true) {
        if (!stepped)
            rc = sqlite3_step(st.get());
        stepped = false;
        if (rc == SQLITE_DONE)
            break;
        if (rc != SQLITE_ROW)
            return std::string("corrupt document: ") + sqlite3_errmsg(db);
        int64_t id = 0;
        if (!WholeIn(st.get(), 0, 1, INT64_MAX, id))
            return "corrupt document: object id " + Printable(ColumnText(st.get(), 0)) +
                   " is out of range";
        // Rows come in ascending order of id: an id equal to the one before
        // is a second object under that id.
        if (pending.Size() > 0 && id <= pending.LastId())
            return "corrupt document: two objects have the id " + std::to_string(id);
        RowReader row(st.get(), id);
        const int32_t kind = row.Int(1, "kind", 1, kKindCount - 1);
        if (!row.Problem().empty())
            return row.Problem();
        const int64_t container = row.OptionalId(2, "component");
        const int64_t net = row.OptionalId(3, "net");
        if (std::string problem =
                take(&row, id, kind, container, net, sqlite3_column_blob(st.get(), recordColumn),
                     static_cast<size_t>(sqlite3_column_bytes(st.get(), recordColumn)));
            !problem.empty())
            return problem;
    }
    GatherComponents(s, pending);
    auto slotFor = [&](int64_t id) { return pending.SlotOf(id); };
    for (size_t i = 0; i < pending.Size(); ++i) {
        const uint32_t slot = pending.Slot(i);
        ObjectRec& o = s.At(slot);
        auto where = [&] { return "corrupt document: object " + std::to_string(pending.Id(i)); };
        RefResolver refs{s, pending, {}};
        VisitBody(o.kind, o.body.get(), [&](auto& body) { body.visit(refs); });
        if (!refs.problem.empty())
            return where() + ": " + refs.problem;
        if (const int64_t container = pending.Container(i)) {
            uint32_t c = slotFor(container);
            if (c == kNone || !s.AddToComponent(slot, c))
                return where() + " has a bad component reference";
        }
        if (const int64_t net = pending.Net(i)) {
            uint32_t n = slotFor(net);
            if (n == kNone || s.At(n).kind != kNet || s.At(slot).kind == kNet)
                return where() + " has a bad net reference";
            s.SetNet(slot, n);
        }
    }
    for (size_t i = 0; i < pending.Size(); ++i)
        if (const uint32_t slot = pending.Slot(i);
            s.At(slot).kind == kNet && !s.AttachToBoard(slot, boardSlot))
            return "corrupt document: two nets share the name '" +
                   Printable(static_cast<NetBody*>(s.At(slot).body.get())->name.str()) + "'";
    for (size_t i = 0; i < pending.Size(); ++i)
        if (const uint32_t slot = pending.Slot(i); s.At(slot).board == kNone)
            s.AttachToBoard(slot, boardSlot);
    if (!padOutlines.empty()) {
        std::vector<KeptPadOutline> kept;
        if (!UnpackPadOutlines(padOutlines, kept))
            return "corrupt document: the pad outlines are damaged";
        for (const KeptPadOutline& pad : kept) {
            const uint32_t slot = slotFor(pad.id);
            if (slot == kNone || s.At(slot).kind != kPad)
                return "corrupt document: a pad outline names object " + std::to_string(pad.id) +
                       ", which is no pad";
            ObjectExtras extras = s.Extras(slot);
            extras.outline = pad.outline;
            extras.outlineMirrored = pad.mirrored;
            s.SetExtras(slot, extras);
        }
    }
    pending.Keep();
    b.outline = kNone;
    if (outlineId) {
        const uint32_t outline = slotFor(outlineId);
        if (outline == kNone || s.At(outline).kind != kBoardOutline)
            return "corrupt document: the board outline reference " + std::to_string(outlineId) +
                   " names no board outline";
        b.outline = outline;
    }
    return {};
}

// The names of the engine's own tables; a document holds these and the
// indexes SQLite makes for their keys, nothing else.
constexpr const char* kOwnTables[] = {"meta", "board", "layers", "layer_pairs", "objects"};

bool IsOwnTable(const std::string& name) {
    for (const char* own : kOwnTables)
        if (name == own)
            return true;
    return false;
}

// What the schema holds beyond the engine's tables (a view, a trigger, a
// virtual or unknown table, an index of its own): its description, or empty.
// Such a thing is code the file brings along; reading the board through it
// could run without end.
std::string ForeignSchemaEntry(sqlite3* db) {
    Stmt st = Prepare(db, "SELECT type, name, tbl_name, sql FROM sqlite_master");
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        const std::string type = ColumnText(st.get(), 0);
        const std::string name = ColumnText(st.get(), 1);
        const std::string table = ColumnText(st.get(), 2);
        const std::string sql = ColumnText(st.get(), 3);
        const bool ownTable = type == "table" && IsOwnTable(name) &&
                              sql.rfind("CREATE TABLE", 0) == 0 &&
                              sql.find("VIRTUAL") == std::string::npos;
        const bool keyIndex = type == "index" && IsOwnTable(table) &&
                              name.rfind("sqlite_autoindex_" + table + "_", 0) == 0;
        if (!ownTable && !keyIndex) {
            const std::string what = type == "table" && sql.find("VIRTUAL") != std::string::npos
                                         ? "virtual table"
                                         : Printable(type);
            return (what == "index" ? "an " : "a ") + what + " '" + Printable(name) + "'";
        }
    }
    if (rc != SQLITE_DONE)
        throw SqlError{sqlite3_errmsg(db)};
    return {};
}

// Long statements look for an interrupt every so many steps of SQLite's
// machine. The signals that end the process are held while a document is
// read (as while one is saved); one that is pending ends the statement, and
// is taken when they are let through again.
int InterruptPending(void*) {
    sigset_t pending;
    sigemptyset(&pending);
    if (::sigpending(&pending) != 0)
        return 0;
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        if (sigismember(&pending, sig) == 1)
            return 1;
    return 0;
}

std::string ReadBoard(sqlite3* db, uint32_t boardSlot, int version) {
    BoardRec& b = Store::Get().BoardAt(boardSlot);
    int64_t outlineId = 0;
    std::string padOutlines;
    std::string error = ReadBoardValues(db, b, outlineId, padOutlines);
    if (!error.empty())
        return "corrupt document: " + error;
    error = ReadLayers(db, b);
    if (!error.empty())
        return "corrupt document: " + error;
    error = ReadLayerPairs(db, b);
    if (!error.empty())
        return "corrupt document: " + error;
    return ReadObjects(db, boardSlot, outlineId, padOutlines, version);
}

// SQLite's own check of a document's pages and indexes, on a connection of
// its own: "ok", or what it found wrong. It reads the whole file, as reading
// the board does, and takes about as long on a large one, so the two run
// side by side; a pending signal ends it as it ends the read.
struct CheckVerdict {
    std::string text;
    bool interrupted = false;
};
CheckVerdict CheckDocument(const std::string& path) {
    try {
        sqlite3* raw = nullptr;
        const int rc = sqlite3_open_v2(path.c_str(), &raw,
                                       SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
        Db db(raw);
        if (rc != SQLITE_OK)
            return {raw ? sqlite3_errmsg(raw) : "out of memory"};
        sqlite3_progress_handler(db.get(), 100000, &InterruptPending, nullptr);
        Stmt st = Prepare(db.get(), "PRAGMA quick_check");
        if (sqlite3_step(st.get()) == SQLITE_ROW)
            return {ColumnText(st.get(), 0)};
        return {sqlite3_errmsg(db.get()), sqlite3_errcode(db.get()) == SQLITE_INTERRUPT};
    } catch (const SqlError& e) {
        return {e.what};
    } catch (const std::bad_alloc&) {
        return {"out of memory"};
    }
}

// What stands in a message on one line.
std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    return text;
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
    // The connection is used by this thread alone: no locking per call.
    int rc =
        sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    Db db(raw);
    if (rc != SQLITE_OK)
        return "cannot open " + path + ": " + (raw ? sqlite3_errmsg(raw) : "out of memory");
    // A board made for the document is closed again, with everything put on
    // it, unless the whole document was read.
    struct BoardGuard {
        uint32_t& slot;
        bool keep = false;
        ~BoardGuard() {
            if (!keep && slot != kNone && Store::Get().BoardHandle(slot))
                Store::Get().CloseBoard(slot);
            if (!keep)
                slot = kNone;
        }
    } guard{boardSlot};
    const HostSdk::THeldSignals held;
    sqlite3_progress_handler(db.get(), 100000, &InterruptPending, nullptr);
    try {
        if (const std::string foreign = ForeignSchemaEntry(db.get()); !foreign.empty())
            return path + " is not a board document (wrong schema: it holds " + foreign +
                   ", which a board document never does)";
    } catch (const SqlError& e) {
        return path + " is damaged: " + OneLine(e.what);
    }
    // The board is read while the file is checked, on a thread that starts
    // with this one's signals held (after the reading when none is to be
    // had); a damaged file is refused for its damage, whatever the reading
    // made of it.
    std::future<CheckVerdict> check;
    try {
        check = std::async(std::launch::async, CheckDocument, path);
    } catch (const std::system_error&) {
    }
    std::string outcome;
    try {
        outcome = [&]() -> std::string {
            std::string format, version;
            {
                sqlite3_stmt* probe = nullptr;
                if (sqlite3_prepare_v2(db.get(), "SELECT key, value FROM meta", -1, &probe,
                                       nullptr) != SQLITE_OK)
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
            const int versionNumber = ReadableVersion(version);
            if (versionNumber == 0)
                return path + " has unsupported document version '" + Printable(version) + "'";
            boardSlot = Store::Get().NewBoard(path);
            if (boardSlot == kNone)
                return path + " cannot be opened: too many boards are open";
            std::string error = ReadBoard(db.get(), boardSlot, versionNumber);
            if (!error.empty())
                return path + ": " + error;
            // A statement ended by an interrupt reads as a shorter table.
            if (InterruptPending(nullptr) != 0)
                return "reading " + path + " was interrupted";
            return {};
        }();
    } catch (const SqlError& e) {
        outcome = sqlite3_errcode(db.get()) == SQLITE_INTERRUPT
                      ? "reading " + path + " was interrupted"
                      : path + " is damaged: " + OneLine(e.what);
    }
    const CheckVerdict verdict = check.valid() ? check.get() : CheckDocument(path);
    if (verdict.text != "ok")
        return verdict.interrupted ? "reading " + path + " was interrupted"
                                   : path + " is damaged: " + OneLine(verdict.text);
    if (!outcome.empty())
        return outcome;
    Store::Get().BoardAt(boardSlot).modified = false;
    guard.keep = true;
    return {};
}

} // namespace corvane
