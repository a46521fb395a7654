// Why a SQLite call of the store failed, in the library's KIVFS_ERR_* terms.
//
// One mapping for every failure the store meets, so that a refused commit, a
// full disk or a store the process may only read reads the same to a host
// whichever statement ran into it.
#pragma once

#include <sqlite3.h>

namespace kivfs {

// The KIVFS_ERR_* code for a SQLite result code (primary or extended).
// `systemErrno` is what sqlite3_system_errno reported with it (0: nothing):
// the system's own error value (errno, or GetLastError's on Windows), which
// tells a file that cannot be opened because it is missing from one the
// system refuses.
int SqliteResultToCode(int result, int systemErrno);

// The KIVFS_ERR_* cause of `result`, a failed call on `db` (null when the
// call gave no handle), asking `db` for what the result code leaves open.
int SqliteFailureCode(sqlite3* db, int result);

// Notes the cause of `result`, a failed call on `db`, for the current call.
void NoteSqliteFailure(sqlite3* db, int result);

}  // namespace kivfs
