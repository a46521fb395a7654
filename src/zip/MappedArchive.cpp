#include "zip/MappedArchive.h"

#include <algorithm>

namespace kivfs {

std::unique_ptr<MappedArchive> MappedArchive::Open(const char* path, int* cause) {
    auto mapping = FileMapping::Open(path, cause);
    if (!mapping) return nullptr;
    return std::unique_ptr<MappedArchive>(new MappedArchive(std::move(mapping)));
}

// A copy out of the view; the position moves only when the copy succeeded,
// so a fault leaves the archive as it was. The fault is an I/O error of the
// file (cut short under the mapping), not damage in the archive.
std::int64_t MappedArchive::Read(void* buffer, std::size_t length) {
    const std::size_t count = std::min<std::size_t>(length, size_ - readPos_);
    if (count == 0) return 0;
    if (!mapping_->CopyOut(readPos_, buffer, count)) {
        ++faults_;
        return -1;
    }
    readPos_ += static_cast<std::uint32_t>(count);
    return static_cast<std::int64_t>(count);
}

// Positions are worked out in 64 bits, so no offset wraps into range. A
// target outside the file is refused as lseek refuses a negative one: zziplib
// then reports a seek error instead of reading from the wrong place.
std::int64_t MappedArchive::Seek(std::int64_t offset, int whence) {
    std::int64_t base;
    switch (whence) {
        case 0:
            base = 0;
            break;
        case 1:
            base = readPos_;
            break;
        case 2:
            base = Size();
            break;
        default:
            return -1;
    }
    if (offset < -base || offset > Size() - base) return -1;
    readPos_ = static_cast<std::uint32_t>(base + offset);
    return readPos_;
}

// Worked out in 64 bits, so that no offset wraps into range.
bool MappedArchive::CopyAt(std::uint32_t offset, void* buffer, std::size_t length) const {
    if (std::uint64_t{offset} + length > size_) return false;
    if (mapping_->CopyOut(offset, buffer, length)) return true;
    ++faults_;
    return false;
}

// Bounded by Size() as CopyAt is, so that neither route reaches past the
// archive's end record into bytes the archive check never saw.
bool MappedArchive::ReadAt(std::uint32_t offset, void* buffer, std::size_t length) const {
    if (std::uint64_t{offset} + length > size_) return false;
    if (mapping_->ReadAt(offset, buffer, length)) return true;
    ++faults_;
    return false;
}

void MappedArchive::Restrict(std::uint32_t size) {
    size_ = std::min(size_, size);
    readPos_ = std::min(readPos_, size_);
}

}  // namespace kivfs
