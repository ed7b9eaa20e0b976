// Board documents edited value by value: the input is SQL run against a sound
// document that holds every kind of object (UPDATE, INSERT and DELETE on its
// tables only), so that the mutations land on the values the reader must
// range-check and the references it must resolve, not on the file format.
#include "fuzz/DocumentRoundTrip.h"
#include "tests/support/SampleBoard.h"

#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

std::string SampleDocument() {
    const std::string path = fuzzsupport::ScratchPath("sample.pcbdoc");
    char error[512] = {};
    const CorvaneBoard board = Corvane_NewBoard(path.c_str(), error, sizeof error);
    if (!board)
        fuzzsupport::Fail(error);
    enginetest::FillSampleBoard(board);
    if (!Corvane_SaveBoard(board, nullptr, error, sizeof error))
        fuzzsupport::Fail(error);
    Corvane_CloseBoard(board);
    return fuzzsupport::ReadFile(path);
}

// Lets the edits read and change rows of the document's tables, nothing else
// (no files attached, no schema changes, no pragmas).
int Authorise(void*, int action, const char*, const char*, const char*, const char*) {
    switch (action) {
    case SQLITE_SELECT:
    case SQLITE_READ:
    case SQLITE_UPDATE:
    case SQLITE_INSERT:
    case SQLITE_DELETE:
    case SQLITE_FUNCTION:
    case SQLITE_RECURSIVE:
        return SQLITE_OK;
    default:
        return SQLITE_DENY;
    }
}

int StopLongStatements(void* steps) {
    return ++*static_cast<int*>(steps) > 200 ? 1 : 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string sample = SampleDocument();
    const std::string path = fuzzsupport::ScratchPath("edited.pcbdoc");
    fuzzsupport::WriteFile(path, reinterpret_cast<const uint8_t*>(sample.data()), sample.size());
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK)
        fuzzsupport::Fail("cannot open the sample copy");
    sqlite3_limit(db, SQLITE_LIMIT_LENGTH, 1 << 20);
    sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 0);
    sqlite3_set_authorizer(db, &Authorise, nullptr);
    int steps = 0;
    sqlite3_progress_handler(db, 1000, &StopLongStatements, &steps);
    const std::string sql(reinterpret_cast<const char*>(data), size);
    sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    fuzzsupport::DocumentRoundTrip(path);
    return 0;
}
