// StorageFs: a tree of files kept in one SQLite database.
//
// Every file is one row of the table FileStorage (FileName, Path, Content,
// Info); its bytes are Content. Directories are not stored: a directory
// exists while some file's Path begins with its text. The files
// (StorageFile) and listings (StorageEnum) this store makes borrow its
// connection, statement cache, blob registry and transaction flag, so they
// are destroyed before it.
//
// Outside BeginTrans/CommitTrans every operation is its own transaction,
// committed before it returns (TransactionScope), and no lock is held
// between calls. An operation that reports success has its work committed
// (or, inside BeginTrans, part of a transaction that is still alive); one
// whose commit failed reports failure and has changed nothing.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>

#include "backend/FsBackend.h"
#include "storage/BlobRegistry.h"
#include "storage/FolderTree.h"
#include "storage/SplitStoredName.h"
#include "storage/StatementCache.h"

namespace kivfs {

// The one table the store uses; every statement names it.
inline constexpr const char* kStorageTable = "FileStorage";
// Its columns and key, as created (and as SQLite keeps the text).
inline constexpr const char* kStorageColumns =
    "(FileName text, Path text, Content blob, Info blob, primary key(FileName, Path))";

class StorageFs : public FsBackend {
  public:
    // Takes ownership of an open connection whose FileStorage table exists.
    explicit StorageFs(sqlite3* db);
    // Closes the connection; see the definition for what is committed first.
    ~StorageFs() override;

    std::unique_ptr<FsFile> OpenFile(const std::string& name, int mode) override;
    std::unique_ptr<FsEnum> CreateEnum(const std::string& name) override;
    bool IsFileExist(const std::string& name, bool* exists) override;
    bool DeleteDirectory(const std::string& name) override;
    bool IsDirectoryExist(const std::string& name, bool* exists) override;
    bool DeleteFile(const std::string& name) override;
    bool RenameFile(const std::string& oldName, const std::string& newName) override;
    bool CopyFile(const std::string& source, const std::string& target, bool failIfExists) override;
    bool MoveFile(const std::string& source, const std::string& target, bool failIfExists) override;
    bool BeginTrans() override;
    bool CommitTrans() override;

    // The statements whose text never changes, pinned in the statement
    // cache: formatted once per store, prepared on first use. Names, rowids
    // and directory ranges are bound to their "?" parameters.
    struct FixedStatements {
        StatementCache::Entry* begin;           // deferred, for reads and BeginTrans
        StatementCache::Entry* beginImmediate;  // for an operation that writes
        StatementCache::Entry* commit;
        StatementCache::Entry* rollback;
        StatementCache::Entry* findRow;  // rowid by FileName ?1, Path ?2
        // By FileName ?1, Path ?2: rowid, Content's length in bytes (0 for
        // NULL, a number's as its text; -1 for a text, whose length()
        // counts characters), and Content itself when it is a blob of at
        // most ?3 bytes, a number as its text, else NULL.
        StatementCache::Entry* probeRow;
        StatementCache::Entry* insertRow;      // FileName ?1, Path ?2, Content ?3
        StatementCache::Entry* contentById;    // Content of rowid ?1
        StatementCache::Entry* updateById;     // Content ?1 of rowid ?2
        StatementCache::Entry* contentByName;  // Content by FileName ?1, Path ?2
        StatementCache::Entry* updateByName;   // Content ?1 by FileName ?2, Path ?3
        StatementCache::Entry* deleteFile;     // by FileName ?1, Path ?2
        StatementCache::Entry* renameFile;     // FileName ?1 for FileName ?2, Path ?3
        StatementCache::Entry* anyInRange;     // one Path in the range ?1 .. ?2
        StatementCache::Entry* listRange;      // FileName, Path in the range ?1 .. ?2
        StatementCache::Entry* deleteRange;    // every row in the range ?1 .. ?2
        StatementCache::Entry* dataVersion;    // PRAGMA data_version
    };

