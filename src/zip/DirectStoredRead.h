// DirectStoredRead: large reads of a stored entry served straight from the
// archive file, next to the entry's own stream.
//
// A stored entry's bytes lie in the archive as they are, so a read of many
// of them is one copy from the archive at the entry's data offset
// (MappedArchive::ReadAt: pread of the archive's descriptor where the
// platform has it, the mapping elsewhere). The caller keeps the entry
// stream's offset in step after each such read, so what a host sees (bytes,
// offsets, the CRC-32 check, failures) is what the stream would have given.
// Small reads stay with the stream: its copies from the mapping need no
// system call. The archive must outlive this object; an open entry stream
// keeps it open.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zip/MappedArchive.h"

namespace kivfs {

class DirectStoredRead {
  public:
    // Reads of at least this many bytes are served here.
    static constexpr int kMinLength = 64 * 1024;

    // Serves nothing: for entries that are not stored.
    DirectStoredRead() = default;
    // Serves the stored entry of `size` bytes whose local header starts at
    // `localHeader` in `archive` (borrowed, never null).
    DirectStoredRead(const MappedArchive* archive, std::uint32_t localHeader, std::uint32_t size)
        : archive_(archive), localHeader_(localHeader), size_(size) {}

    // Whether a read of `length` bytes is served here. The first time it
    // says yes it finds the entry's data in the archive; an entry whose local
    // header cannot be read, or whose data would not lie within the archive,
    // is left to the stream for good (which then fails as it fails).
    bool Serves(int length);

    // Copies the `length` bytes at `offset` of the entry's data (the caller
    // keeps offset + length within the entry, after Serves said yes); false,
    // with the cause noted, when the archive cannot supply them all.
    bool Read(std::uint32_t offset, void* buffer, std::size_t length) const;

  private:
    // Reads the local header and sets data_; false when it cannot.
    bool Locate();

    // Null when nothing is served (not stored, or not locatable).
    const MappedArchive* archive_ = nullptr;
    std::uint32_t localHeader_ = 0;
    std::uint32_t size_ = 0;
    // Where the entry's data starts in the archive, once located_; then
    // data_ + size_ <= archive_->Size().
    std::uint32_t data_ = 0;
    bool located_ = false;
};

}  // namespace kivfs
