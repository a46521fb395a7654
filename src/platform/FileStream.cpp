// The platform-independent part of FileStream: transfers, positions and the
// end-of-file indicator are standard C; only opening differs by platform
// (platform/<system>/FileStream.cpp).
#include "platform/FileStream.h"

namespace kivfs {

// Closing flushes what is still buffered; the buffer member dies after.
FileStream::~FileStream() {
    if (stream_) std::fclose(stream_);
}

// The C library leaves a read directly after a write, or a write directly
// after a read that has not reached the end, undefined: some runtimes then
// transfer at the wrong position. A flush (after writing) or a zero move
// (after reading) in between is what it asks for. Neither touches the
// end-of-file indicator that Eof reports: the flush leaves it, and the zero
// move is skipped when the read has reached the end, where it is not needed.
void FileStream::Prepare(Direction next) {
    if (last_ == Direction::kWrite && next == Direction::kRead) {
        std::fflush(stream_);
    } else if (last_ == Direction::kRead && next == Direction::kWrite && !std::feof(stream_)) {
        std::fseek(stream_, 0, SEEK_CUR);
    }
    last_ = next;
}

size_t FileStream::Read(void* buffer, size_t size) {
    Prepare(Direction::kRead);
    return std::fread(buffer, 1, size, stream_);
}

size_t FileStream::Write(const void* buffer, size_t size) {
    Prepare(Direction::kWrite);
    return std::fwrite(buffer, 1, size, stream_);
}

long FileStream::Tell() {
    return std::ftell(stream_);
}

// A successful move also ends the current direction: after it, either
// transfer may follow.
bool FileStream::Seek(long offset, int whence) {
    if (std::fseek(stream_, offset, whence) != 0) return false;
    last_ = Direction::kNone;
    return true;
}

bool FileStream::Eof() const {
    return std::feof(stream_) != 0;
}

}  // namespace kivfs
