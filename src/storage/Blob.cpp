#include "storage/Blob.h"

#include "storage/StoreConnection.h"

namespace kivfs {

// The connection moves its spare handle onto the row when it can.
int Blob::Open(sqlite3_int64 row, bool writable) {
    Close();
    sqlite3_blob* handle = nullptr;
    const int result = store_.OpenContent(row, writable, &handle);
    if (result != SQLITE_OK) return result;
    handle_ = handle;
    writable_ = writable;
    store_.Blobs().Add(this);
    return SQLITE_OK;
}

// Closing ends the handle's part in the transaction.
void Blob::Close() {
    if (!handle_) return;
    sqlite3_blob_close(handle_);
    handle_ = nullptr;
    store_.Blobs().Remove(this);
}

// Writes made through the handle stay part of the open transaction.
void Blob::Park() {
    if (!handle_) return;
    store_.Blobs().Remove(this);
    store_.Blobs().KeepSpare(handle_, writable_);
    handle_ = nullptr;
}

// The stored length, as the open handle sees it.
int Blob::Bytes() const {
    return handle_ ? sqlite3_blob_bytes(handle_) : 0;
}

// A read of no bytes meets the expired cursor (SQLITE_ABORT) without reading
// any of the value.
bool Blob::IsCurrent() {
    unsigned char none = 0;
    return handle_ && sqlite3_blob_read(handle_, &none, 0, 0) == SQLITE_OK;
}

// Fails on a closed handle, a range past the value or a row changed since.
int Blob::Read(void* buffer, int length, int offset) {
    return handle_ ? sqlite3_blob_read(handle_, buffer, length, offset) : SQLITE_ERROR;
}

// Writes in place; the value's length never changes through a handle.
int Blob::Write(const void* buffer, int length, int offset) {
    return handle_ ? sqlite3_blob_write(handle_, buffer, length, offset) : SQLITE_ERROR;
}

}  // namespace kivfs
