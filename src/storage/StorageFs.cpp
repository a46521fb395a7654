#include "storage/StorageFs.h"

#include "storage/SplitStoredName.h"
#include "storage/SqlText.h"
#include "storage/Statement.h"
#include "storage/StorageEnum.h"
#include "storage/StorageFile.h"
#include "storage/TransactionScope.h"

namespace kivfs {

namespace {

// The prefix pattern of a directory for LIKE: its text (with its "/") then
// "%". Not escaped: under LIKE, "%" and "_" in the name match anything and
// ASCII letters match either case, as existence tests and listings always did.
std::string LikePattern(const std::string& directory) {
    return DirectoryText(directory) + "%";
}

}  // namespace

namespace {

// Pins the text `format` gives with the table name.
StatementCache::Entry* PinTableText(StatementCache& cache, const char* format) {
    SqlText sql(format, kStorageTable);
    return cache.Pin(sql.c_str());
}

}  // namespace

// Starts in implicit mode: each operation its own transaction.
StorageFs::StorageFs(sqlite3* db)
    : db_(db),
      statements_(db),
      fixed_{
          statements_.Pin("BEGIN TRANSACTION;"), statements_.Pin("COMMIT TRANSACTION;"),
          PinTableText(statements_, "SELECT rowid from %s where FileName=? and Path=?;"),
          PinTableText(statements_, "INSERT INTO %s (FileName, Path, Content) VALUES (?, ?, ?);")} {
}

// Files and listings are gone by now, so no blob handle should be open; any
// still open is closed so that the connection can close. A transaction the
// store's own scopes left open (its COMMIT refused, say, while another
// connection was reading) is committed once more rather than lost. An
// explicit transaction that the caller never committed is not: closing the
// connection rolls it back.
StorageFs::~StorageFs() {
    blobs_.CloseAll();
    if (!inTrans_ && !sqlite3_get_autocommit(db_)) Exec(fixed_.commit);
    statements_.Clear();
    sqlite3_close(db_);
}

// Runs one statement with no result rows, through the statement cache.
bool StorageFs::Exec(const char* sql) {
    Statement statement(statements_, sql);
    return statement.Prepared() && statement.Run();
}

// The same for a pinned statement.
bool StorageFs::Exec(StatementCache::Entry* pinned) {
    Statement statement(statements_, pinned);
    return statement.Prepared() && statement.Run();
}

// The same inside the operation's own transaction scope.
bool StorageFs::ExecInScope(const char* sql) {
    TransactionScope scope(*this);
    return Exec(sql);
}

// The file finds or creates its row on first use; opening never fails and
// never touches the database. The mode has no effect on a store.
std::unique_ptr<FsFile> StorageFs::OpenFile(const std::string& name, int) {
    return std::make_unique<StorageFile>(*this, SplitStoredName(name));
}

// The listing is read whole now; a query that cannot be prepared gives null.
std::unique_ptr<FsEnum> StorageFs::CreateEnum(const std::string& name) {
    auto listing = std::make_unique<StorageEnum>(DirectoryText(name));
    if (!listing->Build(*this)) return nullptr;
    return listing;
}

// True whenever the query could be prepared; *exists is true on a found row.
bool StorageFs::IsFileExist(const std::string& name, bool* exists) {
    const StoredName keys = SplitStoredName(name);
    TransactionScope scope(*this);
    const int64_t rowId = FindRowId(keys);
    *exists = rowId > 0;
    return rowId >= 0;
}

// The file lookup by its two keys, compared with "=" byte for byte. The names
// are bound rather than quoted into the text, so that one prepared statement
// serves every lookup: the same query, the same rows, without preparing a new
// text for each name (the dominant cost of opening a small file).
int64_t StorageFs::FindRowId(const StoredName& keys) {
    Statement query(statements_, fixed_.findRow);
    if (!query.Prepared() || !query.BindText(1, keys.fileName) || !query.BindText(2, keys.path))
        return -1;
    return query.Step() == SQLITE_ROW ? query.ColumnInt64(0) : 0;
}

// Deletes exactly the named directory's subtree: the rows whose Path begins
// with the directory text byte for byte. LIKE would also take directories
// that differ in letter case or match through a "%" or "_" in the name,
// which every file lookup treats as other files; instr() compares bytes and
// knows no wildcards. The empty name stands for the top and empties the
// store.
bool StorageFs::DeleteDirectory(const std::string& name) {
    if (name.empty()) {
        SqlText sql("delete from %s where Path like %Q;", kStorageTable, "%");
        return ExecInScope(sql.c_str());
    }
    SqlText sql("delete from %s where instr(Path, %Q) = 1;", kStorageTable,
                DirectoryText(name).c_str());
    return ExecInScope(sql.c_str());
}

// A directory exists while some file lies in it or below it.
bool StorageFs::IsDirectoryExist(const std::string& name, bool* exists) {
    TransactionScope scope(*this);
    *exists = false;
    SqlText sql("SELECT Path from %s where Path like %Q;", kStorageTable,
                LikePattern(name).c_str());
    Statement query(statements_, sql.c_str());
    if (!query.Prepared()) return false;
    *exists = query.Step() == SQLITE_ROW;
    return true;
}

// Deleting a file that is not there succeeds.
bool StorageFs::DeleteFile(const std::string& name) {
    const StoredName keys = SplitStoredName(name);
    SqlText sql("delete from %s where FileName=%Q and Path=%Q;", kStorageTable,
                keys.fileName.c_str(), keys.path.c_str());
    return ExecInScope(sql.c_str());
}

// Renames within one directory only; an existing target makes the primary
// key refuse the update, and a missing source changes nothing and succeeds.
bool StorageFs::RenameFile(const std::string& oldName, const std::string& newName) {
    const StoredName source = SplitStoredName(oldName);
    const StoredName target = SplitStoredName(newName);
    if (source.path != target.path) return false;
    SqlText sql("update %s set FileName=%Q where FileName=%Q and Path=%Q;", kStorageTable,
                target.fileName.c_str(), source.fileName.c_str(), source.path.c_str());
    return ExecInScope(sql.c_str());
}

// Copies Content only. An existing target keeps its row (and rowid); a new
// one is inserted. An empty source reads back as a NULL pointer and so is
// stored as NULL, which files read as empty.
bool StorageFs::CopyFile(const std::string& source, const std::string& target, bool failIfExists) {
    bool targetExists = false;
    if (!IsFileExist(target, &targetExists)) return false;
    if (failIfExists && targetExists) return false;
    const StoredName from = SplitStoredName(source);
    const StoredName to = SplitStoredName(target);
    TransactionScope scope(*this);
    SqlText select("SELECT Content from %s where FileName=%Q and Path=%Q;", kStorageTable,
                   from.fileName.c_str(), from.path.c_str());
    Statement query(statements_, select.c_str());
    if (!query.Prepared() || query.Step() != SQLITE_ROW) return false;
    // The bytes stay valid while `query` stands on its row.
    const void* bytes = query.ColumnBlob(0);
    const int length = query.ColumnBytes(0);
    if (targetExists) {
        SqlText sql("UPDATE %s Set Content = ? where FileName=%Q and Path=%Q;", kStorageTable,
                    to.fileName.c_str(), to.path.c_str());
        Statement update(statements_, sql.c_str());
        return update.BindBlob(1, bytes, length) && update.Run();
    }
    Statement insert(statements_, fixed_.insertRow);
    return insert.BindText(1, to.fileName) && insert.BindText(2, to.path) &&
           insert.BindBlob(3, bytes, length) && insert.Run();
}

// A copy followed by the deletion of the source; atomic only inside an
// explicit transaction. A move onto the same name would copy the file onto
// itself and then delete it: it keeps the file instead, succeeding unless
// the caller asked to fail on an existing target (the file itself) or the
// file does not exist.
bool StorageFs::MoveFile(const std::string& source, const std::string& target, bool failIfExists) {
    if (source == target) {
        bool exists = false;
        return !failIfExists && IsFileExist(source, &exists) && exists;
    }
    if (!CopyFile(source, target, failIfExists)) return false;
    TransactionScope scope(*this);
    return DeleteFile(source);
}

// A second BeginTrans commits the work so far and begins anew. Outside a
// transaction, what open files wrote in place is committed first: their blob
// handles still hold it uncommitted, and BEGIN would sweep it into the new
// transaction, to be lost with it if the caller never commits.
bool StorageFs::BeginTrans() {
    if (inTrans_) {
        CommitTrans();
        inTrans_ = false;
    } else {
        TransactionScope commitPending(*this);
    }
    inTrans_ = Exec(fixed_.begin);
    return inTrans_;
}

// Open blob handles would make SQLite refuse the COMMIT and the work of the
// transaction would be lost at close; they are closed first (see
// TransactionScope) and reopen lazily. Back in implicit mode in any case.
bool StorageFs::CommitTrans() {
    blobs_.CloseAll();
    const bool committed = Exec(fixed_.commit);
    inTrans_ = false;
    return committed;
}

}  // namespace kivfs
