// MappedArchive: one archive file as zziplib reads it through our handlers,
// a whole-file read-only mapping with one read position.
//
// Every stream zziplib opens on the archive shares this position; zziplib
// saves and restores each stream's own offset when another one reads, so the
// archive and its streams are used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/FileMapping.h"

namespace kivfs {

class MappedArchive {
  public:
    // Maps the file at `path`; null when FileMapping::Open refuses it, with
    // its cause in *cause (when not null) as FileMapping::Open gives it: left
    // as it was for a file that is empty or not a regular one.
    static std::unique_ptr<MappedArchive> Open(const char* path, int* cause);

    // Copies up to `length` bytes from the read position and moves past them:
    // the count, 0 at the end, or -1 (position unchanged) when the file was
    // cut short under the mapping (counted in Faults()).
    std::int64_t Read(void* buffer, std::size_t length);

    // Moves the read position: whence 0 from the start, 1 from the position,
    // 2 from the end. The new position, or -1 (position unchanged) for a
    // target before the start or past the end, or an unknown whence.
    std::int64_t Seek(std::int64_t offset, int whence);

    // The archive's size: the file's, unless Restrict shortened it.
    std::int64_t Size() const { return size_; }

    // Copies `length` bytes at `offset`, without moving the read position;
    // false when they lie past Size() or the file was cut short.
    bool CopyAt(std::uint32_t offset, void* buffer, std::size_t length) const;

    // The same for large copies, through FileMapping::ReadAt (a positioned
    // read of the file where the platform has one): the bytes and the
    // failures are CopyAt's.
    bool ReadAt(std::uint32_t offset, void* buffer, std::size_t length) const;

    // How many reads and copies have failed because the file was cut short
    // under the mapping. Nothing is noted where they fail: the reader above
    // (the archive check, an entry file) compares the count before and after
    // its own work to tell such an I/O fault from damage in the archive.
    std::uint32_t Faults() const { return faults_; }

    // Ends the archive at `size` (when shorter than it is): reads, seeks and
    // Size() then see nothing past it. The probe ends an archive after its
    // end record, so that zziplib finds the record the probe checked.
    void Restrict(std::uint32_t size);

  private:
    explicit MappedArchive(std::unique_ptr<FileMapping> mapping)
        : mapping_(std::move(mapping)), size_(mapping_->size()) {}

    // Never null.
    std::unique_ptr<FileMapping> mapping_;
    // 0 <= readPos_ <= size_ <= mapping_->size().
    std::uint32_t size_;
    std::uint32_t readPos_ = 0;
    // Only grows; counted by the const copies too.
    mutable std::uint32_t faults_ = 0;
};

}  // namespace kivfs
