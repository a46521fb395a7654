// StoreConnection: one open connection to a store's database, and every
// statement the store runs on it.
//
// It owns the sqlite3 handle (closed with the object), the statement cache,
// the registry of open blob handles, the transaction state (explicit mode,
// the depth of implicit scopes), the versions that tell whether anything
// changed, and the connection's picture of the folders, which follows every
// change made through it. All SQL text of the store lives in its .cpp, behind
// the named operations below; callers see rows, keys and ranges, never a
// statement. Row operations run in the caller's transaction (see
// TransactionScope) and note the cause of a failure for the current call.
//
// The table is FileStorage (FileName, Path, Content, Info), keyed by
// (FileName, Path); its format is shared with other programs and is kept as
// it is.
//
// A connection is used by one thread at a time, together with the files and
// listings that borrow it; they are destroyed before it.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "storage/BlobRegistry.h"
#include "storage/FolderTree.h"
#include "storage/FunctionRef.h"
#include "storage/SplitStoredName.h"
#include "storage/StatementCache.h"

namespace kivfs {

// What a lookup by name found.
enum class RowState {
    Found,    // the row exists; its rowid is given
    Missing,  // no row under that name
    Failed,   // the lookup could not run (cause noted)
};
struct RowLookup {
    RowState state = RowState::Failed;
    sqlite3_int64 rowId = 0;  // meaningful when Found
};

class Statement;

// What one read of a row's size gave; the row's bytes too, when short
// enough. Valid only inside the callback that receives it.
struct RowProbe {
    RowLookup row;
    // Content's length in bytes: 0 for NULL, a number's as its text; none
    // for a text, whose length SQL counts in characters.
    std::optional<uint32_t> length;
    // Content is a blob of at most the length the probe was asked to fetch
    // (or a number, as its text), and Content() gives it whole.
    bool fetched = false;
    // The whole Content; null when SQLite could not allocate it (the caller
    // notes that) or it is empty.
    const unsigned char* Content() const;

    Statement* query = nullptr;  // the probe's own statement, standing on the row
};

class StoreConnection {
  public:
    // Why Open refused a path.
    struct Refusal {
        int cause = 0;  // a KIVFS_ERR_* code
        // Whether the file is a SQLite database all the same: one locked by
        // another program, damaged, or (without `create`) lacking the table;
        // false for a file that is none, or that could not be opened.
        bool database = false;
    };

    // Opens the database at `path` with the store's table; null, with why in
    // *refusal (never null; nothing is noted), when it cannot be opened or
    // is not a SQLite database. With `create`, a missing file becomes a new
    // store and a database without the table gains it; without, those give
    // NOT_FOUND and nothing is written.
    static std::unique_ptr<StoreConnection> Open(const std::string& path, bool create,
                                                 Refusal* refusal);
    // Closes any blob handle and statement, then the connection: an explicit
    // transaction never committed is rolled back by the close.
    ~StoreConnection();
    StoreConnection(const StoreConnection&) = delete;
    StoreConnection& operator=(const StoreConnection&) = delete;

    // --- Transaction state.
    // True from a successful BeginExplicit until the next CommitExplicit or
    // BeginExplicit.
    bool InTrans() const { return inTrans_; }
    // SQLite could only open the database for reading.
    bool ReadOnly() const { return readOnly_; }
    // For TransactionScope: the depth of implicit scopes now open.
    int ScopeDepth() const { return scopeDepth_; }
    void EnterScope() { ++scopeDepth_; }
    void LeaveScope() { --scopeDepth_; }
    // No transaction is open, explicit or implicit: a single statement runs
    // as its own transaction (autocommit).
    bool CanRunAlone() const;
    // Begins an implicit transaction, immediate when it is to write.
    bool BeginImplicit(bool writes);
    // Commits it when `commit`, else (or when the commit fails) rolls it
    // back; true when it was committed.
    bool EndImplicit(bool commit);
    // Whether the explicit transaction is still open: false (and the cause
    // noted) once SQLite has rolled it back by itself.
    bool ExplicitTransactionAlive();
    // BeginTrans and CommitTrans of the backend contract.
    bool BeginExplicit();
    bool CommitExplicit();

    // --- Versions.
    // PRAGMA data_version: changes when another connection commits; none when
    // it could not be read (the cause noted). Runs in the caller's
    // transaction, whose read lock it takes.
    std::optional<int64_t> DataVersion();
    // What the database holds as this connection sees it: equal values mean
    // no row changed in between. Other connections' commits change SQLite's
    // data_version; this connection's own changes are counted here, as
    // data_version leaves them out. None when it could not be learned.
    std::optional<uint64_t> ContentVersion();
    void CountOwnChange() { ++ownChanges_; }
    // Whether the table is our own, so that its primary key keeps a name to
    // one row: a new row may then be inserted without looking the name up
    // first. Learned again whenever another connection has committed (it may
    // have changed the schema). False when it could not be learned.
    bool KeysAreUnique();

    // --- Blob handles, limits, causes.
    BlobRegistry& Blobs() { return blobs_; }
    // Opens an incremental handle on row `rowId`'s Content (a spare of the
    // registry moved there when it can be). SQLite's result: SQLITE_ERROR
    // when the row is missing or the value is not a blob.
    int OpenContent(sqlite3_int64 rowId, bool writable, sqlite3_blob** handle);
    // Notes the cause of `result`, a failed call on this connection.
    void NoteResult(int result);
    // Whether a Content of `length` bytes fits SQLite's length limit; a
    // longer one is refused (KIVFS_ERR_ARGUMENT noted) before it is built.
    bool FitsInStore(uint64_t length);

