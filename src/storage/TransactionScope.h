// TransactionScope: the implicit transaction around one store operation.
//
// Outside an explicit transaction (BeginTrans .. CommitTrans) each operation
// is its own transaction: the scope runs "BEGIN TRANSACTION;" when it starts
// and "COMMIT TRANSACTION;" when it ends. Their results are not looked at and
// nothing is rolled back: an operation that fails half-way still commits what
// it did. Inside an explicit transaction the scope does nothing and the
// operation joins that transaction.
#pragma once

namespace kivfs {

class StorageFs;

class TransactionScope {
  public:
    explicit TransactionScope(StorageFs& store);
    ~TransactionScope();
    TransactionScope(const TransactionScope&) = delete;
    TransactionScope& operator=(const TransactionScope&) = delete;

  private:
    StorageFs& store_;
    bool acts_;  // the store had no explicit transaction when the scope began
};

}  // namespace kivfs
