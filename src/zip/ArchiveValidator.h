// ArchiveValidator: checks, before zziplib sees an archive, that its end
// record and central directory hold together within the file, and that the
// archive is one zziplib reads whole.
//
// zziplib trusts the offsets, sizes, counts and name lengths it finds there
// more than a damaged or crafted archive deserves, and it reads only the
// classic end record: of an archive that needs zip64 records it would serve
// part of the entries, or the wrong bytes. The validator finds the end record
// exactly where zziplib looks for it (the last end-record signature near the
// end of the file), and accepts the archive only when that record is whole,
// is neither accompanied by zip64 records nor defers to them, has entries,
// and places a central directory before itself in which every entry's header,
// name, extra field and comment lie within the directory, with no further
// header after the ones it counts. Entry data is not looked at: zziplib
// checks each entry's local header when the entry is opened, and reads of
// entry data stay within the mapped file.
#pragma once

#include <cstdint>
#include <optional>

#include "zip/CheckedArchive.h"
#include "zip/MappedArchive.h"

namespace kivfs {

class ArchiveValidator {
  public:
    // Reads the archive through `archive`'s copies, which never fault.
    explicit ArchiveValidator(const MappedArchive& archive) : archive_(archive) {}

    // The archive's length and its central entries; nothing when it must be
    // refused. A refused archive notes why (KIVFS_ERR_UNSUPPORTED for zip64
    // or no entries, KIVFS_ERR_CORRUPT for damage); a file with no end record
    // that does not start like an archive either is none, and notes nothing,
    // so the store may take it.
    std::optional<CheckedArchive> Check() const;

  private:
    // Where the end record zziplib would take starts; nothing when there is
    // none near the end, or the last record there is not a whole end record.
    std::optional<std::uint32_t> FindEndRecord() const;
    // Whether a zip64 end-record locator lies right before the end record.
    bool HasZip64Locator(std::uint32_t endRecord) const;
    // Reads the `entries` central headers of the directory at
    // [offset, offset + size) into `checked`; false, with the cause noted,
    // when they do not follow each other within it or more follow them.
    bool ReadCentralDirectory(std::uint32_t offset, std::uint32_t size, std::uint16_t entries,
                              CheckedArchive& checked) const;

    const MappedArchive& archive_;
};

}  // namespace kivfs
