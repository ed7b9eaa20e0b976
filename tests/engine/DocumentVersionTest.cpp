// Document versions: a document of an older version (written by the engine
// of that time, kept in tests/engine/data) opens as the board it was, and is
// saved again in the current version; damaged per-layer tables of version 2,
// which keeps them at full width, are refused (RecordEncodingTest has those
// of the current form).
#include "support/SampleBoard.h"
#include "support/SaveInChild.h"
#include "support/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <filesystem>
#include <vector>

using ::testing::HasSubstr;

using namespace enginetest;
namespace fs = std::filesystem;

namespace {

// The sample board and a pad with its own size on every copper layer, as
// `corvane_doc_tool sample` saved it with the engines of versions 1 and 2,
// and their dumps.
const fs::path kData = fs::path(DSNLINK_SOURCE_DIR) / "tests/engine/data";
const std::string kTool = std::string(DSNLINK_BIN_DIR) + "/corvane_doc_tool";

std::string Dump(CorvaneBoard board, const fs::path& out) {
    char error[512] = {};
    EXPECT_EQ(Corvane_DumpBoardJson(board, out.c_str(), error, sizeof error), 1) << error;
    return testfs::ReadFile(out);
}

// Runs `sql` (one value in column 0 per row) over a document.
std::vector<std::string> Column(const fs::path& doc, const char* sql) {
    std::vector<std::string> out;
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(doc.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql, -1, &st, nullptr), SQLITE_OK) << sql;
    while (st && sqlite3_step(st) == SQLITE_ROW) {
        const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        out.emplace_back(t ? t : "");
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}

// Runs an edit (`sql`) on a document.
void Exec(const fs::path& doc, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(doc.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    sqlite3_close(db);
}

// The record of the pad `padId` of a document, passed through `edit`.
template <class F> void EditRecord(const fs::path& doc, int64_t padId, F&& edit) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(doc.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT record FROM objects WHERE id = ?", -1, &st, nullptr);
    sqlite3_bind_int64(st, 1, padId);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    const auto* p = static_cast<const char*>(sqlite3_column_blob(st, 0));
    std::string record(p, p + sqlite3_column_bytes(st, 0));
    sqlite3_finalize(st);
    edit(record);
    sqlite3_prepare_v2(db, "UPDATE objects SET record = ? WHERE id = ?", -1, &st, nullptr);
    sqlite3_bind_blob(st, 1, record.data(), static_cast<int>(record.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(st, 2, padId);
    EXPECT_EQ(sqlite3_step(st), SQLITE_DONE);
    sqlite3_finalize(st);
    sqlite3_close(db);
}

// Where the run count of a version 2 pad record sits: the per-layer table
// closes the record as a count and that many 20-byte runs.
size_t RunCountAt(const std::string& record) {
    for (uint32_t n = 1; n <= 83 && 4 + 20 * n <= record.size(); ++n) {
        const size_t at = record.size() - 4 - 20 * n;
        uint32_t stored = 0;
        std::memcpy(&stored, record.data() + at, 4);
        if (stored == n)
            return at;
    }
    ADD_FAILURE() << "no run count in the pad record";
    return 0;
}

void PutInt(std::string& record, size_t at, int32_t v) {
    std::memcpy(record.data() + at, &v, 4);
}

} // namespace

TEST(EngineDocumentVersions, OlderDocumentsOpenWholeAndAreSavedInTheCurrentVersion) {
    if (!fs::exists(kTool))
        GTEST_SKIP() << "helper " << kTool << " not built";
    const char* version = "SELECT value FROM meta WHERE key = 'version'";
    for (const char* older : {"1", "2"}) {
        const std::string sample = std::string("sample-v") + older;
        const fs::path doc = kData / (sample + ".pcbdoc");
        ASSERT_TRUE(fs::exists(doc)) << doc;
        ASSERT_EQ(Column(doc, version), std::vector<std::string>{older});
        testfs::TempFolder dir;
        const fs::path old = dir.path / "old.pcbdoc";
        fs::copy_file(doc, old);
        char error[512] = {};
        CorvaneBoard board = Corvane_OpenBoard(old.c_str(), error, sizeof error);
        ASSERT_NE(board, 0) << sample << ": " << error;
        const std::string expected = testfs::ReadFile(kData / (sample + ".json"));
        EXPECT_EQ(Dump(board, dir.path / "old.json"), expected) << sample;

        const fs::path saved = dir.path / "saved.pcbdoc";
        ASSERT_EQ(Corvane_SaveBoard(board, saved.c_str(), error, sizeof error), 1) << error;
        Corvane_CloseBoard(board);
        EXPECT_EQ(Column(saved, version), std::vector<std::string>{"3"});
        // Pads keep their per-layer runs, a few bytes each: the simple pad
        // three runs, the per-layer one a run per copper layer.
        for (const std::string& length :
             Column(saved, "SELECT length(record) FROM objects WHERE kind = 2"))
            EXPECT_LT(std::stoi(length), 400)
                << sample << ": a pad record of " << length << " bytes";
        const std::string cmd = kTool + " dump '" + saved.string() + "' '" +
                                (dir.path / "new.json").string() + "' 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        EXPECT_EQ(testfs::ReadFile(dir.path / "new.json"), expected) << sample;
    }
}

TEST(EngineDocumentVersions, DamagedPerLayerRunsAreRefused) {
    testfs::TempFolder dir;
    const fs::path good = dir.path / "good.pcbdoc";
    fs::copy_file(kData / "sample-v2.pcbdoc", good);
    const int64_t before = Corvane_LiveObjectCount();
    const std::vector<std::string> pads =
        Column(good, "SELECT id FROM objects WHERE kind = 2 ORDER BY id");
    ASSERT_EQ(pads.size(), 2u);
    const int64_t padId = std::stoll(pads.back()); // the per-layer pad
    struct Case {
        const char* what;
        void (*edit)(std::string&);
    };
    const Case cases[] = {
        {"no runs", [](std::string& r) { PutInt(r, RunCountAt(r), 0); }},
        {"more runs than layers", [](std::string& r) { PutInt(r, RunCountAt(r), 84); }},
        {"more runs than the record holds", [](std::string& r) { r.resize(r.size() - 20); }},
        {"first run after layer 0", [](std::string& r) { PutInt(r, RunCountAt(r) + 4, 1); }},
        {"runs out of order", [](std::string& r) { PutInt(r, r.size() - 20, 0); }},
        {"a run past the last layer", [](std::string& r) { PutInt(r, r.size() - 20, 83); }},
    };
    int n = 0;
    for (const Case& c : cases) {
        const fs::path bad = dir.path / ("bad" + std::to_string(++n) + ".pcbdoc");
        fs::copy_file(good, bad);
        EditRecord(bad, padId, c.edit);
        const std::string reason = OpenError(bad);
        EXPECT_THAT(reason, HasSubstr("corrupt document: record of object " +
                                      std::to_string(padId) + " is damaged"))
            << c.what;
        EXPECT_EQ(Corvane_LiveObjectCount(), before) << c.what << " left objects behind";
    }
    // Runs whole in form but with a value no pad can hold, in the first run
    // or the last: each names the value.
    const struct {
        const char* expect;
        void (*edit)(std::string&);
    } values[] = {
        {"layer pad shape 12 is out of range",
         [](std::string& r) { PutInt(r, RunCountAt(r) + 8, 12); }},
        {"layer pad size -5 is negative", [](std::string& r) { PutInt(r, r.size() - 12, -5); }},
        {"corner radius percentage 101 is out of range",
         [](std::string& r) { PutInt(r, r.size() - 4, 101); }},
    };
    for (const auto& c : values) {
        const fs::path bad = dir.path / ("bad" + std::to_string(++n) + ".pcbdoc");
        fs::copy_file(good, bad);
        EditRecord(bad, padId, c.edit);
        EXPECT_THAT(OpenError(bad), HasSubstr("corrupt document: object " + std::to_string(padId) +
                                              ": " + c.expect));
        EXPECT_EQ(Corvane_LiveObjectCount(), before) << c.expect << " left objects behind";
    }
    // The fields every object has stand in columns of their own in a version
    // 2 document, checked as a newer record's are.
    const fs::path column = dir.path / "column.pcbdoc";
    fs::copy_file(good, column);
    Exec(column, "UPDATE objects SET moveable = 2 WHERE id = " + std::to_string(padId));
    EXPECT_THAT(OpenError(column), HasSubstr("corrupt document: object " + std::to_string(padId) +
                                             ": moveable 2 is out of range"));
    EXPECT_TRUE(OpenError(good).empty());
}

TEST(EngineDocumentVersions, ALaterVersionIsRefusedByName) {
    testfs::TempFolder dir;
    const fs::path later = dir.path / "later.pcbdoc";
    fs::copy_file(kData / "sample-v2.pcbdoc", later);
    Exec(later, "UPDATE meta SET value = '4' WHERE key = 'version'");
    EXPECT_THAT(OpenError(later), HasSubstr("unsupported document version '4'"));
}
