#include "storage/TransactionScope.h"

#include "backend/Failure.h"
#include "kivfs.h"
#include "storage/StoreConnection.h"

namespace kivfs {

// The role is fixed at the start, from the store's flag and depth.
TransactionScope::TransactionScope(StoreConnection& store, Access access)
    : store_(store),
      role_(store.InTrans()          ? Role::Joined
            : store.ScopeDepth() > 0 ? Role::Nested
                                     : Role::Outermost),
      writes_(access == Access::Write) {
    if (writes_ && store_.ReadOnly()) {
        NoteFailure(KIVFS_ERR_READ_ONLY);
        return;
    }
    if (role_ == Role::Joined) {
        began_ = store_.ExplicitTransactionAlive();
        return;
    }
    store_.EnterScope();
    entered_ = true;
    began_ = role_ == Role::Nested || store_.BeginImplicit(writes_);
}

// An operation that returns without ending its scope has failed.
TransactionScope::~TransactionScope() {
    if (!ended_) End(false);
}

// Only the outermost scope of an implicit transaction commits or rolls back.
// Whatever the outcome, an operation that may have written counts as a change
// of the connection's own (see StoreConnection::ContentVersion).
bool TransactionScope::End(bool succeeded) {
    ended_ = true;
    if (writes_ && began_) store_.CountOwnChange();
    const bool ok = began_ && succeeded;
    if (entered_) store_.LeaveScope();
    switch (role_) {
        case Role::Joined:
            return ok && store_.ExplicitTransactionAlive();
        case Role::Nested:
            return ok;
        case Role::Outermost:
            return entered_ && store_.EndImplicit(ok);
    }
    return false;
}

}  // namespace kivfs
