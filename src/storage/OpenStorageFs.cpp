#include "storage/OpenStorageFs.h"

#include <sqlite3.h>

#include "backend/Failure.h"
#include "kivfs.h"
#include "platform/SystemPath.h"
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
sqlite3* OpenConnection(const std::string& path, bool create) {
    sqlite3* db = nullptr;
    const int createFlag = create ? SQLITE_OPEN_CREATE : 0;
    int result = sqlite3_open_v2(path.c_str(), &db,
                                 SQLITE_OPEN_READWRITE | createFlag | SQLITE_OPEN_NOMUTEX, nullptr);
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

// sqlite3_exec's callback: a row was found.
int NoteRow(void* found, int, char**, char**) {
    *static_cast<bool*>(found) = true;
    return 0;
}

// Whether the database holds the table, read without writing anything: a
// 0-byte file reads as an empty database, holding none. A file that is no
// database, or a lock held too long, fails the query (its cause noted).
bool HasTable(sqlite3* db, bool* has) {
    SqlText query("SELECT 1 FROM sqlite_master WHERE type='table' AND name=%Q COLLATE NOCASE;",
                  kStorageTable);
    *has = false;
    const int result =
        query.c_str() ? sqlite3_exec(db, query.c_str(), NoteRow, has, nullptr) : SQLITE_NOMEM;
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
// nothing). When creation is refused, a missing file, an empty one and a
// database without the table are no store (NOT_FOUND) and stay as they
// were: nothing is created and nothing written.
std::unique_ptr<FsBackend> OpenStorageFs(const std::string& path, StoreCreation creation) {
    const bool create = creation == StoreCreation::Allowed;
    if (!create && !IsSystemFile(path.c_str())) {
        NoteFailure(KIVFS_ERR_NOT_FOUND);
        return nullptr;
    }
    sqlite3* db = OpenConnection(path, create);
    if (!db) return nullptr;
    SqlText createTable("create table if not exists %s %s;", kStorageTable, kStorageColumns);
    bool hasTable = false;
    bool ready = Run(db, "PRAGMA page_size=8192") && Run(db, "PRAGMA cache_size=400") &&
                 (create ? Run(db, createTable.c_str()) : HasTable(db, &hasTable));
    if (ready && !create && !hasTable) {
        NoteFailure(KIVFS_ERR_NOT_FOUND);
        ready = false;
    }
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
