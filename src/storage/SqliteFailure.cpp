#include "storage/SqliteFailure.h"

#include "backend/Failure.h"
#include "kivfs.h"
#include "platform/SystemError.h"

namespace kivfs {

// Codes that say nothing more precise (a generic SQL error, a handle whose row
// changed under it, misuse) count as I/O failures: the store could not do
// what was asked and the host can do nothing about the arguments.
int SqliteResultToCode(int result, int systemErrno) {
    switch (result & 0xff) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return KIVFS_ERR_BUSY;
        case SQLITE_FULL:
            return KIVFS_ERR_NO_SPACE;
        case SQLITE_READONLY:
            return KIVFS_ERR_READ_ONLY;
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return KIVFS_ERR_CORRUPT;
        case SQLITE_NOMEM:
            return KIVFS_ERR_NO_MEMORY;
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return KIVFS_ERR_PERMISSION;
        case SQLITE_CONSTRAINT:
            // The key refused a second file of that name; any other
            // constraint (a column this library does not fill that may not
            // be NULL, a check, a trigger) is a table it cannot write.
            return result == SQLITE_CONSTRAINT || result == SQLITE_CONSTRAINT_PRIMARYKEY ||
                           result == SQLITE_CONSTRAINT_UNIQUE
                       ? KIVFS_ERR_EXISTS
                       : KIVFS_ERR_UNSUPPORTED;
        case SQLITE_TOOBIG:
            return KIVFS_ERR_ARGUMENT;  // one value longer than a store holds
        case SQLITE_CANTOPEN:
            return systemErrno != 0 ? SystemErrorToCode(static_cast<unsigned long>(systemErrno))
                                    : KIVFS_ERR_IO;
        default:
            return KIVFS_ERR_IO;
    }
}

// The system's errno is asked only where it decides the code, and the
// extended code only where the primary one says too little (which
// constraint refused).
int SqliteFailureCode(sqlite3* db, int result) {
    const bool fromSystem = (result & 0xff) == SQLITE_CANTOPEN && db;
    if (result == SQLITE_CONSTRAINT && db) result = sqlite3_extended_errcode(db);
    return SqliteResultToCode(result, fromSystem ? sqlite3_system_errno(db) : 0);
}

void NoteSqliteFailure(sqlite3* db, int result) {
    NoteFailure(SqliteFailureCode(db, result));
}

}  // namespace kivfs
