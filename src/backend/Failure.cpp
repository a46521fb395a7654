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

// KIVFS_OK notes nothing, so it never hides a cause noted before it.
void NoteFailure(int code) {
    if (code != KIVFS_OK) Record().noted = code;
}

void NoteErrno(int err) {
    NoteFailure(ErrnoToCode(err));
}

void NoteFallback(int code) {
    if (Record().noted == KIVFS_OK) Record().noted = code;
}

int LastErrorCode() {
    return Record().published;
}

void CallScope::Publish(int code) {
    if (code != KIVFS_OK) Record().published = code;
    Record().noted = KIVFS_OK;
}

}  // namespace kivfs
