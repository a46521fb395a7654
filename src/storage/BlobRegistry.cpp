#include "storage/BlobRegistry.h"

#include <algorithm>

#include "storage/Blob.h"

namespace kivfs {

// Called by a blob that has just opened.
void BlobRegistry::Add(Blob* blob) {
    open_.push_back(blob);
}

// Files are mostly closed in the order they were opened or the last one
// first; searching from the back finds the usual case at once.
void BlobRegistry::Remove(Blob* blob) {
    auto at = std::find(open_.rbegin(), open_.rend(), blob);
    if (at == open_.rend()) return;
    *at = open_.back();
    open_.pop_back();
}

// One spare is enough: files are mostly closed before the next is read.
void BlobRegistry::KeepSpare(sqlite3_blob* handle, bool writable) {
    sqlite3_blob_close(spare_);
    spare_ = handle;
    spareWritable_ = writable;
}

// The caller closes or keeps what it takes. A spare of the other access
// stays: a read-write handle would take the write lock for a read.
sqlite3_blob* BlobRegistry::TakeSpare(bool writable) {
    if (spareWritable_ != writable) return nullptr;
    sqlite3_blob* handle = spare_;
    spare_ = nullptr;
    return handle;
}

// Blob::Close removes the blob from open_, so the list shrinks as it goes.
void BlobRegistry::CloseAll() {
    while (!open_.empty()) open_.back()->Close();
    sqlite3_blob_close(spare_);
    spare_ = nullptr;
}

}  // namespace kivfs
