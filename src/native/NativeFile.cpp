#include "native/NativeFile.h"

#include <climits>
#include <cstdio>

#include "backend/Failure.h"
#include "kivfs.h"

namespace kivfs {

// Writes are buffered, so a full disk may first show when the stream writes
// out its buffer here: kivfsCloseFile then reports it rather than letting the
// host believe the file was saved.
NativeFile::~NativeFile() {
    const int cause = stream_.Close();
    if (cause != KIVFS_OK) NoteFailure(cause);
}

// A negative length moves nothing: as a size it would ask for far more than
// the caller's buffer holds. The count returned never exceeds `length`; a
// short read that the end of the file explains is no failure.
int NativeFile::Read(void* buffer, int length) {
    if (length <= 0) return 0;
    size_t got = 0;
    const int cause = stream_.Read(buffer, static_cast<size_t>(length), got);
    if (cause != KIVFS_OK) NoteFailure(cause);
    return static_cast<int>(got);
}

// A file opened "rb" is refused by the stream as READ_ONLY.
int NativeFile::Write(const void* buffer, int length) {
    if (length <= 0) return 0;
    size_t put = 0;
    const int cause = stream_.Write(buffer, static_cast<size_t>(length), put);
    if (cause != KIVFS_OK) NoteFailure(cause);
    return static_cast<int>(put);
}

// Positions travel as 32-bit integers: one beyond their range cannot be told
// and is reported as the failure it is, never as a wrapped value.
int NativeFile::Tell() {
    long position = 0;
    int cause = stream_.Tell(position);
    if (cause == KIVFS_OK && position > INT_MAX) cause = KIVFS_ERR_UNSUPPORTED;
    if (cause != KIVFS_OK) {
        NoteFailure(cause);
        return -1;
    }
    return static_cast<int>(position);
}

// The three origins map onto the stream's own; any other is refused without
// moving.
int NativeFile::Seek(int offset, int origin) {
    static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (origin < 0 || origin > 2) {
        NoteFailure(KIVFS_ERR_ARGUMENT);
        return -1;
    }
    const int cause = stream_.Seek(offset, kWhence[origin]);
    if (cause == KIVFS_OK) return 0;
    NoteFailure(cause);
    return -1;
}

int NativeFile::Error() {
    return stream_.Eof() ? 1 : 0;
}

// Real files keep the length their writes give them.
bool NativeFile::Resize(unsigned int) {
    NoteFailure(KIVFS_ERR_UNSUPPORTED);
    return false;
}

}  // namespace kivfs
