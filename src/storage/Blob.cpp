#include "storage/Blob.h"

namespace kivfs {

// Read-write (flags 1): the same handle serves reads and in-place writes.
// A spare that cannot move (no such row, a NULL Content) is closed, and a
// new handle tried, which fails the same way.
bool Blob::Open(sqlite3* db, const char* table, const char* column, sqlite3_int64 row) {
    Close();
    sqlite3_blob* handle = registry_.TakeSpare();
    if (handle && sqlite3_blob_reopen(handle, row) == SQLITE_OK) {
        handle_ = handle;
        registry_.Add(this);
        return true;
    }
    sqlite3_blob_close(handle);
    handle = nullptr;
    if (sqlite3_blob_open(db, "main", table, column, row, 1, &handle) != SQLITE_OK) {
        sqlite3_blob_close(handle);  // SQLite may hand back a handle on failure; null is fine
        return false;
    }
    handle_ = handle;
    registry_.Add(this);
    return true;
}

// Closing a handle that wrote outside any transaction commits those writes.
void Blob::Close() {
    if (!handle_) return;
    sqlite3_blob_close(handle_);
    handle_ = nullptr;
    written_ = false;
    registry_.Remove(this);
}

// Writes made through the handle stay part of the open transaction.
void Blob::Park() {
    if (!handle_) return;
    registry_.Remove(this);
    registry_.KeepSpare(handle_);
    handle_ = nullptr;
    written_ = false;
}

// The stored length, as the open handle sees it.
int Blob::Bytes() const {
    return handle_ ? sqlite3_blob_bytes(handle_) : 0;
}

// Fails on a closed handle, a range past the value or a row changed since.
bool Blob::Read(void* buffer, int length, int offset) {
    return handle_ && sqlite3_blob_read(handle_, buffer, length, offset) == SQLITE_OK;
}

// Writes in place; the value's length never changes through a handle.
bool Blob::Write(const void* buffer, int length, int offset) {
    if (!handle_ || sqlite3_blob_write(handle_, buffer, length, offset) != SQLITE_OK) return false;
    written_ = true;
    return true;
}

}  // namespace kivfs
