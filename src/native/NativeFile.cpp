#include "native/NativeFile.h"

#include <cerrno>
#include <climits>
#include <cstdio>

#include "backend/Failure.h"
#include "kivfs.h"

namespace kivfs {

// A negative length moves nothing: as a size it would ask for far more than
// the caller's buffer holds. The count returned never exceeds `length`. A
// short read is the end of the file unless the stream met an error, whose
// reason errno then holds.
int NativeFile::Read(void* buffer, int length) {
    if (length <= 0) return 0;
    const size_t got = stream_.Read(buffer, static_cast<size_t>(length));
    if (got < static_cast<size_t>(length) && !stream_.Eof()) NoteErrno(errno);
    return static_cast<int>(got);
}

// A short write always has a reason (a full disk, a lost device) in errno.
// A file opened "rb" cannot be written.
int NativeFile::Write(const void* buffer, int length) {
    if (length <= 0) return 0;
    if (!writable_) {
        NoteFailure(KIVFS_ERR_READ_ONLY);
        return 0;
    }
    const size_t put = stream_.Write(buffer, static_cast<size_t>(length));
    if (put < static_cast<size_t>(length)) NoteErrno(errno);
    return static_cast<int>(put);
}

// Positions travel as 32-bit integers: one beyond their range cannot be told
// and is reported as the failure it is, never as a wrapped value.
int NativeFile::Tell() {
    const long position = stream_.Tell();
    if (position < 0) {
        NoteErrno(errno);
        return -1;
    }
    if (position > INT_MAX) {
        NoteFailure(KIVFS_ERR_UNSUPPORTED);
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
    if (stream_.Seek(offset, kWhence[origin])) return 0;
    NoteErrno(errno);
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
