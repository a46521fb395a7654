// How a store's connection waits for a lock another connection holds.
//
// SQLite's own busy timeout sleeps longer and longer between tries (up to
// 100 ms), so a connection waiting on another that commits back to back
// almost never finds the lock free in the short gaps between its
// transactions and fails after the timeout although the lock was free many
// times. This handler tries again every millisecond until the timeout.
#pragma once

#include <sqlite3.h>

namespace kivfs {

// How long a statement waits for a lock before it fails with SQLITE_BUSY.
// Another connection holds its locks for one statement or one transaction:
// milliseconds for a read, up to a second or so for a large commit on slow
// media. Three seconds rides out such contention with a wide margin, while a
// host blocked by a connection that keeps a transaction open for good still
// gets its answer (failure, KIVFS_ERR_BUSY) soon enough to tell its user or
// retry later.
inline constexpr int kBusyTimeoutMs = 3000;

// Makes `db` wait up to kBusyTimeoutMs for each lock it needs.
void WaitWhenBusy(sqlite3* db);

}  // namespace kivfs
