// ArchiveReader, EntryReader: the one seam between the zip backend and the
// reader of the zip format under it.
//
// The backend (ZipFs, ZipFile, ZipIndex, ZipTree, the archive check and the
// mapped handlers) is the same whatever reads the format; a reader supplies
// an open archive's entry names in central-directory order and opens entry
// streams on it, with the results zziplib gives for the same archive: the
// library is built with zziplib where it can be installed, and with the
// reader of its own (src/zip/kzip) where it cannot. Both read the archive
// file only through the mapped handlers (MappedHandlers.h), by the handle
// MappedArchiveTable gave the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace kivfs {

// An entry's sizes and method as the central directory gives them, in the
// ints zziplib hands them over as: a size of 2 GiB or more arrives negative.
struct EntryStat {
    int method;
    int compressedSize;
    int size;
};

// One open entry stream: its uncompressed bytes, read in order or sought.
// Streams of one archive share its read position in the archive file, so
// they are used by one thread at a time.
class EntryReader {
  public:
    // Closes the stream; the last stream of an archive already closed frees
    // the archive and closes its handle.
    virtual ~EntryReader() = default;
    // Up to `length` (> 0) uncompressed bytes: the count, 0 at the end (or
    // where stored data runs past the archive), -1 on a read or inflate
    // error.
    virtual std::int64_t Read(void* buffer, std::size_t length) = 0;
    // whence 0 from the start, 1 from the offset, 2 from the end. A target
    // equal to the offset returns it; a lower one first rewinds to the start
    // (-1 for a target below 0, the offset then 0); one past the size is -1,
    // the offset unchanged; otherwise the stream moves forward (stored: one
    // seek in the archive; deflated: inflating and dropping pieces of at most
    // 32 KiB, -1 when one fails) and the new offset is returned.
    virtual std::int64_t Seek(std::int64_t offset, int whence) = 0;
    // The offset: the size minus what is left to read (an inflate that ends
    // early leaves nothing).
    virtual std::int64_t Tell() = 0;
    // The entry's sizes and method; false when they cannot be had.
    virtual bool Stat(EntryStat& stat) = 0;
};

// One open archive. Its names and its directory cursor are used by one
// thread at a time (ZipFs holds its lock around every call).
class ArchiveReader {
  public:
    // Closes the archive; while entry streams of it are open the real close
    // (and with it MappedClose) waits for the last of them.
    virtual ~ArchiveReader() = default;
    // Calls `visit` with each entry's name in central-directory order: a
    // zero-terminated text (cut at a zero byte in the stored name) that lives
    // as long as the archive, and is what OpenEntry takes.
    virtual void VisitNames(const std::function<void(const char*)>& visit) = 0;
    // Opens the entry whose name VisitNames gave as `storedName` (the first
    // entry of that exact name, which ZipIndex guarantees is that very
    // entry); null when its method is neither stored nor deflated, or its
    // local header is missing or runs past the archive.
    virtual std::unique_ptr<EntryReader> OpenEntry(const char* storedName) = 0;
};

// Opens the archive file of `handle` (a MappedArchiveTable handle); null when
// the reader finds no sound archive there, and the handle is closed then.
using ArchiveOpener = std::unique_ptr<ArchiveReader> (*)(int handle);

// The two readers; a build links one of them into the library (OpenZipFs
// picks it), and the comparison tests link both.
std::unique_ptr<ArchiveReader> OpenWithZziplib(int handle);
std::unique_ptr<ArchiveReader> OpenWithKzip(int handle);

}  // namespace kivfs
