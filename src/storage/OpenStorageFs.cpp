#include "storage/OpenStorageFs.h"

#include <sqlite3.h>

#include "storage/BusyWait.h"
#include "storage/SqlText.h"
#include "storage/SqliteFailure.h"
#include "storage/StorageFs.h"

namespace kivfs {

namespace {

// Opens the database read-write, creating it when missing. SQLite itself
// falls back to read-only access when the file may only be read; a store
// that cannot be opened for writing at all (a read-only medium, say) is
// tried once more read-only, so that its files can still be read.
// A store, its files and its listings are used by one thread at a time (the
// host's rule, kept under a mutex per mount by the stub bridge), so the
// connection is opened without SQLite's own mutex, which every call into
// SQLite would otherwise take and release.
sqlite3* OpenConnection(const std::string& path) {
    sqlite3* db = nullptr;
    int result =
        sqlite3_open_v2(path.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (result != SQLITE_OK) {
        sqlite3_close(db);
        db = nullptr;
        result =
            sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    }
    if (result != SQLITE_OK) {
        NoteSqliteFailure(db, result);
        sqlite3_close(db);
        return nullptr;
    }
    WaitWhenBusy(db);
    return db;
}

// Runs one set-up statement; its failure's cause is noted.
bool Run(sqlite3* db, const char* sql) {
    const int result = sql ? sqlite3_exec(db, sql, nullptr, nullptr, nullptr) : SQLITE_NOMEM;
    if (result == SQLITE_OK) return true;
    NoteSqliteFailure(db, result);
    return false;
}

}  // namespace

// Opens (creating when missing) the database at `path` and makes sure it has
// the FileStorage table. The page size applies only to a database without
// pages yet, so new stores get 8192-byte pages and existing ones keep theirs.
// A file that is not a SQLite database fails one of the statements and is
// refused. These statements run outside any transaction; on a read-only
// store the table must exist already (its "if not exists" then writes
// nothing).
std::unique_ptr<FsBackend> OpenStorageFs(const std::string& path) {
    sqlite3* db = OpenConnection(path);
    if (!db) return nullptr;
    SqlText createTable("create table if not exists %s %s;", kStorageTable, kStorageColumns);
    const bool ready = Run(db, "PRAGMA page_size=8192") && Run(db, "PRAGMA cache_size=400") &&
                       Run(db, createTable.c_str());
    if (!ready) {
        sqlite3_close(db);
        return nullptr;
    }
    // Making the backend allocates; should that fail, the connection is not
    // left open behind the exception.
    try {
        return std::make_unique<StorageFs>(db);
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
}

}  // namespace kivfs
