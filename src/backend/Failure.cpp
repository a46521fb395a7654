#include "backend/Failure.h"

#include <cerrno>

#include "kivfs.h"

namespace kivfs {

namespace {

// Both are per thread so that one thread's failure never explains another's,
// and plain ints so that reading them needs no construction at thread start.
// `noted` is the cause found so far in the current call (0: none yet);
// `published` is what kivfsLastError reports.
thread_local int noted = KIVFS_OK;
thread_local int published = KIVFS_OK;

}  // namespace

void NoteFailure(int code) {
    if (noted == KIVFS_OK) noted = code;
}

int TakeNoted() {
    const int code = noted;
    noted = KIVFS_OK;
    return code;
}

int ErrnoToCode(int err) {
    switch (err) {
        case ENOENT:
        case ENOTDIR:
            return KIVFS_ERR_NOT_FOUND;
        case EEXIST:
        case ENOTEMPTY:
            return KIVFS_ERR_EXISTS;
        case EINVAL:
        case ENAMETOOLONG:
            return KIVFS_ERR_ARGUMENT;
        case EROFS:
            return KIVFS_ERR_READ_ONLY;
        case EBUSY:
        case EAGAIN:
            return KIVFS_ERR_BUSY;
        case ENOSPC:
        case EFBIG:
            return KIVFS_ERR_NO_SPACE;
        case ENOMEM:
            return KIVFS_ERR_NO_MEMORY;
        case EACCES:
        case EPERM:
            return KIVFS_ERR_PERMISSION;
        case EISDIR:
        case ENXIO:
        case ENODEV:
            return KIVFS_ERR_NOT_A_FILE;
        default:
            return KIVFS_ERR_IO;
    }
}

void NoteErrno(int err) {
    NoteFailure(ErrnoToCode(err));
}

int LastErrorCode() {
    return published;
}

CallScope::CallScope() {
    noted = KIVFS_OK;
}

void CallScope::Fail(int fallback) {
    Publish(noted != KIVFS_OK ? noted : fallback);
}

void CallScope::Publish(int code) {
    if (code != KIVFS_OK) published = code;
    noted = KIVFS_OK;
}

}  // namespace kivfs
