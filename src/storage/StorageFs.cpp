#include "storage/StorageFs.h"

#include "backend/Failure.h"
#include "kivfs.h"
#include "storage/OwnTable.h"
#include "storage/SplitStoredName.h"
#include "storage/SqlText.h"
#include "storage/SqliteFailure.h"
#include "storage/Statement.h"
#include "storage/StorageEnum.h"
#include "storage/StorageFile.h"
#include "storage/TransactionScope.h"

namespace kivfs {

namespace {

// Pins the text `format` gives with the table name.
StatementCache::Entry* PinTableText(StatementCache& cache, const char* format) {
    SqlText sql(format, kStorageTable);
    return cache.Pin(sql.c_str());
}

}  // namespace

// Starts in implicit mode: each operation its own transaction. Directories
// are selected by a range of Path texts (see PathRange), which compares
// bytes: LIKE would let "%" and "_" in a name match anything and fold ASCII
// case, although every file lookup compares names byte for byte. The probe
// of a file asks typeof() and length() of Content, which SQLite answers from
// the row's header without reading the value, and reads the value only when
// the caller wants it whole. A number (another program's row) reads as
// SQLite converts it to a blob, its text, as CopyFile copies it.
StorageFs::StorageFs(sqlite3* db)
    : db_(db),
      readOnly_(sqlite3_db_readonly(db, "main") == 1),
      statements_(db),
      fixed_{
          statements_.Pin("BEGIN TRANSACTION;"),
          statements_.Pin("BEGIN IMMEDIATE TRANSACTION;"),
          statements_.Pin("COMMIT TRANSACTION;"),
          statements_.Pin("ROLLBACK TRANSACTION;"),
          PinTableText(statements_, "SELECT rowid from %s where FileName=? and Path=?;"),
          PinTableText(statements_,
                       "SELECT rowid, CASE typeof(Content) WHEN 'blob' THEN length(Content) "
                       "WHEN 'text' THEN -1 WHEN 'null' THEN 0 ELSE length(CAST(Content AS "
                       "BLOB)) END, CASE WHEN typeof(Content)='blob' AND length(Content) <= ?3 "
                       "THEN Content WHEN typeof(Content) IN ('integer', 'real') THEN "
                       "CAST(Content AS BLOB) END from %s where FileName=?1 and Path=?2;"),
          PinTableText(statements_, "INSERT INTO %s (FileName, Path, Content) VALUES (?, ?, ?);"),
          PinTableText(statements_, "SELECT Content from %s where rowid=?;"),
          PinTableText(statements_, "UPDATE %s Set Content = ? where rowid = ?;"),
          PinTableText(statements_, "SELECT Content from %s where FileName=? and Path=?;"),
          PinTableText(statements_, "UPDATE %s Set Content = ? where FileName=? and Path=?;"),
          PinTableText(statements_, "delete from %s where FileName=? and Path=?;"),
          PinTableText(statements_, "update %s set FileName=? where FileName=? and Path=?;"),
          PinTableText(statements_, "SELECT Path from %s where Path >= ? and Path < ? limit 1;"),
          PinTableText(statements_, "SELECT FileName, Path from %s where Path >= ? and Path < ?;"),
          PinTableText(statements_, "delete from %s where Path >= ? and Path < ?;"),
          statements_.Pin("PRAGMA data_version;")} {}

// Files and listings are gone by now; a blob handle still open is closed so
// that the connection can close. Implicit transactions never outlive their
// operation, and an explicit one the caller never committed is rolled back
// by the close.
StorageFs::~StorageFs() {
    blobs_.CloseAll();
    statements_.Clear();
    sqlite3_close(db_);
}

// Runs one pinned statement with no result rows.
bool StorageFs::Exec(StatementCache::Entry* pinned) {
    Statement statement(statements_, pinned);
    return statement.Prepared() && statement.Run();
}

// A connection found inside a transaction here (a rollback that failed
// earlier) is taken out of it first: BEGIN would be refused otherwise.
bool StorageFs::BeginImplicit(bool writes) {
    if (!sqlite3_get_autocommit(db_)) RollBack();
    return Exec(writes ? fixed_.beginImmediate : fixed_.begin);
}

// A failed COMMIT may leave the transaction open (busy) or SQLite may have
// rolled it back already (full disk, I/O error); either way nothing of it
// stays and the connection is left outside any transaction.
bool StorageFs::EndImplicit(bool commit) {
    blobs_.CloseAll();
    if (commit && Exec(fixed_.commit)) {
        folders_.NoteCommitted();
        return true;
    }
    RollBack();
    return false;
}

// sqlite3_get_autocommit tells whether the connection is still inside the
// transaction BeginTrans opened: SQLite rolls a transaction back by itself
// after some errors (a full disk, an I/O error, no memory), and statements
// run after that would each commit on their own.
bool StorageFs::ExplicitTransactionAlive() {
    if (!transLost_ && !sqlite3_get_autocommit(db_)) return true;
    if (!transLost_) {
        transLost_ = true;
        const int result = sqlite3_extended_errcode(db_);
        lostCause_ = result == SQLITE_OK ? KIVFS_ERR_IO : SqliteResultToCode(result, 0);
    }
    NoteFailure(lostCause_);
    return false;
}

// data_version is learned when the read transaction takes its lock, so it is
// current here.
int64_t StorageFs::DataVersion() {
    Statement query(statements_, fixed_.dataVersion);
    return query.Step() == SQLITE_ROW ? query.ColumnInt64(0) : -1;
}

// This connection never changes the schema after it opened the store, so
// only another connection's commit can make the answer stale.
bool StorageFs::KeysAreUnique() {
    const int64_t version = DataVersion();
    if (version < 0) return false;
    if (version != layoutVersion_) {
        const OwnTable own = CheckOwnTable(statements_);
        if (own == OwnTable::Unknown) return false;
        keysUnique_ = own == OwnTable::Yes;
        layoutVersion_ = version;
    }
    return keysUnique_;
}

// The own count takes the low half, wrapping harmlessly.
uint64_t StorageFs::ContentVersion() {
    const int64_t others = DataVersion();
    if (others < 0) return 0;
    return (static_cast<uint64_t>(others) << 32 | ownChanges_) + 1;
}

// ROLLBACK only when there is something to roll back: it fails otherwise.
// The folder picture may hold what it undoes.
void StorageFs::RollBack() {
    blobs_.CloseAll();
    folders_.NoteRolledBack();
    if (!sqlite3_get_autocommit(db_)) Exec(fixed_.rollback);
}

// One statement that changes rows, with two or three names bound in order.
// A statement that matched no row (a missing source) changed nothing.
template <typename NoteChange>
bool StorageFs::ChangeInScope(StatementCache::Entry* pinned, const std::string& first,
                              const std::string& second, const std::string* third,
                              NoteChange noteChange) {
    TransactionScope scope(*this, TransactionScope::Access::Write);
    if (!scope.Began()) return false;
    Statement statement(statements_, pinned);
    const bool done = statement.Prepared() && statement.BindText(1, first) &&
                      statement.BindText(2, second) && (!third || statement.BindText(3, *third)) &&
                      statement.Run();
    if (done && sqlite3_changes(db_) > 0) noteChange();
    return scope.End(done);
}

// The file finds or creates its row on first use; opening never fails and
// never touches the database. The mode has no effect on a store.
std::unique_ptr<FsFile> StorageFs::OpenFile(const std::string& name, int) {
    return std::make_unique<StorageFile>(*this, SplitStoredName(name));
}

// The listing is read whole now; one that could not be read gives null.
std::unique_ptr<FsEnum> StorageFs::CreateEnum(const std::string& name) {
    auto listing = std::make_unique<StorageEnum>(DirectoryText(name));
    if (!listing->Build(*this)) return nullptr;
    return listing;
}

// True when the lookup ran; *exists is true on a found row. A lookup that
// could not run (a lock held past the busy timeout, an I/O error) is a
// failure, never a "missing".
bool StorageFs::IsFileExist(const std::string& name, bool* exists) {
    *exists = false;
    const StoredName keys = SplitStoredName(name);
    TransactionScope scope(*this, TransactionScope::Access::Read);
    if (!scope.Began()) return false;
    const int64_t rowId = FindRowId(keys);
    if (!scope.End(rowId >= 0)) return false;
    *exists = rowId > 0;
    return true;
}

// The file lookup by its two keys, compared with "=" byte for byte.
int64_t StorageFs::FindRowId(const StoredName& keys) {
    Statement query(statements_, fixed_.findRow);
    if (!query.Prepared() || !query.BindText(1, keys.fileName) || !query.BindText(2, keys.path))
        return -1;
    const int result = query.Step();
    if (result == SQLITE_ROW) return query.ColumnInt64(0);
    return result == SQLITE_DONE ? 0 : -1;
}

// Deletes exactly the named directory's subtree; the empty name stands for
// the top and empties the store.
bool StorageFs::DeleteDirectory(const std::string& name) {
    TransactionScope scope(*this, TransactionScope::Access::Write);
    if (!scope.Began()) return false;
    const PathRange range = DirectoryRange(name);  // bound, not copied: outlives the statement
    Statement statement(statements_, fixed_.deleteRange);
    const bool done = statement.BindPathRange(1, range) && statement.Run();
    if (done) folders_.NoteDirectoryRemoved(range.first);
    return scope.End(done);
}

// A directory exists while some file lies in it or below it.
bool StorageFs::IsDirectoryExist(const std::string& name, bool* exists) {
    *exists = false;
    TransactionScope scope(*this, TransactionScope::Access::Read);
    if (!scope.Began()) return false;
    const int result = LookForDirectory(name);
    if (!scope.End(result == SQLITE_ROW || result == SQLITE_DONE)) return false;
    *exists = result == SQLITE_ROW;
    return true;
}

// The folder picture answers when it is current; it is not built for this
// (a scan of every row), so otherwise one row is looked for. The query is
// reset before it returns, so that the scope's end finds no read running.
int StorageFs::LookForDirectory(const std::string& name) {
    const PathRange range = DirectoryRange(name);  // bound, not copied: outlives the query
    if (folders_.IsBuilt()) {
        const int64_t version = DataVersion();
        if (version < 0) return SQLITE_ERROR;
        if (folders_.IsCurrent(version))
            return folders_.Find(range.first) ? SQLITE_ROW : SQLITE_DONE;
    }
    Statement query(statements_, fixed_.anyInRange);
    return query.BindPathRange(1, range) ? query.Step() : SQLITE_MISUSE;
}

// Deleting a file that is not there succeeds.
bool StorageFs::DeleteFile(const std::string& name) {
    const StoredName keys = SplitStoredName(name);
    return ChangeInScope(fixed_.deleteFile, keys.fileName, keys.path, nullptr,
                         [&] { folders_.NoteRemoved(keys); });
}

// Renames within one directory only; an existing target makes the primary
// key refuse the update, and a missing source changes nothing and succeeds.
bool StorageFs::RenameFile(const std::string& oldName, const std::string& newName) {
    const StoredName source = SplitStoredName(oldName);
    const StoredName target = SplitStoredName(newName);
    if (source.path != target.path) {
        NoteFailure(KIVFS_ERR_ARGUMENT);  // a move to another directory is MoveFile's
        return false;
    }
    return ChangeInScope(fixed_.renameFile, target.fileName, source.fileName, &source.path, [&] {
        folders_.NoteRemoved(source);
        folders_.NoteAdded(target);
    });
}

// The test of the target and the copy are one transaction.
bool StorageFs::CopyFile(const std::string& source, const std::string& target, bool failIfExists) {
    TransactionScope scope(*this, TransactionScope::Access::Write);
    return scope.Began() && scope.End(CopyInScope(source, target, failIfExists));
}

// Copies Content only. An existing target keeps its row (and rowid); a new
// one is inserted. An empty source reads back as a NULL pointer and so is
// stored as NULL, which files read as empty.
bool StorageFs::CopyInScope(const std::string& source, const std::string& target,
                            bool failIfExists) {
    bool targetExists = false;
    if (!IsFileExist(target, &targetExists)) return false;
    if (failIfExists && targetExists) {
        NoteFailure(KIVFS_ERR_EXISTS);
        return false;
    }
    const StoredName from = SplitStoredName(source);
    const StoredName to = SplitStoredName(target);
    Statement query(statements_, fixed_.contentByName);
    if (!query.BindText(1, from.fileName) || !query.BindText(2, from.path)) return false;
    const int found = query.Step();
    if (found != SQLITE_ROW) {
        if (found == SQLITE_DONE) NoteFailure(KIVFS_ERR_NOT_FOUND);
        return false;
    }
    // The bytes stay valid while `query` stands on its row.
    const void* bytes = query.ColumnBlob(0);
    const int length = query.ColumnBytes(0);
    if (targetExists) {
        Statement update(statements_, fixed_.updateByName);
        return update.BindBlob(1, bytes, length) && update.BindText(2, to.fileName) &&
               update.BindText(3, to.path) && update.Run();
    }
    Statement insert(statements_, fixed_.insertRow);
    const bool inserted = insert.BindText(1, to.fileName) && insert.BindText(2, to.path) &&
                          insert.BindBlob(3, bytes, length) && insert.Run();
    if (inserted) folders_.NoteAdded(to);
    return inserted;
}

// A copy followed by the deletion of the source, in one transaction: a move
// that fails changes nothing. A move onto the same name would copy the file
// onto itself and then delete it: it keeps the file instead, succeeding
// unless the caller asked to fail on an existing target (the file itself) or
// the file does not exist.
bool StorageFs::MoveFile(const std::string& source, const std::string& target, bool failIfExists) {
    TransactionScope scope(*this, TransactionScope::Access::Write);
    if (!scope.Began()) return false;
    if (source == target) {
        bool exists = false;
        if (!IsFileExist(source, &exists)) return false;
        if (!exists || failIfExists) NoteFailure(exists ? KIVFS_ERR_EXISTS : KIVFS_ERR_NOT_FOUND);
        return scope.End(exists && !failIfExists);
    }
    return scope.End(CopyFile(source, target, failIfExists) && DeleteFile(source));
}

// A second BeginTrans commits the work so far and begins anew; when that
// commit fails, the work so far is rolled back and no transaction begins.
bool StorageFs::BeginTrans() {
    CountOwnChange();
    if (inTrans_ && !CommitTrans()) return false;
    if (!sqlite3_get_autocommit(db_)) RollBack();
    inTrans_ = Exec(fixed_.begin);
    transLost_ = false;
    return inTrans_;
}

// Open blob handles would make SQLite refuse the COMMIT; they are closed
// first and reopen lazily. A transaction SQLite ended by itself, or whose
// COMMIT fails (busy past the timeout, a full disk), is rolled back as a
// whole and reported as false. Back in implicit mode in any case. A commit
// with no transaction open is a call out of order: an argument refused.
bool StorageFs::CommitTrans() {
    if (!inTrans_) {
        NoteFailure(KIVFS_ERR_ARGUMENT);
        return false;
    }
    CountOwnChange();
    blobs_.CloseAll();
    const bool committed = ExplicitTransactionAlive() && Exec(fixed_.commit);
    if (committed) folders_.NoteCommitted();
    if (!committed) RollBack();
    inTrans_ = false;
    transLost_ = false;
    return committed;
}

}  // namespace kivfs
