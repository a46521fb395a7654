#include "storage/StorageFs.h"

#include "backend/Failure.h"
#include "kivfs.h"
#include "storage/OpenStorageFs.h"
#include "storage/SplitStoredName.h"
#include "storage/StorageEnum.h"
#include "storage/StorageFile.h"
#include "storage/StoreConnection.h"
#include "storage/TransactionScope.h"

namespace kivfs {

// The connection makes sure of the FileStorage table; one that cannot be
// opened says why.
OpenedBackend OpenStorageFs(const std::string& path, StoreCreation creation) {
    StoreConnection::Refusal refusal;
    std::unique_ptr<StoreConnection> store =
        StoreConnection::Open(path, creation == StoreCreation::Allowed, &refusal);
    if (!store) {
        return refusal.database ? OpenedBackend::RefusedAsOwn(refusal.cause)
                                : OpenedBackend::Refused(refusal.cause);
    }
    return OpenedBackend::Served(std::make_unique<StorageFs>(std::move(store)));
}

// Starts in implicit mode: each operation its own transaction.
StorageFs::StorageFs(std::unique_ptr<StoreConnection> store) : store_(std::move(store)) {}

// Files and listings are gone by now; the connection closes what is left.
StorageFs::~StorageFs() = default;

// The file finds or creates its row on first use; opening never fails and
// never touches the database. The mode has no effect on a store.
std::unique_ptr<FsFile> StorageFs::OpenFile(const std::string& name, int) {
    return std::make_unique<StorageFile>(*store_, SplitStoredName(name));
}

// The listing is read whole now; one that could not be read gives null.
std::unique_ptr<FsEnum> StorageFs::CreateEnum(const std::string& name) {
    auto listing = std::make_unique<StorageEnum>(DirectoryText(name));
    if (!listing->Build(*store_)) return nullptr;
    return listing;
}

// True when the lookup ran; *exists is true on a found row. A lookup that
// could not run (a lock held past the busy timeout, an I/O error) is a
// failure, never a "missing".
bool StorageFs::IsFileExist(const std::string& name, bool* exists) {
    *exists = false;
    const StoredName keys = SplitStoredName(name);
    TransactionScope scope(*store_, TransactionScope::Access::Read);
    if (!scope.Began()) return false;
    const RowLookup row = store_->FindRow(keys);
    if (!scope.End(row.state != RowState::Failed)) return false;
    *exists = row.state == RowState::Found;
    return true;
}

// Deletes exactly the named directory's subtree; the empty name stands for
// the top and empties the store.
bool StorageFs::DeleteDirectory(const std::string& name) {
    TransactionScope scope(*store_, TransactionScope::Access::Write);
    return scope.Began() && scope.End(store_->DeleteDirectory(name));
}

// A directory exists while some file lies in it or below it.
bool StorageFs::IsDirectoryExist(const std::string& name, bool* exists) {
    *exists = false;
    TransactionScope scope(*store_, TransactionScope::Access::Read);
    if (!scope.Began()) return false;
    const StoreConnection::Presence found = store_->AnyInDirectory(name);
    if (!scope.End(found != StoreConnection::Presence::Failed)) return false;
    *exists = found == StoreConnection::Presence::Yes;
    return true;
}

// Deleting a file that is not there succeeds.
bool StorageFs::DeleteFile(const std::string& name) {
    const StoredName keys = SplitStoredName(name);
    TransactionScope scope(*store_, TransactionScope::Access::Write);
    return scope.Began() && scope.End(store_->DeleteRow(keys));
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
    TransactionScope scope(*store_, TransactionScope::Access::Write);
    return scope.Began() && scope.End(store_->RenameRow(source, target.fileName));
}

// The test of the target and the copy are one transaction.
bool StorageFs::CopyFile(const std::string& source, const std::string& target, bool failIfExists) {
    TransactionScope scope(*store_, TransactionScope::Access::Write);
    return scope.Began() && scope.End(CopyInScope(source, target, failIfExists));
}

// An existing target keeps its row (and rowid); a new one is inserted.
bool StorageFs::CopyInScope(const std::string& source, const std::string& target,
                            bool failIfExists) {
    bool targetExists = false;
    if (!IsFileExist(target, &targetExists)) return false;
    if (failIfExists && targetExists) {
        NoteFailure(KIVFS_ERR_EXISTS);
        return false;
    }
    const StoreConnection::Copy copied =
        store_->CopyContent(SplitStoredName(source), SplitStoredName(target), targetExists);
    if (copied == StoreConnection::Copy::SourceMissing) NoteFailure(KIVFS_ERR_NOT_FOUND);
    return copied == StoreConnection::Copy::Copied;
}

// A copy followed by the deletion of the source, in one transaction: a move
// that fails changes nothing. A move onto the same name would copy the file
// onto itself and then delete it: it keeps the file instead, succeeding
// unless the caller asked to fail on an existing target (the file itself) or
// the file does not exist.
bool StorageFs::MoveFile(const std::string& source, const std::string& target, bool failIfExists) {
    TransactionScope scope(*store_, TransactionScope::Access::Write);
    if (!scope.Began()) return false;
    if (source == target) {
        bool exists = false;
        if (!IsFileExist(source, &exists)) return false;
        if (!exists || failIfExists) NoteFailure(exists ? KIVFS_ERR_EXISTS : KIVFS_ERR_NOT_FOUND);
        return scope.End(exists && !failIfExists);
    }
    return scope.End(CopyFile(source, target, failIfExists) && DeleteFile(source));
}

// A second BeginTrans commits the work so far and begins anew.
bool StorageFs::BeginTrans() {
    return store_->BeginExplicit();
}

// Back in implicit mode whatever the outcome.
bool StorageFs::CommitTrans() {
    return store_->CommitExplicit();
}

}  // namespace kivfs
