// Blob: an incremental-I/O handle on one row's Content, read-only or
// read-write.
//
// An open handle keeps its transaction (and its lock) alive, so outside an
// explicit transaction a file opens one only for the length of one call: the
// store's transaction scope closes every listed handle before it ends. While
// open a blob is listed in its store's BlobRegistry (see StoreConnection), which may close it at
// any commit; the owner then sees IsOpen() false and opens it again when it
// needs it. Closed by the destructor in any case.
#pragma once

#include <sqlite3.h>

namespace kivfs {

class StoreConnection;

class Blob {
  public:
    explicit Blob(StoreConnection& store) : store_(store) {}
    ~Blob() { Close(); }
    Blob(const Blob&) = delete;
    Blob& operator=(const Blob&) = delete;

    // Closes any handle held, then opens Content of row `row`, for writing
    // too when `writable` (see StoreConnection::OpenContent). Gives SQLite's
    // result: SQLITE_ERROR when the row is missing or the value is not a blob
    // (a NULL Content among others).
    int Open(sqlite3_int64 row, bool writable);
    void Close();
    // Done for good: leaves the handle to the registry as its spare instead
    // of closing it. Only inside an explicit transaction, whose COMMIT
    // closes the spare first.
    void Park();
    bool IsOpen() const { return handle_ != nullptr; }
    bool IsWritable() const { return handle_ != nullptr && writable_; }
    // The value's length in bytes; 0 when closed.
    int Bytes() const;
    // Whether the handle still reads its row: SQLite expires a handle when
    // its row is changed (an UPDATE or a DELETE, through any handle of the
    // connection), and it then keeps the old length. Costs no read.
    bool IsCurrent();
    // Copy `length` bytes at `offset`; SQLite's result, SQLITE_ERROR when
    // closed or out of range, SQLITE_ABORT when the row was changed since
    // the handle was opened.
    int Read(void* buffer, int length, int offset);
    int Write(const void* buffer, int length, int offset);

  private:
    StoreConnection& store_;          // borrowed: its registry lists the open handle
    sqlite3_blob* handle_ = nullptr;  // open exactly while listed in the registry
    bool writable_ = false;           // handle_ was opened read-write
};

}  // namespace kivfs
