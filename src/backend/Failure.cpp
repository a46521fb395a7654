#include "backend/Failure.h"

#include <cerrno>

#include "kivfs.h"

namespace kivfs {

namespace {

// The calling thread's record (detail::failureRecord), by a short name.
detail::FailureRecord& Record() {
    return detail::failureRecord;
}

}  // namespace

void NoteFailure(int code) {
    if (Record().noted == KIVFS_OK) Record().noted = code;
}

int TakeNoted() {
    const int code = Record().noted;
    Record().noted = KIVFS_OK;
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
    return Record().published;
}

void CallScope::Publish(int code) {
    if (code != KIVFS_OK) Record().published = code;
    Record().noted = KIVFS_OK;
}

}  // namespace kivfs
