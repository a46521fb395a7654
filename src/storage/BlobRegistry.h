// BlobRegistry: the open blob handles of one connection.
//
// SQLite refuses to COMMIT while any read-write blob handle of the connection
// is open, and any open handle keeps its transaction's lock. Every Blob of a
// store enters this registry while it is open, so that the store can close
// them all right before each transaction it ends (see
// StoreConnection::EndImplicit and ::CommitExplicit). Their files reopen
// them on next use.
//
// Inside an explicit transaction a file that closes leaves its handle here as
// the spare, and the next blob to open moves it onto its own row
// (sqlite3_blob_reopen), which costs far less than opening a new handle. The
// transaction holds its locks until its COMMIT anyway, and CloseAll closes
// the spare with the others, so no caller can tell.
#pragma once

#include <sqlite3.h>

#include <vector>

namespace kivfs {

class Blob;

class BlobRegistry {
  public:
    BlobRegistry() = default;
    BlobRegistry(const BlobRegistry&) = delete;
    BlobRegistry& operator=(const BlobRegistry&) = delete;

    void Add(Blob* blob);
    void Remove(Blob* blob);
    // Keeps `handle`, which its blob is done with, as the spare; a spare kept
    // already is closed.
    void KeepSpare(sqlite3_blob* handle, bool writable);
    // The spare, handed over to the caller, when it has the access asked
    // for; else null.
    sqlite3_blob* TakeSpare(bool writable);
    // Closes every registered handle and the spare, committing nothing by
    // itself: inside a transaction the writes made through them stay part of
    // it.
    void CloseAll();

  private:
    std::vector<Blob*> open_;        // exactly the blobs of this store that are open
    sqlite3_blob* spare_ = nullptr;  // open on Content, owned; or null
    bool spareWritable_ = false;     // spare_ was opened read-write
};

}  // namespace kivfs
