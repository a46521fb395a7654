// POSIX opening of a FileStream: open(2) without blocking, fstat to keep
// everything but regular files out, then fdopen with the caller's mode text.
// fopen cannot be used: it would wait on a FIFO without a writer (or reader)
// and truncate before anyone could look at what the path names.
#include "platform/FileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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
// shown a regular file, the "w" truncation is done, O_NONBLOCK is cleared
// (F_SETFL keeps O_APPEND) and the descriptor becomes a stream with the
// caller's own mode text, which fdopen neither truncates nor re-creates.
int FileStream::Open(const std::string& path, const char* modeText) {
    ModeRequest request;
    if (!ParseMode(modeText, request)) return KIVFS_ERR_ARGUMENT;
    const int fd = ::open(path.c_str(), request.flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return ErrnoToCode(errno);
    struct stat info;
    if (::fstat(fd, &info) != 0) return CloseWithCause(fd, ErrnoToCode(errno));
    if (!S_ISREG(info.st_mode)) return CloseWithCause(fd, KIVFS_ERR_NOT_A_FILE);
    if ((request.truncate && info.st_size > 0 && ::ftruncate(fd, 0) != 0) ||
        ::fcntl(fd, F_SETFL, request.flags & O_APPEND) != 0 ||
        (request.atEnd && ::lseek(fd, 0, SEEK_END) < 0)) {
        return CloseWithCause(fd, ErrnoToCode(errno));
    }
    std::FILE* stream = ::fdopen(fd, modeText);
    if (!stream) return CloseWithCause(fd, ErrnoToCode(errno));
    // The C library would ask the system for the same block size again on the
    // first transfer to size its buffer; handing it one of that size saves
    // the second query, which matters when many small files are opened.
    const size_t size = info.st_blksize > 0 ? static_cast<size_t>(info.st_blksize) : BUFSIZ;
    buffer_.reset(new char[size]);
    std::setvbuf(stream, buffer_.get(), _IOFBF, size);
    stream_ = stream;
    return KIVFS_OK;
}

}  // namespace kivfs
