#include "storage/OpenStorageFs.h"

#include <sqlite3.h>

#include "storage/SqlText.h"
#include "storage/StorageFs.h"

namespace kivfs {

// Opens (creating when missing) the database at `path` and makes sure it has
// the FileStorage table. The page size applies only to a database without
// pages yet, so new stores get 8192-byte pages and existing ones keep theirs.
// A file that is not a SQLite database fails one of the statements and is
// refused. These statements run outside any transaction.
std::unique_ptr<FsBackend> OpenStorageFs(const std::string& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    SqlText createTable(
        "create table if not exists %s (FileName text, Path text, Content blob, Info blob, "
        "primary key(FileName, Path));",
        kStorageTable);
    const bool ready =
        sqlite3_exec(db, "PRAGMA page_size=8192", nullptr, nullptr, nullptr) == SQLITE_OK &&
        sqlite3_exec(db, "PRAGMA cache_size=400", nullptr, nullptr, nullptr) == SQLITE_OK &&
        createTable.c_str() &&
        sqlite3_exec(db, createTable.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
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
