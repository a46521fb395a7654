#include "storage/StoreConnection.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <thread>

#include "backend/Failure.h"
#include "kivfs.h"
#include "platform/SystemPath.h"
#include "storage/SqliteFailure.h"
#include "storage/Statement.h"

namespace kivfs {

namespace {

// The table's create statement as SQLite keeps it in sqlite_master (it
// drops "if not exists"): our own table is the one with exactly this text.
constexpr const char* kOwnTableSql =
    "CREATE TABLE FileStorage (FileName text, Path text, Content blob, Info blob, "
    "primary key(FileName, Path))";
constexpr const char* kCreateTable =
    "create table if not exists FileStorage (FileName text, Path text, Content blob, Info blob, "
    "primary key(FileName, Path));";
constexpr const char* kTableName = "FileStorage";
// Whether the table exists, read without writing anything.
constexpr const char* kHasTable =
    "SELECT 1 FROM sqlite_master WHERE type='table' AND name='FileStorage' COLLATE NOCASE;";
constexpr const char* kKeyIndex = "sqlite_autoindex_FileStorage_1";

// Directories are selected by a range of Path texts (see PathRange), which
// compares bytes: LIKE would let "%" and "_" in a name match anything and
// fold ASCII case, although every file lookup compares names byte for byte.
constexpr const char* kListRange =
    "SELECT FileName, Path from FileStorage where Path >= ? and Path < ?;";
// The scan the folder picture is built from: every row's keys, nothing else.
constexpr const char* kScanKeys = "SELECT FileName, Path from FileStorage;";

// How long a statement waits for a lock before it fails with SQLITE_BUSY.
// Another connection holds its locks for one statement or one transaction:
// milliseconds for a read, up to a second or so for a large commit on slow
// media. Three seconds rides out such contention with a wide margin, while a
// host blocked by a connection that keeps a transaction open for good still
// gets its answer (failure, KIVFS_ERR_BUSY) soon enough to tell its user or
// retry later.
constexpr int kBusyTimeoutMs = 3000;

// Called by SQLite (sqlite3_busy_handler) each time a lock it needs is held
// elsewhere; `count` is how often it was called before for the same lock.
// SQLite's own busy timeout sleeps longer and longer between tries (up to
// 100 ms), so a connection waiting on another that commits back to back
// almost never finds the lock free in the short gaps between its
// transactions; this one tries again every millisecond until the timeout. A
// thread waits for one lock at a time, so the start of the current wait is
// kept per thread.
int RetryWhileBusy(void*, int count) {
    using Clock = std::chrono::steady_clock;
    thread_local Clock::time_point since;
    const Clock::time_point now = Clock::now();
    if (count == 0) since = now;
    if (now - since >= std::chrono::milliseconds(kBusyTimeoutMs)) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 1;
}

// A store, its files and its listings are used by one thread at a time (the
// host's rule, kept under a mutex per mount by the stub bridge), so the
// connection is opened without SQLite's own mutex, which every call into
// SQLite would otherwise take and release. SQLite itself falls back to
// read-only access when the file may only be read; a store that cannot be
// opened for writing at all (a read-only medium, say) is tried once more
// read-only, so that its files can still be read. sqlite3_open_v2 may hand
// back a handle on failure, which is closed. Without `create` a missing file
// is not made. On failure *refusal says why.
sqlite3* OpenDatabase(const std::string& path, bool create, StoreConnection::Refusal* refusal) {
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
        refusal->cause = SqliteFailureCode(db, result);
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_handler(db, RetryWhileBusy, nullptr);
    return db;
}

// Records why a statement run on the open `db` failed with `result`: a lock
// held by another program or damage in the pages still make the file a
// database; SQLITE_NOTADB, or a failure to read the file at all, does not.
bool Refused(sqlite3* db, int result, StoreConnection::Refusal* refusal) {
    refusal->cause = SqliteFailureCode(db, result);
    switch (result & 0xff) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
        case SQLITE_CORRUPT:
            refusal->database = true;
            break;
        default:
            refusal->database = false;
    }
    return false;
}

// Runs one set-up statement; on failure *refusal says why.
bool RunSetUp(sqlite3* db, const char* sql, StoreConnection::Refusal* refusal) {
    const int result = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    return result == SQLITE_OK || Refused(db, result, refusal);
}

// sqlite3_exec's callback: a row was found.
int NoteRow(void* found, int, char**, char**) {
    *static_cast<bool*>(found) = true;
    return 0;
}

// Whether the database holds the table, read without writing anything: a
// 0-byte file reads as an empty database, holding none. A file that is no
// database, or a lock held too long, fails the query (*refusal says why).
bool HasTable(sqlite3* db, bool* has, StoreConnection::Refusal* refusal) {
    *has = false;
    const int result = sqlite3_exec(db, kHasTable, NoteRow, has, nullptr);
    return result == SQLITE_OK || Refused(db, result, refusal);
}

}  // namespace

