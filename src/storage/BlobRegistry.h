// BlobRegistry: the open blob handles of one connection.
//
// SQLite refuses to COMMIT while any read-write blob handle of the connection
// is open, and a transaction left open when the connection closes is lost.
// Every Blob of a store enters this registry while it is open, so that the
// store can close them all right before each COMMIT it runs (see
// TransactionScope and StorageFs::CommitTrans). Their files reopen them
// lazily on next use.
#pragma once

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
    // Closes every registered handle, committing nothing by itself: inside a
    // transaction the writes made through them stay part of it.
    void CloseAll();

  private:
    std::vector<Blob*> open_;  // exactly the blobs of this store that are open
};

}  // namespace kivfs
