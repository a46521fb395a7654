// ArchiveValidator: checks, before zziplib sees an archive, that its end
// record and central directory hold together within the file.
//
// zziplib trusts the offsets, sizes, counts and name lengths it finds there
// more than a damaged or crafted archive deserves. The validator finds the
// end record exactly where zziplib looks for it (the last end-record
// signature near the end of the file), and accepts the archive only when
// that record is whole, names no zip64 record, has entries, and places a
// central directory before itself in which every entry's header, name, extra
// field and comment lie within the directory. Entry data is not looked at:
// zziplib checks each entry's local header when the entry is opened, and
// reads of entry data stay within the mapped file.
#pragma once

#include <cstdint>
#include <optional>

#include "zip/MappedArchive.h"

namespace kivfs {

class ArchiveValidator {
  public:
    // Reads the archive through `archive`'s copies, which never fault.
    explicit ArchiveValidator(const MappedArchive& archive) : archive_(archive) {}

    // The length of the archive proper, up to the end of its end record
    // (what follows, a comment or trailing bytes, is never needed); nothing
    // when the archive does not hold together and must be refused.
    std::optional<std::uint32_t> Check() const;

  private:
    // Where the end record zziplib would take starts; nothing when there is
    // none near the end, or the last record there is not a whole end record.
    std::optional<std::uint32_t> FindEndRecord() const;
    // Whether `entries` central headers follow each other within the
    // directory at [offset, offset + size).
    bool CentralDirectoryHolds(std::uint32_t offset, std::uint32_t size,
                               std::uint16_t entries) const;

    const MappedArchive& archive_;
};

}  // namespace kivfs
