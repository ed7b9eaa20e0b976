// Hostile board documents: values that do not fit, references to nothing,
// names given twice, a schema with views, triggers or tables of its own.
// Each is refused with a one-line reason naming what is wrong, and a refused
// document leaves no object behind in the engine. Also what a save leaves
// beside the document when it is ended by a signal, and an interrupt while
// one is read.
#include "support/TempFolder.h"
#include "support/SampleBoard.h"
#include "support/SaveInChild.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace enginetest;
namespace fs = std::filesystem;

namespace {

const std::string kTool = std::string(DSNLINK_BIN_DIR) + "/corvane_doc_tool";

using Scratch = testfs::TempFolder;

// Saves the sample board (every kind of object) as `doc`.
void SaveSample(const fs::path& doc) {
    char error[512] = {};
    CorvaneBoard board = Corvane_NewBoard(doc.c_str(), error, sizeof error);
    ASSERT_NE(board, 0) << error;
    FillSampleBoard(board);
    ASSERT_EQ(Corvane_SaveBoard(board, nullptr, error, sizeof error), 1) << error;
    Corvane_CloseBoard(board);
}

// The sample board saved in a scratch folder as good.pcbdoc, and the count
// of the engine's objects once it is closed.
struct SampleDocument {
    SampleDocument() {
        SaveSample(good);
        before = Corvane_LiveObjectCount();
    }
    Scratch dir;
    fs::path good = dir.path / "good.pcbdoc";
    int64_t before = 0;
};

// An edit of a document and what the refusal of the edited document says.
struct Edit {
    const char* sql;
    const char* expect; // in the reason
};

// A copy of `good` with the SQL applied.
fs::path Edited(const fs::path& good, const fs::path& bad, const std::string& sql) {
    fs::copy_file(good, bad, fs::copy_options::overwrite_existing);
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(bad.c_str(), &db), SQLITE_OK);
    char* message = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message), SQLITE_OK)
        << sql << ": " << (message ? message : "");
    sqlite3_free(message);
    sqlite3_close(db);
    return bad;
}

// The record blob of the first object of `kind` with 4 or 8 bytes replaced at
// `offset` (little-endian `value`).
std::string PatchRecord(int kind, int offset, int64_t value, int width) {
    std::ostringstream hex;
    for (int i = 0; i < width; ++i) {
        char byte[3];
        std::snprintf(byte, sizeof byte, "%02X", static_cast<unsigned>((value >> (8 * i)) & 0xFF));
        hex << byte;
    }
    const std::string where =
        " WHERE id = (SELECT min(id) FROM objects WHERE kind = " + std::to_string(kind) + ")";
    return "UPDATE objects SET record = substr(record, 1, " + std::to_string(offset) + ") || X'" +
           hex.str() + "' || substr(record, " + std::to_string(offset + width + 1) + ")" + where;
}

} // namespace

TEST(EngineDocumentHardening, TwoNetsOfOneNameAreRefusedByName) {
    Scratch dir;
    const fs::path good = dir.path / "good.pcbdoc";
    SaveSample(good);
    const int64_t before = Corvane_LiveObjectCount();
    // A second row for the net GND: the same record under a new id.
    const fs::path bad =
        Edited(good, dir.path / "twice.pcbdoc",
               "INSERT INTO objects SELECT (SELECT max(id) + 1 FROM objects), kind, "
               "kind_name, container, net, layer, bit_field, bit_field2, "
               "bit_field3, idx, moveable, x1, y1, name, record FROM objects "
               "WHERE kind = 8 AND name = 'GND'");
    const std::string reason = OpenError(bad);
    EXPECT_NE(reason.find("two nets share the name 'GND'"), std::string::npos) << reason;
    EXPECT_EQ(Corvane_LiveObjectCount(), before) << "objects of the refused document remain";
    EXPECT_TRUE(OpenError(good).empty());
    EXPECT_EQ(Corvane_LiveObjectCount(), before);
}

