// FileStream: one file of the system file system, read and written through
// the C runtime's buffered streams.
//
// Opened by UTF-8 path with one of the six stdio mode texts ("rb", "wb",
// "ab", "rb+", "wb+", "ab+"), with their C meanings (creation, truncation,
// append); closed when the object dies. Only regular files open: a
// directory, FIFO, socket or device is refused in every mode. Reads and
// writes may follow each other in any order: the stream inserts the
// repositioning or flush that the C library requires between the two
// directions. Failed transfers and moves leave the system's reason in errno,
// as the C library's stream calls do.
//
// Where the system has descriptors (POSIX), a file opened "r" or "rb" is read
// straight from its descriptor through a buffer of its own instead of a C
// stream: fdopen would cost every open one more system call (it asks for the
// descriptor's flags) and a stream record, while the bytes, positions and
// end-of-file indicator are the same. The other modes, and every mode
// elsewhere, use the C stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace kivfs {

class FileStream {
  public:
    // A stream not yet open.
    FileStream() = default;
    ~FileStream();
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    // Opens `path` with `modeText` on a stream not yet open. Returns KIVFS_OK
    // (0) once the stream is open; otherwise the KIVFS_ERR_* cause, and the
    // stream stays closed. What the path names is checked before anything
    // can wait or change: a FIFO without a peer never blocks the call, and
    // "wb"/"wb+" truncate only a regular file. Anything but a regular file
    // gives KIVFS_ERR_NOT_A_FILE; a system refusal gives its reason through
    // ErrnoToCode (NOT_FOUND, PERMISSION, NO_SPACE, ...); a mode text not
    // among the six gives KIVFS_ERR_ARGUMENT. Nothing is noted for the
    // calling export: the caller decides which of its attempts explains a
    // failure.
    int Open(const std::string& path, const char* modeText);

    // The calls below require an open stream.

    // Up to `size` bytes into `buffer`; fewer at the end of the file or on an
    // error. Reaching the end sets the end-of-file indicator.
    size_t Read(void* buffer, size_t size);
    // Writes `size` bytes; returns how many the stream accepted.
    size_t Write(const void* buffer, size_t size);
    // The position in bytes from the start; -1 on failure.
    long Tell();
    // Moves by `offset` from SEEK_SET, SEEK_CUR or SEEK_END; true on success.
    // A successful move clears the end-of-file indicator.
    bool Seek(long offset, int whence);
    // True once a read has run into the end of the file (and no seek since).
    bool Eof() const;

  private:
    // The direction of the last transfer, to know when switching needs a
    // flush or a repositioning first.
    enum class Direction { kNone, kRead, kWrite };

    // Makes the stream ready for a transfer in `next`.
    void Prepare(Direction next);
    // The transfers of a file read straight from its descriptor (file_ set).
    size_t ReadDirect(void* buffer, size_t size);
    long TellDirect() const;
    bool SeekDirect(long offset, int whence);

    // Null until Open succeeds, and for a file read straight from file_.
    std::FILE* stream_ = nullptr;
    // The descriptor of a file read without a stream, else -1; closed with
    // the object. Exactly one of stream_ and file_ is set once open.
    std::intptr_t file_ = -1;
    // The stream's buffer when the opening gave it one (null: the C library
    // manages its own), released only after the stream is closed; or the
    // read buffer of file_, made on the first read that needs it.
    std::unique_ptr<char[]> buffer_;
    // file_'s buffer: its size (the file system's block size), and the bytes
    // read ahead but not handed out, buffer_[begin_, end_), which lie just
    // before the descriptor's offset; begin_ <= end_ <= capacity_.
    std::size_t capacity_ = 0;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    // file_'s end-of-file indicator: set once a read met the end, cleared by
    // a successful Seek. As with C streams, reads return nothing while it is
    // set, even when the file has grown since.
    bool eof_ = false;
    Direction last_ = Direction::kNone;
};

}  // namespace kivfs
