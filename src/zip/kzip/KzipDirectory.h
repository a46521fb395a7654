// KzipDirectory: one open archive as kzip reads it: its central directory,
// read whole when it opens, and the archive file's handle, which it closes
// when the last owner lets go (the KzipArchive and every open KzipEntry
// share it, so that closing the archive waits for its entry streams).
//
// Read as zziplib reads an archive: the last end-record signature near the
// end of the file whose record fits in it (a zip64 end record there instead
// refuses the archive), the entry count of this disk, and exactly that many
// central headers, each with its name, extra field and comment within the
// directory. Names are cut at a zero byte, as C texts.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "zip/kzip/KzipIo.h"

namespace kivfs {

class KzipEntry;

class KzipDirectory {
  public:
    // What the central directory says of one entry.
    struct Entry {
        std::uint32_t size;            // uncompressed
        std::uint32_t compressedSize;  // as stored in the archive
        std::uint32_t localHeader;     // offset of its local header
        std::uint32_t name;            // offset of its name in names_
        std::uint16_t method;          // 0 stored, 8 deflated, others refused
    };

    // Reads the directory of the archive file `handle` through `io`; null
    // (the handle closed) when it is not a sound archive of entries.
    static std::shared_ptr<KzipDirectory> Open(int handle, const KzipIo& io);
    ~KzipDirectory();
    KzipDirectory(const KzipDirectory&) = delete;
    KzipDirectory& operator=(const KzipDirectory&) = delete;

    const KzipIo& Io() const { return io_; }
    int Handle() const { return handle_; }
    std::size_t Count() const { return entries_.size(); }
    const Entry& At(std::size_t index) const { return entries_[index]; }
    // The zero-terminated name of entry `index`; lives as long as this.
    const char* NameOf(std::size_t index) const { return names_.data() + entries_[index].name; }
    // The index of the entry whose name NameOf gave as `name`; Count() for
    // any other pointer.
    std::size_t IndexOf(const char* name) const;

    // The stream whose position the archive file's read position holds (null
    // when none does): a stream that is not it seeks to its own before
    // reading. Only the entry streams set it.
    const KzipEntry* current = nullptr;

  private:
    KzipDirectory(int handle, const KzipIo& io) : io_(io), handle_(handle) {}
    // Where the end record starts, or -1 when none is found (or a zip64 one
    // is); `fileSize` > 0.
    std::int64_t FindEndRecord(std::int64_t fileSize) const;
    // Parses `count` central headers from `directory`; false on damage.
    bool ParseEntries(const std::vector<unsigned char>& directory, std::uint32_t count);

    const KzipIo& io_;
    // Open until the destructor closes it.
    int handle_;
    // In central-directory order; entries_[i].name indexes names_, and the
    // name offsets grow with i.
    std::vector<Entry> entries_;
    // Every name followed by a zero byte; never changed once read, so the
    // texts handed out stay put.
    std::vector<char> names_;
};

}  // namespace kivfs
