#include "backend/Failure.h"

#include "kivfs.h"
#include "platform/SystemError.h"

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
