// StorageFs: a tree of files kept in one SQLite database.
//
// Every file is one row of the table FileStorage (FileName, Path, Content,
// Info); its bytes are Content. Directories are not stored: a directory
// exists while some file's Path begins with its text. This backend only
// adapts the contract to its StoreConnection, which runs every statement;
// the files (StorageFile) and listings (StorageEnum) it makes borrow that
// connection, so they are destroyed before it.
//
// Outside BeginTrans/CommitTrans every operation is its own transaction,
// committed before it returns (TransactionScope), and no lock is held
// between calls. An operation that reports success has its work committed
// (or, inside BeginTrans, part of a transaction that is still alive); one
// whose commit failed reports failure and has changed nothing.
#pragma once

#include <memory>
#include <string>

#include "backend/FsBackend.h"

namespace kivfs {

class StoreConnection;

class StorageFs : public FsBackend {
  public:
    // Serves the store of an open connection.
    explicit StorageFs(std::unique_ptr<StoreConnection> store);
    // Closes the connection: an explicit transaction still open is rolled
    // back.
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

  private:
    // CopyFile's work, inside its transaction.
    bool CopyInScope(const std::string& source, const std::string& target, bool failIfExists);

    std::unique_ptr<StoreConnection> store_;  // never null
};

}  // namespace kivfs
