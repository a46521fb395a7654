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

// What the check found: the archive, or why it is refused.
struct ArchiveCheck {
    // Set exactly when the archive is accepted.
    std::optional<CheckedArchive> archive;
    // KIVFS_OK when accepted, and for a file that is no archive at all (no
    // end record, and it does not start like an archive either), which the
    // store may then take; else KIVFS_ERR_UNSUPPORTED for zip64 or no
    // entries, KIVFS_ERR_CORRUPT for damage, KIVFS_ERR_IO when the file was
    // cut short under the mapping while it was read.
    int cause;
};

class ArchiveValidator {
  public:
    // Reads the archive through `archive`'s copies.
    explicit ArchiveValidator(const MappedArchive& archive)
        : archive_(archive), faultsBefore_(archive.Faults()) {}

    // The archive's length and its central entries, or why it is refused.
    // Nothing is noted: the caller weighs the cause against other kinds'.
    ArchiveCheck Check() const;

  private:
    // Where the end record zziplib would take starts; nothing when there is
    // none near the end (*cause left as it is), or the last record there is
    // not a whole end record (*cause says why it is refused).
    std::optional<std::uint32_t> FindEndRecord(int* cause) const;
    // Whether a zip64 end-record locator lies right before the end record.
    bool HasZip64Locator(std::uint32_t endRecord) const;
    // Reads the `entries` central headers of the directory at
    // [offset, offset + size) into `checked`: KIVFS_OK, or why not when they
    // do not follow each other within it or more follow them.
    int ReadCentralDirectory(std::uint32_t offset, std::uint32_t size, std::uint16_t entries,
                             CheckedArchive& checked) const;
    // The cause of a read of the archive that came up short: an I/O fault
    // when the file was cut short under the mapping since the check began,
    // else damage (a record reaching past the end).
    int Damage() const;

    const MappedArchive& archive_;
    // archive_.Faults() when the check began.
    std::uint32_t faultsBefore_;
};

}  // namespace kivfs
