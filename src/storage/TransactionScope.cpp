#include "storage/TransactionScope.h"

#include "storage/StorageFs.h"

namespace kivfs {

// Whether the scope acts is fixed at its start, from the store's flag.
TransactionScope::TransactionScope(StorageFs& store) : store_(store), acts_(!store.InTrans()) {
    if (acts_) store_.Exec(store_.Fixed().begin);
}

// The commit is what makes the operation's changes durable, and SQLite
// refuses it while any read-write blob handle of the connection is open:
// the files of this store keep such handles between calls, and a refused
// commit would leave the changes in a transaction that closing the store
// throws away. So every open handle of the store is closed first (their
// files reopen them lazily), and the commit cannot be refused for that.
TransactionScope::~TransactionScope() {
    if (!acts_) return;
    store_.Blobs().CloseAll();
    store_.Exec(store_.Fixed().commit);
}

}  // namespace kivfs
