// POSIX FileStream: open(2) without blocking, fstat to keep everything but
// regular files out, then fdopen with the caller's mode text, or, for "r" and
// "rb", reads straight from the descriptor. fopen cannot be used: it would
// wait on a FIFO without a writer (or reader) and truncate before anyone
// could look at what the path names.
#include "platform/FileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "kivfs.h"
#include "platform/SystemError.h"

namespace kivfs {

namespace {

// What one stdio mode text asks of open(2) and of the steps after it.
struct ModeRequest {
    int flags = 0;          // access mode, O_CREAT and O_APPEND as the text asks
    bool truncate = false;  // "w": emptied, but only once known to be a regular file
    bool atEnd = false;     // "a" without "+": fopen starts such a stream at the end
    bool readOnly = false;  // "r" without "+": read from the descriptor, no stream
};

// Reads a stdio mode text: "r", "w" or "a", then any of "b" and "+". False
// for anything else.
bool ParseMode(const char* modeText, ModeRequest& request) {
    if (!modeText || !*modeText || modeText[1 + std::strspn(modeText + 1, "b+")] != '\0') {
        return false;
    }
    const bool update = std::strchr(modeText, '+') != nullptr;
    const int writing = update ? O_RDWR : O_WRONLY;
    switch (modeText[0]) {
        case 'r':
            request.flags = update ? O_RDWR : O_RDONLY;
            request.readOnly = !update;
            return true;
        case 'w':
            request.flags = writing | O_CREAT;
            request.truncate = true;
            return true;
        case 'a':
            request.flags = writing | O_CREAT | O_APPEND;
            request.atEnd = !update;
            return true;
        default:
            return false;
    }
}

// Closes `fd` and hands back `cause`, which the caller took from errno
// before close() could change it.
int CloseWithCause(int fd, int cause) {
    ::close(fd);
    return cause;
}

}  // namespace

// O_NONBLOCK makes the open of a FIFO return at once (or fail with ENXIO for
// a writer without a reader) instead of waiting for its peer; O_NOCTTY keeps
// a terminal from becoming the process's controlling one. Once fstat has
// shown a regular file, the "w" truncation is done and the descriptor becomes
// a stream with the caller's own mode text, which fdopen neither truncates
// nor re-creates. O_NONBLOCK stays set: on a regular file read(2) and
// write(2) ignore it (they never return EAGAIN there), so clearing it would
// only cost every open one more system call.
int FileStream::Open(const std::string& path, const char* modeText) {
    ModeRequest request;
    if (!ParseMode(modeText, request)) return KIVFS_ERR_ARGUMENT;
    const int fd = ::open(path.c_str(), request.flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return ErrnoToCode(errno);
    struct stat info;
    if (::fstat(fd, &info) != 0) return CloseWithCause(fd, ErrnoToCode(errno));
    if (!S_ISREG(info.st_mode)) return CloseWithCause(fd, KIVFS_ERR_NOT_A_FILE);
    const size_t size = info.st_blksize > 0 ? static_cast<size_t>(info.st_blksize) : BUFSIZ;
    if (request.readOnly) {
        readOnly_ = true;
        file_ = fd;
        capacity_ = size;
        return KIVFS_OK;
    }
    if ((request.truncate && info.st_size > 0 && ::ftruncate(fd, 0) != 0) ||
        (request.atEnd && ::lseek(fd, 0, SEEK_END) < 0)) {
        return CloseWithCause(fd, ErrnoToCode(errno));
    }
    std::FILE* stream = ::fdopen(fd, modeText);
    if (!stream) return CloseWithCause(fd, ErrnoToCode(errno));
    // The C library would ask the system for the same block size again on the
    // first transfer to size its buffer; handing it one of that size saves
    // the second query, which matters when many small files are opened.
    buffer_.reset(new char[size]);
    std::setvbuf(stream, buffer_.get(), _IOFBF, size);
    stream_ = stream;
    return KIVFS_OK;
}

// fclose writes out the buffer and releases the stream even when the write
// fails; a descriptor read without a stream holds nothing to write. The
// buffer member dies after.
int FileStream::Close() {
    int cause = KIVFS_OK;
    if (stream_ && std::fclose(stream_) != 0) cause = ErrnoToCode(errno);
    if (!stream_ && file_ >= 0) ::close(static_cast<int>(file_));
    stream_ = nullptr;
    file_ = -1;
    return cause;
}

FileStream::~FileStream() {
    Close();
}

int FileStream::Read(void* buffer, size_t size, size_t& got) {
    return stream_ ? StreamRead(buffer, size, got) : ReadDirect(buffer, size, got);
}

int FileStream::Tell(long& position) {
    return stream_ ? StreamTell(position) : TellDirect(position);
}

int FileStream::Seek(long offset, int whence) {
    return stream_ ? StreamSeek(offset, whence) : SeekDirect(offset, whence);
}

bool FileStream::Eof() const {
    return stream_ ? std::feof(stream_) != 0 : eof_;
}

// Reads as the C library's buffered streams do, so that the same calls give
// the same bytes and the same end-of-file indicator: buffered bytes first;
// a rest smaller than the buffer refills the buffer (unless the end was met
// before: the indicator is sticky there); a larger rest is read straight
// into the caller's memory, whole blocks of it, leaving a smaller remainder
// to the buffer. A read of 0 sets the indicator; a failure of read(2) stops
// the read with its cause, the bytes before it still handed out.
int FileStream::ReadDirect(void* buffer, size_t size, size_t& got) {
    const int fd = static_cast<int>(file_);
    auto* to = static_cast<char*>(buffer);
    size_t want = size;
    int cause = KIVFS_OK;
    while (want > 0) {
        const size_t have = std::min(want, end_ - begin_);
        if (have > 0) {
            std::memcpy(to, buffer_.get() + begin_, have);
            begin_ += have;
            to += have;
            want -= have;
            continue;
        }
        if (want < capacity_) {
            if (eof_) break;
            if (!buffer_) buffer_.reset(new char[capacity_]);
            const ssize_t filled = ::read(fd, buffer_.get(), capacity_);
            if (filled <= 0) {
                eof_ = filled == 0;
                if (filled < 0) cause = ErrnoToCode(errno);
                break;
            }
            begin_ = 0;
            end_ = static_cast<size_t>(filled);
            continue;
        }
        const ssize_t came = ::read(fd, to, want - want % capacity_);
        if (came <= 0) {
            eof_ = eof_ || came == 0;
            if (came < 0) cause = ErrnoToCode(errno);
            break;
        }
        to += came;
        want -= static_cast<size_t>(came);
    }
    got = size - want;
    return cause;
}

// The descriptor stands past the bytes read ahead into the buffer.
int FileStream::TellDirect(long& position) const {
    const off_t at = ::lseek(static_cast<int>(file_), 0, SEEK_CUR);
    if (at < 0) return ErrnoToCode(errno);
    const off_t visible = at - static_cast<off_t>(end_ - begin_);
    if (visible > LONG_MAX) return KIVFS_ERR_UNSUPPORTED;
    position = static_cast<long>(visible);
    return KIVFS_OK;
}

// A move from the current position counts from the position the caller
// sees, before the bytes read ahead. A refused move (a target before the
// start, an unknown whence) leaves everything as it was.
int FileStream::SeekDirect(long offset, int whence) {
    off_t target = offset;
    if (whence == SEEK_CUR) target -= static_cast<off_t>(end_ - begin_);
    if (::lseek(static_cast<int>(file_), target, whence) < 0) return ErrnoToCode(errno);
    begin_ = 0;
    end_ = 0;
    eof_ = false;
    return KIVFS_OK;
}

}  // namespace kivfs
