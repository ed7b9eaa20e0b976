// What saving and opening a board document share: the format's names and
// keys, and SQLite handles that close themselves.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>

namespace corvane::document {

inline constexpr const char* kFormat = "corvane-board";
// Version 1 stored a pad's per-layer table whole, version 2 its runs, both
// with every value of a record at its full width; version 3 keeps records'
// whole numbers as varints (BlobWriter) and leaves out of the objects table
// the columns kind_name and name, which only repeated what a row's kind and
// record say (the reader never took them), and holds a row's layer, flags,
// index, moveable and position at the head of its record (ObjectCommon)
// instead of in columns of their own. All three are read; saves write
// version 3.
inline constexpr const char* kVersion = "3";
// The version a document's meta table names, as a number; 0 for one that is
// not read.
inline int ReadableVersion(const std::string& version) {
    for (int v : {1, 2, 3})
        if (version == std::to_string(v))
            return v;
    return 0;
}
// Board-table keys of what a host keeps with the board (Corvane_SetHostData).
inline constexpr const char* kHostDataPrefix = "host:";
// Board-table key of the pads' true outlines (ObjectExtras::outline).
inline constexpr const char* kPadOutlinesKey = "pad_outlines";

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

inline Stmt Prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK)
        throw SqlError{sqlite3_errmsg(db)};
    return Stmt(s);
}

} // namespace corvane::document
