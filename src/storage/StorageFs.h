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
// committed before it returns (TransactionScope). After a file is closed and
// its store closed, or after CommitTrans, every byte written through the
// store is in the database file.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>

#include "backend/FsBackend.h"
#include "storage/BlobRegistry.h"
#include "storage/SplitStoredName.h"
#include "storage/StatementCache.h"

namespace kivfs {

// The one table the store uses; every statement names it.
inline constexpr const char* kStorageTable = "FileStorage";

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
    // cache: formatted once per store, prepared on first use.
    struct FixedStatements {
        StatementCache::Entry* begin;      // "BEGIN TRANSACTION;"
        StatementCache::Entry* commit;     // "COMMIT TRANSACTION;"
        StatementCache::Entry* findRow;    // the rowid of a file, its two keys bound
        StatementCache::Entry* insertRow;  // a new file, its keys and Content bound
    };

    // For the store's own files, listings and transaction scopes.
    sqlite3* Db() const { return db_; }
    bool InTrans() const { return inTrans_; }
    StatementCache& Statements() { return statements_; }
    const FixedStatements& Fixed() const { return fixed_; }
    BlobRegistry& Blobs() { return blobs_; }
    // Runs one statement text, or a pinned statement, to completion; true
    // when it succeeded.
    bool Exec(const char* sql);
    bool Exec(StatementCache::Entry* pinned);
    // The rowid of the file stored under `keys`: 0 when there is none, -1 when
    // the lookup cannot be prepared. Runs in the caller's transaction scope.
    int64_t FindRowId(const StoredName& keys);

  private:
    // Runs a statement with no result rows, in its own transaction scope.
    bool ExecInScope(const char* sql);

    sqlite3* db_;  // owned; open for the whole life of the object
    // True from a successful BeginTrans until the next CommitTrans or
    // BeginTrans; while true, transaction scopes do nothing.
    bool inTrans_ = false;
    StatementCache statements_;    // emptied before db_ closes
    const FixedStatements fixed_;  // pinned in statements_
    BlobRegistry blobs_;           // the open blob handles of this store's files
};

}  // namespace kivfs
