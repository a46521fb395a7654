#include "StoreTarget.h"

#include "Interrupt.h"
#include "LocalFiles.h"
#include "PathContent.h"

namespace kivfs_tool {

// A new store is built in a part file and renamed into place only when
// complete, so that a failure leaves no store behind. The part and any
// journal SQLite left beside it are removed first (a journal left by a
// crash would be played into the new file) and again on failure.
class NewStoreFile {
  public:
    explicit NewStoreFile(std::string target)
        : target_(std::move(target)), part_(PartFileName(target_)) {
        RemoveAll();
    }
    ~NewStoreFile() {
        if (!kept_) RemoveAll();
    }
    NewStoreFile(const NewStoreFile&) = delete;
    NewStoreFile& operator=(const NewStoreFile&) = delete;

    const std::string& part() const { return part_; }
    // Renames the closed, complete store over the target.
    void Keep() {
        RenameLocalFile(part_, target_);
        kept_ = true;
    }

  private:
    void RemoveAll() const {
        for (const char* suffix : {"", "-journal", "-wal", "-shm"}) RemoveLocalFile(part_ + suffix);
    }

    std::string target_;
    std::string part_;
    bool kept_ = false;
};

namespace {

// A transaction that failed on a full disk or an I/O error leaves SQLite's
// journal beside the store, and the store grown, until the next connection
// plays the journal back. Opening the store and reading it once more does
// that now, so the store is back to its old size and the journal gone.
void SettleJournal(const std::string& path) {
    if (!LocalExists(path + "-journal")) return;
    DirPtr dir(kivfsOpenDir(path.c_str()));
    if (dir) EnumPtr(kivfsCreateEnumIndir(dir.get(), ""));
}

}  // namespace

StoreTarget::StoreTarget(const std::string& path, const std::string& what)
    : path_(path), what_(what) {
    // An empty file is no store yet: SQLite would make one of it in place.
    const PathContent content = WhatPathHolds(path);
    if (content == PathContent::Nothing || content == PathContent::EmptyFile) {
        part_ = std::make_unique<NewStoreFile>(path);
        store_.emplace(Container::Open(part_->part(), OpenMode::MayCreate, path));
    } else {
        store_.emplace(Container::Open(path, OpenMode::MayCreate));
        if (store_->kind() != ContainerKind::Store) {
            throw ToolError(what_ + ": " + Quoted(path) + " is a " + KindText(store_->kind()) +
                            ", not a store");
        }
    }
    if (!kivfsBeginTrans(store_->handle())) throw store_->Failure(what_, "no transaction");
}

// Closing a store whose transaction is still open rolls it back.
StoreTarget::~StoreTarget() {
    if (committed_) return;
    store_.reset();
    if (!part_) SettleJournal(path_);
}

// The last check for a signal comes before each step that cannot be taken
// back: the commit, and the rename of a new store over its target.
void StoreTarget::Commit() {
    ThrowIfInterrupted();
    if (!kivfsCommitTrans(store_->handle())) throw store_->Failure(what_, "commit failed");
    if (part_) {
        store_.reset();
        ThrowIfInterrupted();
        part_->Keep();
    }
    committed_ = true;
}

}  // namespace kivfs_tool
