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
    // Maps the file at `path`; null when FileMapping::Open refuses it.
    static std::unique_ptr<MappedArchive> Open(const char* path);

    // Copies up to `length` bytes from the read position and moves past them:
    // the count, 0 at the end, or -1 (position unchanged) when the file was
    // cut short under the mapping.
    std::int64_t Read(void* buffer, std::size_t length);

    // Moves the read position: whence 0 from the start, 1 from the position,
    // 2 from the end. The new position, or -1 (position unchanged) for a
    // target before the start or past the end, or an unknown whence.
    std::int64_t Seek(std::int64_t offset, int whence);

    // The file's size.
    std::int64_t Size() const { return mapping_->size(); }

  private:
    explicit MappedArchive(std::unique_ptr<FileMapping> mapping) : mapping_(std::move(mapping)) {}

    // Never null.
    std::unique_ptr<FileMapping> mapping_;
    // 0 <= readPos_ <= mapping_->size().
    std::uint32_t readPos_ = 0;
};

}  // namespace kivfs