TEST(EngineDocumentHardening, ValuesOutOfRangeAndDanglingReferencesAreRefused) {
    const SampleDocument sample;
    const fs::path& good = sample.good;
    const Scratch& dir = sample.dir;
    const int64_t before = sample.before;
    const Edit cases[] = {
        {"UPDATE board SET value = 1e12 WHERE key = 'origin_x'", "origin_x"},
        {"UPDATE board SET value = -3000000000 WHERE key = 'origin_y'", "origin_y"},
        {"UPDATE board SET value = 4294967297 WHERE key = 'current_layer'", "current_layer"},
        {"UPDATE board SET value = 83 WHERE key = 'current_layer'", "current_layer"},
        {"UPDATE board SET value = 12.5 WHERE key = 'cursor_x'", "cursor_x"},
        {"UPDATE board SET value = 'ten' WHERE key = 'display_unit'", "display_unit"},
        {"UPDATE board SET value = -5e10 WHERE key = 'dielectric_top_kind'", "dielectric_top_kind"},
        {"UPDATE board SET value = 3e9 WHERE key = 'dielectric_bottom_height'",
         "dielectric_bottom_height"},
        {"UPDATE board SET value = -1 WHERE key = 'dielectric_bottom_height'",
         "dielectric_bottom_height"},
        {"UPDATE board SET value = 99999 WHERE key = 'outline'", "outline reference 99999"},
        {"UPDATE board SET value = (SELECT min(id) FROM objects WHERE kind = 4) "
         "WHERE key = 'outline'",
         "names no board outline"},
        {"UPDATE layers SET dielectric_height = -1 WHERE id = 1", "dielectric height"},
        {"UPDATE layers SET copper_thickness = 10000000000 WHERE id = 1", "copper thickness"},
        {"UPDATE layers SET displayed = 7 WHERE id = 5", "displayed"},
        {"UPDATE layer_pairs SET low_layer = 4294967296", "low layer"},
        {"UPDATE objects SET layer = 4294967297 WHERE kind = 4", "layer"},
        {"UPDATE objects SET x1 = 3000000000 WHERE kind = 4", "x1"},
        {"UPDATE objects SET bit_field = 65536 WHERE kind = 4", "bit field"},
        {"UPDATE objects SET kind = 4294967300 WHERE kind = 4", "kind"},
        {"UPDATE objects SET net = 99999 WHERE kind = 4", "bad net reference"},
        {"UPDATE objects SET net = (SELECT min(id) FROM objects WHERE kind = 8) WHERE kind = 8",
         "cannot belong to a net"},
        {"UPDATE objects SET container = 99999 WHERE kind = 4", "bad component reference"},
        // Pad outlines cut short, and one given to an object that is not there.
        {"INSERT INTO board VALUES('pad_outlines', X'0100000001')", "pad outlines are damaged"},
        {"INSERT INTO board VALUES('pad_outlines', X'01000000' || X'01000000' || X'01000000' || "
         "X'0000000000000000' || X'01000000' || X'0000000000000000' || X'01000000' || "
         "X'9F86010000000000' || X'00000000' || X'00')",
         "names object 99999, which is no pad"},
        // Track record: x2, y2, width, then the polygon reference.
        {nullptr, "width -1 is negative"},
        {nullptr, "Polygon names object 12345"},
        // Via record: size, hole size, low layer, high layer.
        {nullptr, "high layer 500 is out of range"},
    };
    const std::string patches[] = {PatchRecord(4, 8, -1, 4), PatchRecord(4, 12, 12345, 8),
                                   PatchRecord(3, 12, 500, 4)};
    int n = 0, patch = 0;
    for (const Edit& c : cases) {
        const std::string sql = c.sql ? c.sql : patches[patch++];
        const fs::path bad =
            Edited(good, dir.path / ("bad" + std::to_string(++n) + ".pcbdoc"), sql);
        const std::string reason = OpenError(bad);
        EXPECT_NE(reason.find("corrupt document"), std::string::npos) << sql << ": " << reason;
        EXPECT_NE(reason.find(c.expect), std::string::npos) << sql << ": " << reason;
        EXPECT_EQ(reason.find('\n'), std::string::npos) << reason;
        EXPECT_EQ(Corvane_LiveObjectCount(), before) << sql << " left objects behind";
    }
    EXPECT_TRUE(OpenError(good).empty()) << "the intact document still opens";
}

TEST(EngineDocumentHardening, NegativeSizesAreRefusedOnWriteToo) {
    // What the reader refuses, the entry points never store: every board the
    // engine holds can be saved and opened again.
    intptr_t track = PcbApi_CreateObject(4);
    Track t;
    ASSERT_EQ(Query(1, track, t), 1);
    t.width = -1;
    EXPECT_EQ(Query(0, track, t), 0);
    intptr_t via = PcbApi_CreateObject(3);
    Via v;
    ASSERT_EQ(Query(1, via, v), 1);
    v.holeSize = -280000;
    EXPECT_EQ(Query(0, via, v), 0);
    intptr_t pad = PcbApi_CreateObject(2);
    EXPECT_EQ(PcbApi_SetPadSizeOnLayer(pad, 1, -5, 5), 0);
    EXPECT_EQ(PcbApi_SetPadSizeOnLayer(pad, 1, 5, 5), 1);
    for (intptr_t h : {track, via, pad})
        PcbApi_DestroyObject(h);
}