// The page size applies only to a database without pages yet, so new stores
// get 8192-byte pages and existing ones keep theirs. A file that is not a
// SQLite database fails one of the statements and is refused. These
// statements run outside any transaction; on a read-only store the table
// must exist already (its "if not exists" then writes nothing). When
// creation is refused, a missing file, an empty one and a database without
// the table are no store (NOT_FOUND) and stay as they were: nothing is
// created and nothing written. The handle is owned from the moment it
// opens, so that no failure below, an allocation's included, leaves it open.
std::unique_ptr<StoreConnection> StoreConnection::Open(const std::string& path, bool create,
                                                       Refusal* refusal) {
    if (!create && !IsSystemFile(path.c_str())) {
        *refusal = Refusal{KIVFS_ERR_NOT_FOUND, false};
        return nullptr;
    }
    Handle db(OpenDatabase(path, create, refusal));
    if (!db) return nullptr;
    bool hasTable = false;
    const bool ready = RunSetUp(db.get(), "PRAGMA page_size=8192", refusal) &&
                       RunSetUp(db.get(), "PRAGMA cache_size=400", refusal) &&
                       (create ? RunSetUp(db.get(), kCreateTable, refusal)
                               : HasTable(db.get(), &hasTable, refusal));
    if (!ready) return nullptr;
    if (!create && !hasTable) {
        *refusal = Refusal{KIVFS_ERR_NOT_FOUND, true};
        return nullptr;
    }
    // Allocation comes before the handle moves into the argument, so a
    // failed one leaves it to `db`; a failing constructor leaves it to db_.
    return std::unique_ptr<StoreConnection>(new StoreConnection(std::move(db)));
}

// The probe of a file asks typeof() and length() of Content, which SQLite
// answers from the row's header without reading the value, and reads the
// value only when the caller wants it whole. Its columns: rowid, Content's
// length in bytes (0 for NULL and numbers; -1 for a text, whose length()
// counts characters; for a number, the length of its text), and Content
// itself when it is a blob of at most ?3
// bytes, a number as its text, else NULL. A number (another program's row)
// reads as SQLite converts it to a blob, its text, as CopyFile copies it, and
// its length is that text's. The handle is taken over first: should a member below
// fail to allocate, it is still closed.
StoreConnection::StoreConnection(Handle db)
    : db_(std::move(db)),
      readOnly_(sqlite3_db_readonly(db_.get(), "main") == 1),
      statements_(db_.get()),
      pinned_{
          statements_.Pin("BEGIN TRANSACTION;"),
          statements_.Pin("BEGIN IMMEDIATE TRANSACTION;"),
          statements_.Pin("COMMIT TRANSACTION;"),
          statements_.Pin("ROLLBACK TRANSACTION;"),
          statements_.Pin("SELECT rowid from FileStorage where FileName=? and Path=?;"),
          statements_.Pin(
              "SELECT rowid, CASE typeof(Content) WHEN 'blob' THEN length(Content) "
              "WHEN 'text' THEN -1 WHEN 'null' THEN 0 ELSE length(CAST(Content AS BLOB)) END, "
              "CASE WHEN typeof(Content)='blob' AND length(Content) <= ?3 THEN Content "
              "WHEN typeof(Content) IN ('integer', 'real') THEN CAST(Content AS BLOB) END "
              "from FileStorage where FileName=?1 and Path=?2;"),
          statements_.Pin("INSERT INTO FileStorage (FileName, Path, Content) VALUES (?, ?, ?);"),
          statements_.Pin("SELECT Content from FileStorage where rowid=?;"),
          statements_.Pin("UPDATE FileStorage Set Content = ? where rowid = ?;"),
          statements_.Pin("SELECT Content from FileStorage where FileName=? and Path=?;"),
          statements_.Pin("UPDATE FileStorage Set Content = ? where FileName=? and Path=?;"),
          statements_.Pin("delete from FileStorage where FileName=? and Path=?;"),
          statements_.Pin("update FileStorage set FileName=? where FileName=? and Path=?;"),
          statements_.Pin("SELECT Path from FileStorage where Path >= ? and Path < ? limit 1;"),
          statements_.Pin(kListRange),
          statements_.Pin("delete from FileStorage where Path >= ? and Path < ?;"),
          statements_.Pin("PRAGMA data_version;")} {}