    // --- Folders.
    // Brings the folder picture up to date in the caller's read transaction.
    FolderTree::Use RefreshFolders();
    const FolderTree& Folders() const { return folders_; }

    // --- Rows: each in the caller's transaction.
    // The file stored under `keys`, compared byte for byte.
    RowLookup FindRow(const StoredName& keys);
    // Looks the row up and learns its length without a blob handle; a
    // Content of at most `fetchUpTo` bytes is fetched too. `use` receives
    // the result (its content valid only there); false when the probe could
    // not run.
    bool ProbeRow(const StoredName& keys, uint64_t fetchUpTo,
                  FunctionRef<void(const RowProbe&)> use);
    // What InsertRow did.
    enum class Insert {
        Stored,     // the row is new; rowId gives it
        NameTaken,  // the primary key refused it: a row holds the name already
        Failed,     // the cause is noted
    };
    // Inserts a row with `bytes` as Content, or `length` zero bytes when
    // `bytes` is null. A refusal by the primary key is noted as a failure
    // unless `mayBeTaken`.
    Insert InsertRow(const StoredName& keys, const void* bytes, uint32_t length, bool mayBeTaken,
                     sqlite3_int64* rowId);
    // Stores `bytes` as row `rowId`'s whole Content (an empty blob for 0
    // bytes, not NULL); false unless exactly that row changed.
    bool ReplaceContent(sqlite3_int64 rowId, const void* bytes, uint32_t length);
    // Hands row `rowId`'s Content to `use` (pointer, then length; valid only
    // there); false when the row could not be read.
    bool ReadContent(sqlite3_int64 rowId, FunctionRef<bool(const void*, uint32_t)> use);
    // What CopyContent did.
    enum class Copy { Copied, SourceMissing, Failed };
    // Copies `from`'s Content to `to`: into its row when `targetExists`
    // (keeping its rowid), else into a new row.
    Copy CopyContent(const StoredName& from, const StoredName& to, bool targetExists);
    // Deletes the row stored under `keys`; true also when there was none.
    bool DeleteRow(const StoredName& keys);
    // Gives the row `source` the FileName `fileName` (same Path); true also
    // when there was none. An existing target makes the key refuse it.
    bool RenameRow(const StoredName& source, const std::string& fileName);
    // Whether some row lies in directory `name` or below it.
    enum class Presence { Yes, No, Failed };
    Presence AnyInDirectory(const std::string& name);
    // Every row in directory `name` or below it, as (Path, FileName), in the
    // order of the primary key's index on our own table; false when the
    // listing could not be read to its end.
    bool ListDirectory(const std::string& name,
                       FunctionRef<void(std::string_view, std::string_view)> use);
    // Deletes every row in directory `name` or below it ("" empties the
    // store).
    bool DeleteDirectory(const std::string& name);

  private:
    // Closes the handle it owns; the connection's first member, so that it
    // runs after every other member has let go of its statements and blobs.
    struct Closer {
        void operator()(sqlite3* db) const { sqlite3_close(db); }
    };
    using Handle = std::unique_ptr<sqlite3, Closer>;

    explicit StoreConnection(Handle db);

    // Runs a pinned statement to completion; true when it succeeded.
    bool Exec(StatementCache::Entry* pinned);
    // Leaves any transaction the connection is in, keeping nothing of it.
    void RollBack();
    // Reads the schema for our own table; see the definition.
    enum class OwnTable { Yes, No, Unknown };
    OwnTable CheckOwnTable();
    // Whether the picture may model this store; see FolderTree.
    FolderTree::Use CheckLayout();
    FolderTree::Use ScansKeyIndex(const char* sql);
    // Hands every row's keys to the picture being built.
    FolderTree::Use BuildFolders(int64_t version);

    // The statements whose text never changes, pinned in the statement
    // cache: formatted once per store, prepared on first use.
    struct Pinned {
        StatementCache::Entry* begin;           // deferred, for reads and BeginTrans
        StatementCache::Entry* beginImmediate;  // for an operation that writes
        StatementCache::Entry* commit;
        StatementCache::Entry* rollback;
        StatementCache::Entry* findRow;
        StatementCache::Entry* probeRow;
        StatementCache::Entry* insertRow;
        StatementCache::Entry* contentById;
        StatementCache::Entry* updateById;
        StatementCache::Entry* contentByName;
        StatementCache::Entry* updateByName;
        StatementCache::Entry* deleteFile;
        StatementCache::Entry* renameFile;
        StatementCache::Entry* anyInRange;
        StatementCache::Entry* listRange;
        StatementCache::Entry* deleteRange;
        StatementCache::Entry* dataVersion;
    };

    Handle db_;      // never null; closed last
    bool readOnly_;  // SQLite opened the database read-only
    bool inTrans_ = false;
    // While inTrans_: SQLite ended the transaction by itself, and lostCause_
    // (a KIVFS_ERR_* code) is why. Every operation fails until CommitExplicit.
    bool transLost_ = false;
    int lostCause_ = 0;
    int scopeDepth_ = 0;  // implicit TransactionScopes now open
    // data_version keysUnique_ was learned at; none: never.
    std::optional<int64_t> layoutVersion_;
    bool keysUnique_ = false;
    uint32_t ownChanges_ = 0;    // write operations and transactions begun or ended
    StatementCache statements_;  // finalized before db_ closes
    const Pinned pinned_;        // entries of statements_
    BlobRegistry blobs_;         // closed before db_ closes
    FolderTree folders_;         // follows every change this connection makes
};

}  // namespace kivfs
