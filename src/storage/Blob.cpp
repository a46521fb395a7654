#include "storage/Blob.h"

namespace kivfs {

// Flags 1 open read-write, 0 read-only: a read never takes the write lock.
// A spare that cannot move (no such row, a NULL Content) is closed, and a
// new handle tried, which fails the same way.
int Blob::Open(sqlite3* db, const char* table, const char* column, sqlite3_int64 row,
               bool writable) {
    Close();
    sqlite3_blob* handle = registry_.TakeSpare(writable);
    if (handle && sqlite3_blob_reopen(handle, row) == SQLITE_OK) {
        handle_ = handle;
        writable_ = writable;
        registry_.Add(this);
        return SQLITE_OK;
    }
    sqlite3_blob_close(handle);
    handle = nullptr;
    const int result = sqlite3_blob_open(db, "main", table, column, row, writable ? 1 : 0, &handle);
    if (result != SQLITE_OK) {
        sqlite3_blob_close(handle);  // SQLite may hand back a handle on failure; null is fine
        return result;
    }
    handle_ = handle;
    writable_ = writable;
    registry_.Add(this);
    return SQLITE_OK;
}

// Closing ends the handle's part in the transaction.
void Blob::Close() {
    if (!handle_) return;
    sqlite3_blob_close(handle_);
    handle_ = nullptr;
    registry_.Remove(this);
}

// Writes made through the handle stay part of the open transaction.
void Blob::Park() {
    if (!handle_) return;
    registry_.Remove(this);
    registry_.KeepSpare(handle_, writable_);
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
