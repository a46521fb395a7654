#include "zip/ArchiveValidator.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "kivfs.h"
#include "zip/ZipFormat.h"

namespace kivfs {

namespace {

using namespace zipformat;

// Record sizes beyond the shared ones.
constexpr std::uint32_t kZip64LocatorSize = 20;
// How much of the central directory is read at once.
constexpr std::uint64_t kWindow = 64 * 1024;
// A count or an offset at its largest value defers to the zip64 end record;
// a count may also simply be that large.
constexpr std::uint16_t kCountLimit = 0xFFFF;
constexpr std::uint32_t kZip64Marker = 0xFFFFFFFF;

// zziplib takes a signature as a record once all but the record's last two
// bytes fit in the file, and takes the first one it meets going back from
// the end. An end record lies at most its size and the longest comment from
// the end; past that zziplib searches a little further, but how far depends
// on how it reads the file, so a record only found there is not accepted.

// A refusal of the archive for `cause`.
ArchiveCheck Refused(int cause) {
    return ArchiveCheck{std::nullopt, cause};
}

}  // namespace

// The end record zziplib would take, then the directory it names; what the
// archive needs ends with that record.
ArchiveCheck ArchiveValidator::Check() const {
    int cause = KIVFS_OK;
    const std::optional<std::uint32_t> end = FindEndRecord(&cause);
    if (!end) {
        if (cause != KIVFS_OK) return Refused(cause);
        if (archive_.Faults() != faultsBefore_) return Refused(KIVFS_ERR_IO);
        // An archive cut short before its end record still starts with the
        // local header of its first entry.
        unsigned char start[4];
        if (!archive_.CopyAt(0, start, sizeof start)) {
            return Refused(archive_.Faults() != faultsBefore_ ? KIVFS_ERR_IO : KIVFS_OK);
        }
        return Refused(HasSignature(start, kLocalSignature) ? KIVFS_ERR_CORRUPT : KIVFS_OK);
    }
    unsigned char record[kEndRecordSize];
    if (!archive_.CopyAt(*end, record, sizeof record)) return Refused(Damage());
    // zziplib reads the entries of this disk, and refuses an archive of none.
    const std::uint16_t entries = U16(record + kEndEntriesHere);
    const std::uint32_t size = U32(record + kEndDirectorySize);
    const std::uint32_t offset = U32(record + kEndDirectoryOffset);
    if (HasZip64Locator(*end) || size == kZip64Marker || offset == kZip64Marker) {
        return Refused(KIVFS_ERR_UNSUPPORTED);
    }
    if (entries == 0) return Refused(KIVFS_ERR_UNSUPPORTED);
    // The directory lies before the end record; zziplib would otherwise move
    // it to end right there, and read whatever is there.
    if (std::uint64_t{offset} + size > *end) return Refused(KIVFS_ERR_CORRUPT);
    CheckedArchive checked{*end + kEndRecordSize, {}};
    cause = ReadCentralDirectory(offset, size, entries, checked);
    if (cause != KIVFS_OK) return Refused(cause);
    return ArchiveCheck{std::move(checked), KIVFS_OK};
}

// The tail of the file is scanned backwards as zziplib scans it. The record
// taken must be an end record (not a zip64 one, which zziplib cannot use for
// an archive it could open) and whole.
std::optional<std::uint32_t> ArchiveValidator::FindEndRecord(int* cause) const {
    const std::uint32_t fileSize = static_cast<std::uint32_t>(archive_.Size());
    if (fileSize < kEndRecordSize) return std::nullopt;
    const std::uint32_t first = fileSize - std::min(fileSize, kEndSearch);
    std::vector<unsigned char> tail(fileSize - first);
    if (!archive_.CopyAt(first, tail.data(), tail.size())) return std::nullopt;
    for (std::uint32_t at = fileSize - (kEndRecordSize - kSignatureTail) + 1; at-- > first;) {
        const unsigned char* bytes = tail.data() + (at - first);
        if (HasSignature(bytes, kEndSignature)) {
            if (at + kEndRecordSize <= fileSize) return at;
            *cause = KIVFS_ERR_CORRUPT;
            return std::nullopt;
        }
        if (at + kZip64EndRecordSize - kSignatureTail <= fileSize &&
            HasSignature(bytes, kZip64EndSignature)) {
            *cause = KIVFS_ERR_UNSUPPORTED;
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// Every writer puts the locator immediately before the classic end record;
// its presence says the classic record's counts and offsets may be cut down.
bool ArchiveValidator::HasZip64Locator(std::uint32_t endRecord) const {
    unsigned char signature[4];
    return endRecord >= kZip64LocatorSize &&
           archive_.CopyAt(endRecord - kZip64LocatorSize, signature, sizeof signature) &&
           HasSignature(signature, kZip64LocatorSignature);
}

// Every header carries its signature, and its name, extra field and comment
// end within the directory, so that zziplib, which walks the same headers,
// never reads a name past them. Another header right after the counted ones
// means the count is short: zziplib would serve only the counted entries (a
// count of 65535 is where a writer without zip64 records stops counting).
// The directory is read in windows of up to 64 KiB rather than header by
// header: one copy serves a thousand entries.
int ArchiveValidator::ReadCentralDirectory(std::uint32_t offset, std::uint32_t size,
                                           std::uint16_t entries, CheckedArchive& checked) const {
    const std::uint64_t end = std::uint64_t{offset} + size;
    std::vector<unsigned char> window;
    std::uint64_t windowStart = 0;
    std::uint64_t at = offset;
    checked.entries.reserve(entries);
    for (std::uint16_t entry = 0; entry < entries; ++entry) {
        if (at + kCentralHeaderSize > end) return KIVFS_ERR_CORRUPT;
        if (at < windowStart || at + kCentralHeaderSize > windowStart + window.size()) {
            windowStart = at;
            window.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, end - at)));
            if (!archive_.CopyAt(static_cast<std::uint32_t>(at), window.data(), window.size())) {
                return Damage();
            }
        }
        const unsigned char* header = window.data() + (at - windowStart);
        if (!HasSignature(header, kCentralSignature)) return KIVFS_ERR_CORRUPT;
        checked.entries.push_back({U32(header + kCentralCrc), U16(header + kCentralFlags),
                                   U16(header + kCentralMethod),
                                   U32(header + kCentralLocalHeader)});
        const std::uint64_t variable = std::uint64_t{U16(header + kCentralNameLength)} +
                                       U16(header + kCentralNameLength + 2) +
                                       U16(header + kCentralNameLength + 4);
        at += kCentralHeaderSize + variable;
        if (at > end) return KIVFS_ERR_CORRUPT;
    }
    unsigned char next[4];
    if (at + sizeof next <= checked.length - kEndRecordSize &&
        archive_.CopyAt(static_cast<std::uint32_t>(at), next, sizeof next) &&
        HasSignature(next, kCentralSignature)) {
        return entries != kCountLimit ? KIVFS_ERR_CORRUPT : KIVFS_ERR_UNSUPPORTED;
    }
    return KIVFS_OK;
}

int ArchiveValidator::Damage() const {
    return archive_.Faults() != faultsBefore_ ? KIVFS_ERR_IO : KIVFS_ERR_CORRUPT;
}

}  // namespace kivfs
