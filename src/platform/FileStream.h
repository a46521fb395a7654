// FileStream: one file of the system file system, read and written through
// the C runtime's buffered streams.
//
// Opened by UTF-8 path with one of the six stdio mode texts ("rb", "wb",
// "ab", "rb+", "wb+", "ab+"), with their C meanings (creation, truncation,
// append); closed by Close or when the object dies. Only regular files open: a
// directory, FIFO, socket or device is refused in every mode. Reads and
// writes may follow each other in any order: the stream inserts the
// repositioning or flush that the C library requires between the two
// directions. Every call hands its cause back as a KIVFS_ERR_* code (KIVFS_OK
// when it did what was asked), as Open does: nothing is noted for the calling
// export, and errno means nothing to the caller afterwards.
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

    // Reads up to `size` bytes into `buffer` and sets `got` to how many came.
    // KIVFS_OK when all came or the end of the file stopped the read (which
    // sets the end-of-file indicator); otherwise the cause, with `got` the
    // bytes that came before the failure.
    int Read(void* buffer, size_t size, size_t& got);
    // Writes `size` bytes and sets `put` to how many the stream accepted:
    // all of them, or the cause comes back. A file opened for reading only
    // gives KIVFS_ERR_READ_ONLY and takes nothing.
    int Write(const void* buffer, size_t size, size_t& put);
    // Sets `position` to the position in bytes from the start; on failure
    // the cause comes back and `position` is left as it was. A position
    // beyond the range of long gives KIVFS_ERR_UNSUPPORTED.
    int Tell(long& position);
    // Moves by `offset` from SEEK_SET, SEEK_CUR or SEEK_END. A successful
    // move clears the end-of-file indicator; a refused one changes nothing.
    int Seek(long offset, int whence);
    // True once a read has run into the end of the file (and no seek since).
    bool Eof() const;
    // Closes the file, writing out what the stream still buffers: a full disk
    // or a lost device may show only here, after every write was taken, so
    // that cause comes back. Closed afterwards either way; the destructor
    // closes a file still open and has nobody to tell.
    int Close();

  private:
    // The direction of the last transfer, to know when switching needs a
    // flush or a repositioning first.
    enum class Direction { kNone, kRead, kWrite };

    // The C stream's side of the calls above (stream_ set), the same on
    // every system (platform/FileStream.cpp, with Write); Prepare makes the
    // stream ready for a transfer in `next`.
    int Prepare(Direction next);
    int StreamRead(void* buffer, size_t size, size_t& got);
    int StreamTell(long& position) const;
    int StreamSeek(long offset, int whence);
    // The side of a file read straight from its descriptor (file_ set).
    int ReadDirect(void* buffer, size_t size, size_t& got);
    int TellDirect(long& position) const;
    int SeekDirect(long offset, int whence);

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
    // Opened for reading only ("rb"): Write refuses at once, the same way on
    // every system, instead of leaving it to the C library (whose stream
    // would refuse with a mere EBADF) or to a descriptor read without one.
    bool readOnly_ = false;
};

}  // namespace kivfs
