// TransactionScope: the transaction of one store operation.
//
// Outside an explicit transaction (BeginTrans .. CommitTrans) each operation
// is its own transaction: the outermost scope begins it and ends it with the
// operation, so no lock outlives the call. An operation that writes begins
// with "BEGIN IMMEDIATE TRANSACTION;": it takes the write lock at once, waiting
// out other writers for the busy timeout, instead of finding a deadlock half
// way and failing at once. An operation that only reads begins deferred.
//
// End(true) commits; a commit that fails (busy past the timeout, a full disk,
// an I/O error) and End(false) roll the operation's work back, so the
// operation reports failure and has changed nothing. A scope that is not
// ended is rolled back when it goes out of scope: an early return is a
// failure.
//
// Scopes opened while another is open (an operation built from others, such
// as a move) only count depth: the outermost one decides for all.
//
// Inside an explicit transaction a scope neither begins nor ends anything;
// it joins the transaction and fails when SQLite has ended that transaction
// by itself (after a full disk or an I/O error, say), so that nothing of a
// failed transaction is committed piecemeal.
#pragma once

namespace kivfs {

class StoreConnection;

class TransactionScope {
  public:
    enum class Access { Read, Write };

    TransactionScope(StoreConnection& store, Access access);
    ~TransactionScope();
    TransactionScope(const TransactionScope&) = delete;
    TransactionScope& operator=(const TransactionScope&) = delete;

    // False when the operation may not go on: its BEGIN was refused, a write
    // was asked of a store that can only be read, or the explicit transaction
    // it would join is gone. The cause is noted.
    bool Began() const { return began_; }
    // Ends the operation, which `succeeded` or not; true when its work
    // stands (committed, or part of a live explicit transaction). Called
    // at most once.
    bool End(bool succeeded);

  private:
    enum class Role { Outermost, Nested, Joined };

    StoreConnection& store_;
    Role role_;
    bool writes_;           // opened for an operation that writes
    bool entered_ = false;  // counted in the store's depth (not for Joined)
    bool began_ = false;    // the operation may go on
    bool ended_ = false;
};

}  // namespace kivfs