    // For the store's own files, listings and transaction scopes.
    sqlite3* Db() const { return db_; }
    bool InTrans() const { return inTrans_; }
    // The connection could only open the database for reading.
    bool ReadOnly() const { return readOnly_; }
    StatementCache& Statements() { return statements_; }
    const FixedStatements& Fixed() const { return fixed_; }
    BlobRegistry& Blobs() { return blobs_; }
    // The connection's picture of the folders, for listings.
    FolderTree& Folders() { return folders_; }
    // The rowid of the file stored under `keys`: 0 when there is none, -1 when
    // the lookup could not run. Runs in the caller's transaction scope.
    int64_t FindRowId(const StoredName& keys);

    // For TransactionScope: the depth of implicit scopes now open, and the
    // implicit transaction of the outermost one.
    int ScopeDepth() const { return scopeDepth_; }
    void EnterScope() { ++scopeDepth_; }
    void LeaveScope() { --scopeDepth_; }
    // No transaction is open, explicit or implicit: a single statement runs
    // as its own transaction (autocommit).
    bool CanRunAlone() const {
        return !inTrans_ && scopeDepth_ == 0 && sqlite3_get_autocommit(db_) != 0;
    }
    // Begins an implicit transaction, immediate when it is to write.
    bool BeginImplicit(bool writes);
    // Commits it when `commit`, else (or when the commit fails) rolls it
    // back; true when it was committed.
    bool EndImplicit(bool commit);
    // Whether the explicit transaction is still open: false (and the cause
    // noted) once SQLite has rolled it back by itself.
    bool ExplicitTransactionAlive();

    // PRAGMA data_version: changes when another connection commits; -1 when
    // it could not be read (the cause noted). Runs in the caller's
    // transaction, whose read lock it takes.
    int64_t DataVersion();
    // What the database holds as this connection sees it: equal values mean
    // no row changed in between. Other connections' commits change SQLite's
    // data_version; this connection's own changes are counted here, as
    // data_version leaves them out. Runs in the caller's read transaction;
    // 0 when it could not be learned (never equal to a value learned).
    uint64_t ContentVersion();
    void CountOwnChange() { ++ownChanges_; }
    // Whether the table is our own (see OwnTable), so that its primary key
    // keeps a name to one row: a new row may then be inserted without
    // looking the name up first. Learned again whenever another connection
    // has committed (it may have changed the schema). Runs in the caller's
    // transaction; false when it could not be learned.
    bool KeysAreUnique();

  private:
    // Runs a pinned statement to completion; true when it succeeded.
    bool Exec(StatementCache::Entry* pinned);
    // Runs a pinned statement with no result rows, its names bound, in its
    // own write transaction; when it changed a row, `noteChange` tells the
    // folder picture, before the transaction ends.
    template <typename NoteChange>
    bool ChangeInScope(StatementCache::Entry* pinned, const std::string& first,
                       const std::string& second, const std::string* third, NoteChange noteChange);
    // SQLITE_ROW when some row lies in directory `name` or below it,
    // SQLITE_DONE when none does, else the error; in the caller's scope.
    int LookForDirectory(const std::string& name);
    // CopyFile's work, inside its transaction.
    bool CopyInScope(const std::string& source, const std::string& target, bool failIfExists);
    // Leaves any transaction the connection is in, keeping nothing of it.
    void RollBack();

    sqlite3* db_;    // owned; open for the whole life of the object
    bool readOnly_;  // SQLite opened the database read-only
    // True from a successful BeginTrans until the next CommitTrans or
    // BeginTrans; while true, transaction scopes join that transaction.
    bool inTrans_ = false;
    // While inTrans_: SQLite ended the transaction by itself, and lostCause_
    // (a KIVFS_ERR_* code) is why. Every operation fails until CommitTrans.
    bool transLost_ = false;
    int lostCause_ = 0;
    int scopeDepth_ = 0;          // implicit TransactionScopes now open
    int64_t layoutVersion_ = -1;  // data_version keysUnique_ was learned at, -1: never
    bool keysUnique_ = false;
    uint32_t ownChanges_ = 0;      // write operations and transactions begun or ended
    StatementCache statements_;    // emptied before db_ closes
    const FixedStatements fixed_;  // pinned in statements_
    BlobRegistry blobs_;           // the open blob handles of this store's files
    FolderTree folders_;           // follows every change this connection makes
};

}  // namespace kivfs
