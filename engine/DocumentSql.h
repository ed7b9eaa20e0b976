// What saving and opening a board document share: the format's names and
// keys, and SQLite handles that close themselves.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>

namespace corvane::document {

inline constexpr const char* kFormat = "corvane-board";
// Version 1 stored a pad's per-layer table whole; version 2 stores its runs.
// Both are read; saves write version 2.
inline constexpr const char* kVersion = "2";
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