// Files and listings are gone by now; a blob handle still open (a spare) is
// closed and every statement finalized so that the connection can close
// (db_, the last member to go). Implicit transactions never outlive their
// operation, and an explicit one the caller never committed is rolled back
// by the close.
StoreConnection::~StoreConnection() {
    blobs_.CloseAll();
    statements_.Clear();
}

// Runs one pinned statement with no result rows.
bool StoreConnection::Exec(StatementCache::Entry* pinned) {
    Statement statement(statements_, pinned);
    return statement.Prepared() && statement.Run();
}

// sqlite3_get_autocommit is true outside any transaction SQLite keeps open.
bool StoreConnection::CanRunAlone() const {
    return !inTrans_ && scopeDepth_ == 0 && sqlite3_get_autocommit(db_.get()) != 0;
}

// A connection found inside a transaction here (a rollback that failed
// earlier) is taken out of it first: BEGIN would be refused otherwise.
bool StoreConnection::BeginImplicit(bool writes) {
    if (!sqlite3_get_autocommit(db_.get())) RollBack();
    return Exec(writes ? pinned_.beginImmediate : pinned_.begin);
}

// A failed COMMIT may leave the transaction open (busy) or SQLite may have
// rolled it back already (full disk, I/O error); either way nothing of it
// stays and the connection is left outside any transaction. Open blob
// handles would make SQLite refuse the COMMIT; they are closed first and
// reopen lazily.
bool StoreConnection::EndImplicit(bool commit) {
    blobs_.CloseAll();
    if (commit && Exec(pinned_.commit)) {
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
bool StoreConnection::ExplicitTransactionAlive() {
    if (!transLost_ && !sqlite3_get_autocommit(db_.get())) return true;
    if (!transLost_) {
        transLost_ = true;
        const int result = sqlite3_extended_errcode(db_.get());
        lostCause_ = result == SQLITE_OK ? KIVFS_ERR_IO : SqliteResultToCode(result, 0);
    }
    NoteFailure(lostCause_);
    return false;
}

// A second BeginTrans commits the work so far and begins anew; when that
// commit fails, the work so far is rolled back and no transaction begins.
bool StoreConnection::BeginExplicit() {
    CountOwnChange();
    if (inTrans_ && !CommitExplicit()) return false;
    if (!sqlite3_get_autocommit(db_.get())) RollBack();
    inTrans_ = Exec(pinned_.begin);
    transLost_ = false;
    return inTrans_;
}

// A transaction SQLite ended by itself, or whose COMMIT fails (busy past the
// timeout, a full disk), is rolled back as a whole and reported as false.
// Back in implicit mode in any case. A commit with no transaction open is a
// call out of order: an argument refused.
bool StoreConnection::CommitExplicit() {
    if (!inTrans_) {
        NoteFailure(KIVFS_ERR_ARGUMENT);
        return false;
    }
    CountOwnChange();
    blobs_.CloseAll();
    const bool committed = ExplicitTransactionAlive() && Exec(pinned_.commit);
    if (committed) folders_.NoteCommitted();
    if (!committed) RollBack();
    inTrans_ = false;
    transLost_ = false;
    return committed;
}

// ROLLBACK only when there is something to roll back: it fails otherwise.
// The folder picture may hold what it undoes.
void StoreConnection::RollBack() {
    blobs_.CloseAll();
    folders_.NoteRolledBack();
    if (sqlite3_get_autocommit(db_.get())) return;
    Statement rollback(statements_, pinned_.rollback);
    if (rollback.Prepared()) rollback.RunAfterFailure();
}

// data_version is learned when the read transaction takes its lock, so it is
// current here.
std::optional<int64_t> StoreConnection::DataVersion() {
    Statement query(statements_, pinned_.dataVersion);
    if (query.Step() != SQLITE_ROW) return std::nullopt;
    return query.ColumnInt64(0);
}

// The own count takes the low half, wrapping harmlessly.
std::optional<uint64_t> StoreConnection::ContentVersion() {
    const std::optional<int64_t> others = DataVersion();
    if (!others) return std::nullopt;
    return static_cast<uint64_t>(*others) << 32 | ownChanges_;
}

// This connection never changes the schema after it opened the store, so
// only another connection's commit can make the answer stale.
bool StoreConnection::KeysAreUnique() {
    const std::optional<int64_t> version = DataVersion();
    if (!version) return false;
    if (version != layoutVersion_) {
        const OwnTable own = CheckOwnTable();
        if (own == OwnTable::Unknown) return false;
        keysUnique_ = own == OwnTable::Yes;
        layoutVersion_ = version;
    }
    return keysUnique_;
}

// sqlite_master keeps the create statement as given, and an index made for
// the primary key has no statement; a trigger or another index adds a row.
// Only on our own table, alone, is a (FileName, Path) pair unique, does a
// listing query read the primary key's index, and does a change touch
// nothing but that table.
StoreConnection::OwnTable StoreConnection::CheckOwnTable() {
    const std::string tableName = kTableName;
    Statement schema(
        statements_,
        "SELECT type, name, sql FROM sqlite_master WHERE tbl_name = ? COLLATE NOCASE;");
    if (!schema.BindText(1, tableName)) return OwnTable::Unknown;
    int rows = 0;
    bool same = true;
    int result;
    while ((result = schema.Step()) == SQLITE_ROW) {
        ++rows;
        const bool isIndex = schema.ColumnView(0) == "index";
        std::string_view sql;
        const bool hasSql = schema.TextColumn(2, &sql);
        same = same && schema.ColumnView(1) == (isIndex ? kKeyIndex : kTableName) &&
               (isIndex ? !hasSql : hasSql && sql == kOwnTableSql);
    }
    if (result != SQLITE_DONE) return OwnTable::Unknown;
    return same && rows == 2 ? OwnTable::Yes : OwnTable::No;
}

// Another connection's commit changes data_version, and the picture is then
// built again. data_version is read in the caller's transaction, before any
// row: the rows read after it are at least as new as the version recorded,
// so a commit in between at worst makes the next listing build again. A
// picture too big to hold now is listed by query, and tried again next time.
FolderTree::Use StoreConnection::RefreshFolders() {
    const std::optional<int64_t> version = DataVersion();
    if (!version) return FolderTree::Use::Failed;
    if (const std::optional<FolderTree::Use> known = folders_.KnownAt(*version)) return *known;
    try {
        return BuildFolders(*version);
    } catch (const std::bad_alloc&) {
        folders_.Drop();
        return FolderTree::Use::ByQuery;
    }
}

// One scan of every row through the index every listing scans, so the rows
// come in the order listings see them. A row the picture cannot model, or
// rows out of key order, make the store one that is listed by query until
// another connection changes it.
FolderTree::Use StoreConnection::BuildFolders(int64_t version) {
    using Use = FolderTree::Use;
    folders_.Drop();
    Use use = CheckLayout();
    if (use == Use::Ready) {
        folders_.StartBuild();
        Statement scan(statements_, kScanKeys);
        int result = scan.Prepared() ? SQLITE_ROW : SQLITE_MISUSE;
        while (use == Use::Ready && (result = scan.Step()) == SQLITE_ROW) {
            std::string_view fileName;
            std::string_view path;
            const bool texts = scan.TextColumn(0, &fileName) && scan.TextColumn(1, &path);
            if (!texts || !folders_.AddScanned(fileName, path)) use = Use::ByQuery;
        }
        if (use == Use::Ready && result != SQLITE_DONE) use = Use::Failed;
    }
    return folders_.FinishBuild(use, version);
}

// Whether the store's table is exactly the one this library creates, alone
// (no other index, no trigger), in a UTF-8 database, and both the listing
// query and the scan read the primary key's index: only then do listings
// see rows in key order, with texts compared as the picture compares them.
// Ready, ByQuery, or Failed when the schema could not be read.
FolderTree::Use StoreConnection::CheckLayout() {
    using Use = FolderTree::Use;
    {
        Statement encoding(statements_, "PRAGMA encoding;");
        if (encoding.Step() != SQLITE_ROW) return Use::Failed;
        if (encoding.ColumnView(0) != "UTF-8") return Use::ByQuery;
    }
    const OwnTable own = CheckOwnTable();
    if (own != OwnTable::Yes) return own == OwnTable::No ? Use::ByQuery : Use::Failed;
    const Use listing = ScansKeyIndex(kListRange);
    return listing == Use::Ready ? ScansKeyIndex(kScanKeys) : listing;
}

// Whether SQLite runs `sql` as one scan of the primary key's index, which
// yields rows in key order. The plan's wording is SQLite's, not an API: any
// other text, too, sends the store to the query.
FolderTree::Use StoreConnection::ScansKeyIndex(const char* sql) {
    const std::string index = std::string("COVERING INDEX ") + kKeyIndex;
    const std::string explain = std::string("EXPLAIN QUERY PLAN ") + sql;
    Statement plan(statements_, explain.c_str());
    int steps = 0;
    bool scansIndex = true;
    int result;
    while ((result = plan.Step()) == SQLITE_ROW) {
        ++steps;
        scansIndex = scansIndex && plan.ColumnView(3).find(index) != std::string_view::npos;
    }
    if (result != SQLITE_DONE) return FolderTree::Use::Failed;
    return scansIndex && steps == 1 ? FolderTree::Use::Ready : FolderTree::Use::ByQuery;
}

// Flags 1 open read-write, 0 read-only: a read never takes the write lock.
// A spare that cannot move (no such row, a NULL Content) is closed, and a
// new handle tried, which fails the same way. SQLite may hand back a handle
// on failure; it is closed (null is fine).
int StoreConnection::OpenContent(sqlite3_int64 rowId, bool writable, sqlite3_blob** handle) {
    *handle = blobs_.TakeSpare(writable);
    if (*handle && sqlite3_blob_reopen(*handle, rowId) == SQLITE_OK) return SQLITE_OK;
    sqlite3_blob_close(*handle);
    *handle = nullptr;
    const int result = sqlite3_blob_open(db_.get(), "main", kTableName, "Content", rowId,
                                         writable ? 1 : 0, handle);
    if (result != SQLITE_OK) {
        sqlite3_blob_close(*handle);
        *handle = nullptr;
    }
    return result;
}

// The system's errno decides the code only for a file that cannot be opened.
void StoreConnection::NoteResult(int result) {
    NoteSqliteFailure(db_.get(), result);
}

// SQLite's length limit is never above INT_MAX, as SQLite measures values
// with an int. A longer value is refused before it is built: SQLite would
// only refuse it after the whole value, up to 4 GiB that a single Resize can
// ask for, was made in memory.
bool StoreConnection::FitsInStore(uint64_t length) {
    const int limit = sqlite3_limit(db_.get(), SQLITE_LIMIT_LENGTH, -1);
    if (length <= static_cast<uint64_t>(limit)) return true;
    NoteFailure(KIVFS_ERR_ARGUMENT);
    return false;
}

// The file lookup by its two keys, compared with "=" byte for byte.
RowLookup StoreConnection::FindRow(const StoredName& keys) {
    Statement query(statements_, pinned_.findRow);
    if (!query.Prepared() || !query.BindText(1, keys.fileName) || !query.BindText(2, keys.path))
        return RowLookup{};
    const int result = query.Step();
    if (result == SQLITE_ROW) return RowLookup{RowState::Found, query.ColumnInt64(0)};
    return RowLookup{result == SQLITE_DONE ? RowState::Missing : RowState::Failed, 0};
}

// The probe's statement stays on its row while `use` runs, so the bytes it
// fetched are read there, and only when the caller needs them.
bool StoreConnection::ProbeRow(const StoredName& keys, uint64_t fetchUpTo,
                               FunctionRef<void(const RowProbe&)> use) {
    Statement query(statements_, pinned_.probeRow);
    const sqlite3_int64 limit =
        static_cast<sqlite3_int64>(std::min<uint64_t>(fetchUpTo, INT64_MAX));
    if (!query.Prepared() || !query.BindText(1, keys.fileName) || !query.BindText(2, keys.path) ||
        !query.BindInt64(3, limit))
        return false;
    const int result = query.Step();
    if (result != SQLITE_ROW && result != SQLITE_DONE) return false;
    RowProbe probe;
    probe.query = &query;
    if (result == SQLITE_DONE) {
        probe.row = RowLookup{RowState::Missing, 0};
    } else {
        probe.row = RowLookup{RowState::Found, query.ColumnInt64(0)};
        const sqlite3_int64 stored = query.ColumnInt64(1);
        if (stored >= 0) {
            probe.length = static_cast<uint32_t>(stored);
            probe.fetched = static_cast<uint64_t>(stored) <= fetchUpTo;
        }
    }
    use(probe);
    return true;
}

// SQLite hands out an empty blob as a null pointer, and a null pointer with
// bytes to come only when it ran out of memory.
const unsigned char* RowProbe::Content() const {
    return static_cast<const unsigned char*>(query->ColumnBlob(2));
}

// SQLite's ABORT undoes only the refused statement, leaving the rest of the
// transaction as it was.
StoreConnection::Insert StoreConnection::InsertRow(const StoredName& keys, const void* bytes,
                                                   uint32_t length, bool mayBeTaken,
                                                   sqlite3_int64* rowId) {
    Statement insert(statements_, pinned_.insertRow);
    const int n = static_cast<int>(length);
    const bool bound = insert.BindText(1, keys.fileName) && insert.BindText(2, keys.path) &&
                       (bytes ? insert.BindBlob(3, bytes, n) : insert.BindZeroBlob(3, n));
    if (!bound) return Insert::Failed;
    const int result = insert.Step(mayBeTaken ? SQLITE_CONSTRAINT : SQLITE_OK);
    if (mayBeTaken && (result & 0xff) == SQLITE_CONSTRAINT) return Insert::NameTaken;
    if (result != SQLITE_DONE) return Insert::Failed;
    folders_.NoteAdded(keys);
    *rowId = sqlite3_last_insert_rowid(db_.get());
    return Insert::Stored;
}

// An empty length binds an empty blob, not NULL.
bool StoreConnection::ReplaceContent(sqlite3_int64 rowId, const void* bytes, uint32_t length) {
    static const unsigned char kNoBytes = 0;
    Statement update(statements_, pinned_.updateById);
    return update.BindBlob(1, length ? bytes : &kNoBytes, static_cast<int>(length)) &&
           update.BindInt64(2, rowId) && update.Run() && sqlite3_changes(db_.get()) == 1;
}

// The blob pointer is asked before its length, as SQLite asks.
bool StoreConnection::ReadContent(sqlite3_int64 rowId,
                                  FunctionRef<bool(const void*, uint32_t)> use) {
    Statement query(statements_, pinned_.contentById);
    if (!query.BindInt64(1, rowId) || query.Step() != SQLITE_ROW) return false;
    const void* bytes = query.ColumnBlob(0);
    return use(bytes, static_cast<uint32_t>(query.ColumnBytes(0)));
}

// Copies Content only. An empty source reads back as a NULL pointer and so
// is stored as NULL, which files read as empty. The source's bytes stay
// valid while its query stands on its row.
StoreConnection::Copy StoreConnection::CopyContent(const StoredName& from, const StoredName& to,
                                                   bool targetExists) {
    Statement query(statements_, pinned_.contentByName);
    if (!query.BindText(1, from.fileName) || !query.BindText(2, from.path)) return Copy::Failed;
    const int found = query.Step();
    if (found != SQLITE_ROW) return found == SQLITE_DONE ? Copy::SourceMissing : Copy::Failed;
    const void* bytes = query.ColumnBlob(0);
    const int length = query.ColumnBytes(0);
    if (targetExists) {
        Statement update(statements_, pinned_.updateByName);
        const bool updated = update.BindBlob(1, bytes, length) && update.BindText(2, to.fileName) &&
                             update.BindText(3, to.path) && update.Run();
        return updated ? Copy::Copied : Copy::Failed;
    }
    Statement insert(statements_, pinned_.insertRow);
    const bool inserted = insert.BindText(1, to.fileName) && insert.BindText(2, to.path) &&
                          insert.BindBlob(3, bytes, length) && insert.Run();
    if (!inserted) return Copy::Failed;
    folders_.NoteAdded(to);
    return Copy::Copied;
}

// A statement that matched no row changed nothing, and the picture neither.
bool StoreConnection::DeleteRow(const StoredName& keys) {
    Statement statement(statements_, pinned_.deleteFile);
    const bool done = statement.Prepared() && statement.BindText(1, keys.fileName) &&
                      statement.BindText(2, keys.path) && statement.Run();
    if (done && sqlite3_changes(db_.get()) > 0) folders_.NoteRemoved(keys);
    return done;
}

// The new keys are the old Path with the new FileName.
bool StoreConnection::RenameRow(const StoredName& source, const std::string& fileName) {
    Statement statement(statements_, pinned_.renameFile);
    const bool done = statement.Prepared() && statement.BindText(1, fileName) &&
                      statement.BindText(2, source.fileName) &&
                      statement.BindText(3, source.path) && statement.Run();
    if (done && sqlite3_changes(db_.get()) > 0) {
        folders_.NoteRemoved(source);
        folders_.NoteAdded(StoredName{fileName, source.path});
    }
    return done;
}

// The folder picture answers when it is current; it is not built for this
// (a scan of every row), so otherwise one row is looked for. The query is
// reset before it returns, so that the scope's end finds no read running.
StoreConnection::Presence StoreConnection::AnyInDirectory(const std::string& name) {
    const PathRange range = DirectoryRange(name);  // bound, not copied: outlives the query
    if (folders_.IsBuilt()) {
        const std::optional<int64_t> version = DataVersion();
        if (!version) return Presence::Failed;
        if (folders_.IsCurrent(*version))
            return folders_.Find(range.first) ? Presence::Yes : Presence::No;
    }
    Statement query(statements_, pinned_.anyInRange);
    if (!query.BindPathRange(1, range)) return Presence::Failed;
    const int result = query.Step();
    if (result == SQLITE_ROW) return Presence::Yes;
    return result == SQLITE_DONE ? Presence::No : Presence::Failed;
}

// The query is reset before it returns, so that the caller's scope finds no
// read running when it ends.
bool StoreConnection::ListDirectory(const std::string& name,
                                    FunctionRef<void(std::string_view, std::string_view)> use) {
    const PathRange range = DirectoryRange(name);  // bound, not copied: outlives the query
    Statement query(statements_, pinned_.listRange);
    if (!query.BindPathRange(1, range)) return false;
    int result;
    while ((result = query.Step()) == SQLITE_ROW) use(query.ColumnView(1), query.ColumnView(0));
    return result == SQLITE_DONE;
}

// Exactly the named directory's subtree; "" stands for the top.
bool StoreConnection::DeleteDirectory(const std::string& name) {
    const PathRange range = DirectoryRange(name);  // bound, not copied: outlives the statement
    Statement statement(statements_, pinned_.deleteRange);
    const bool done = statement.BindPathRange(1, range) && statement.Run();
    if (done) folders_.NoteDirectoryRemoved(range.first);
    return done;
}

}  // namespace kivfs
