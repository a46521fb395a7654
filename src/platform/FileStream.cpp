// The C stream's side of FileStream and its writes, the same on every system: the streams
// of the C library (fread, fwrite, ftell, fseek, fflush) behave alike on
// POSIX and Windows, and both set errno when they fail, which the shared
// errno table turns into the cause handed back. Opening, closing and the
// descriptor reads of POSIX live in the system's own file.
#include <cerrno>

#include "kivfs.h"
#include "platform/FileStream.h"
#include "platform/SystemError.h"

namespace kivfs {

// The C library leaves a read directly after a write, or a write directly
// after a read that has not reached the end, undefined: some runtimes then
// transfer at the wrong position. A flush (after writing) or a zero move
// (after reading) in between is what it asks for. Neither touches the
// end-of-file indicator that Eof reports: the flush leaves it, and the zero
// move is skipped when the read has reached the end, where it is not needed.
// A flush that fails is the late failure of writes already counted as
// accepted (a full disk): its cause is handed back, and the direction stays
// so that the next transfer tries the flush again.
int FileStream::Prepare(Direction next) {
    if (last_ == Direction::kWrite && next == Direction::kRead) {
        if (std::fflush(stream_) != 0) return ErrnoToCode(errno);
    } else if (last_ == Direction::kRead && next == Direction::kWrite && !std::feof(stream_)) {
        if (std::fseek(stream_, 0, SEEK_CUR) != 0) return ErrnoToCode(errno);
    }
    last_ = next;
    return KIVFS_OK;
}

// A short read is the end of the file unless the end-of-file indicator is
// still clear: then the stream met an error, whose reason fread left in
// errno. The error indicator is not asked: it stays set after the failure it
// reports, and would blame later reads for it.
int FileStream::StreamRead(void* buffer, size_t size, size_t& got) {
    got = 0;
    const int ready = Prepare(Direction::kRead);
    if (ready != KIVFS_OK) return ready;
    got = std::fread(buffer, 1, size, stream_);
    return got < size && !std::feof(stream_) ? ErrnoToCode(errno) : KIVFS_OK;
}

// A short write always has a reason (a full disk, a lost device) in errno.
// A file opened for reading only is never a stream being written, so it
// needs no other path.
int FileStream::Write(const void* buffer, size_t size, size_t& put) {
    put = 0;
    if (readOnly_) return KIVFS_ERR_READ_ONLY;
    const int ready = Prepare(Direction::kWrite);
    if (ready != KIVFS_OK) return ready;
    put = std::fwrite(buffer, 1, size, stream_);
    return put < size ? ErrnoToCode(errno) : KIVFS_OK;
}

int FileStream::StreamTell(long& position) const {
    const long at = std::ftell(stream_);
    if (at < 0) return ErrnoToCode(errno);
    position = at;
    return KIVFS_OK;
}

// A successful move also ends the current direction: after it, either
// transfer may follow.
int FileStream::StreamSeek(long offset, int whence) {
    if (std::fseek(stream_, offset, whence) != 0) return ErrnoToCode(errno);
    last_ = Direction::kNone;
    return KIVFS_OK;
}

}  // namespace kivfs