TEST(EngineDocumentHardening, ASaveEndedBySignalLeavesNoTemporaryFile) {
    if (!fs::exists(kTool))
        GTEST_SKIP() << "helper " << kTool << " not built";
    Scratch dir;
    const fs::path doc = dir.path / "board.pcbdoc";
    SaveSample(doc);
    for (int sig : {SIGTERM, SIGINT}) {
        const SaveInChild save = StartBigSave(kTool, doc, "200000");
        ASSERT_GE(save.pid, 0);
        kill(save.pid, sig);
        int status = 0;
        waitpid(save.pid, &status, 0);
        EXPECT_TRUE(save.started) << "the save never started";
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << "signal " << sig;
        EXPECT_EQ(SavingFiles(dir.path), 0) << "signal " << sig << " left the temporary file";
        EXPECT_TRUE(OpenError(doc).empty()) << "signal " << sig;
    }
}

TEST(EngineDocumentHardening, TheNextSaveRemovesWhatAKilledSaveLeft) {
    Scratch dir;
    const fs::path doc = dir.path / "board.pcbdoc";
    // The temporary file of a process that no longer runs, and one of a
    // process that does (pid 1): only the first is stale.
    pid_t gone = fork();
    if (gone == 0)
        _exit(0);
    waitpid(gone, nullptr, 0);
    const fs::path stale = dir.path / ("board.pcbdoc.saving-" + std::to_string(gone) + "-0");
    const fs::path running = dir.path / "board.pcbdoc.saving-1-3";
    const fs::path other = dir.path / ("other.pcbdoc.saving-" + std::to_string(gone) + "-0");
    for (const fs::path& p : {stale, running, other})
        std::ofstream(p) << "partial";
    SaveSample(doc);
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(running)) << "a running process's save was removed";
    EXPECT_TRUE(fs::exists(other)) << "another document's file was removed";
    EXPECT_TRUE(OpenError(doc).empty());
}

TEST(EngineDocumentHardening, ASchemaWithAnythingButTheBoardTablesIsRefused) {
    const SampleDocument sample;
    const Edit cases[] = {
        // A table replaced by a view over a query that never ends.
        {"ALTER TABLE layers RENAME TO layers_kept; CREATE VIEW layers AS WITH RECURSIVE "
         "n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT l.* FROM n, layers_kept l",
         "a table 'layers_kept'"},
        {"CREATE VIEW spin AS SELECT 1", "a view 'spin'"},
        {"CREATE TRIGGER t AFTER INSERT ON meta BEGIN SELECT 1; END", "a trigger 't'"},
        {"CREATE TABLE extra(x)", "a table 'extra'"},
        {"CREATE INDEX by_kind ON objects(kind)", "an index 'by_kind'"},
    };
    int n = 0;
    for (const Edit& c : cases) {
        const fs::path bad = Edited(
            sample.good, sample.dir.path / ("schema" + std::to_string(++n) + ".pcbdoc"), c.sql);
        const auto start = std::chrono::steady_clock::now();
        const std::string reason = OpenError(bad);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_LT(seconds, 10.0) << c.sql;
        EXPECT_NE(
            reason.find("is not a board document (wrong schema: it holds " + std::string(c.expect)),
            std::string::npos)
            << c.sql << ": " << reason;
        EXPECT_EQ(Corvane_LiveObjectCount(), sample.before) << c.sql << " left objects behind";
    }
    EXPECT_TRUE(OpenError(sample.good).empty());
}

TEST(EngineDocumentHardening, AnInterruptWhileReadingEndsTheReadNotTheCaller) {
    // SIGINT held while the document is read and pending at its end: the
    // read answers it and is refused, and the signal is taken afterwards
    // (here ignored, as a shell's background job does).
    Scratch dir;
    const fs::path doc = dir.path / "board.pcbdoc";
    SaveSample(doc);
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGINT, &ignore, &previous);
    // An ignored signal is dropped, not held: the read completes.
    raise(SIGINT);
    EXPECT_TRUE(OpenError(doc).empty());
    // One the caller blocks stays pending: the read is ended by it.
    struct sigaction count {};
    count.sa_handler = [](int) {};
    sigaction(SIGINT, &count, nullptr);
    sigset_t held, old;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    pthread_sigmask(SIG_BLOCK, &held, &old);
    raise(SIGINT);
    const std::string reason = OpenError(doc);
    EXPECT_NE(reason.find("was interrupted"), std::string::npos) << reason;
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    sigaction(SIGINT, &previous, nullptr);
    EXPECT_TRUE(OpenError(doc).empty());
}
