#include "zip/ArchiveValidator.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace kivfs {

namespace {

constexpr unsigned char kEndSignature[] = {'P', 'K', 5, 6};
constexpr unsigned char kZip64EndSignature[] = {'P', 'K', 6, 6};
constexpr unsigned char kCentralSignature[] = {'P', 'K', 1, 2};

// Record sizes, and where the fields read here lie in them.
constexpr std::uint32_t kEndRecordSize = 22;
constexpr std::uint32_t kZip64EndRecordSize = 56;
constexpr std::uint32_t kCentralHeaderSize = 46;
constexpr std::uint32_t kEndEntriesHere = 8, kEndDirectorySize = 12, kEndDirectoryOffset = 16;
constexpr std::uint32_t kCentralNameLength = 28;
// How much of the central directory is read at once.
constexpr std::uint64_t kWindow = 64 * 1024;

// zziplib takes a signature as a record once all but the record's last two
// bytes fit in the file, and takes the first one it meets going back from
// the end. An end record lies at most its size and the longest comment from
// the end; past that zziplib searches a little further, but how far depends
// on how it reads the file, so a record only found there is not accepted.
constexpr std::uint32_t kSignatureTail = 2;
constexpr std::uint32_t kEndSearch = kEndRecordSize + 0xFFFF;

// Little-endian fields, as the format stores them.
std::uint16_t U16(const unsigned char* at) {
    return static_cast<std::uint16_t>(at[0] | at[1] << 8);
}

std::uint32_t U32(const unsigned char* at) {
    return U16(at) | static_cast<std::uint32_t>(U16(at + 2)) << 16;
}

// Whether the four bytes at `at` are the record signature.
bool HasSignature(const unsigned char* at, const unsigned char (&signature)[4]) {
    return std::memcmp(at, signature, sizeof signature) == 0;
}

}  // namespace

// The end record zziplib would take, then the directory it names; what the
// archive needs ends with that record.
std::optional<std::uint32_t> ArchiveValidator::Check() const {
    const std::optional<std::uint32_t> end = FindEndRecord();
    if (!end) return std::nullopt;
    unsigned char record[kEndRecordSize];
    if (!archive_.CopyAt(*end, record, sizeof record)) return std::nullopt;
    // zziplib reads the entries of this disk, and refuses an archive of none.
    const std::uint16_t entries = U16(record + kEndEntriesHere);
    const std::uint32_t size = U32(record + kEndDirectorySize);
    const std::uint32_t offset = U32(record + kEndDirectoryOffset);
    if (entries == 0) return std::nullopt;
    // The directory lies before the end record; zziplib would otherwise move
    // it to end right there, and read whatever is there.
    if (std::uint64_t{offset} + size > *end) return std::nullopt;
    if (!CentralDirectoryHolds(offset, size, entries)) return std::nullopt;
    return *end + kEndRecordSize;
}

// The tail of the file is scanned backwards as zziplib scans it. The record
// taken must be an end record (not a zip64 one, which zziplib cannot use for
// an archive it could open) and whole.
std::optional<std::uint32_t> ArchiveValidator::FindEndRecord() const {
    const std::uint32_t fileSize = static_cast<std::uint32_t>(archive_.Size());
    if (fileSize < kEndRecordSize) return std::nullopt;
    const std::uint32_t first = fileSize - std::min(fileSize, kEndSearch);
    std::vector<unsigned char> tail(fileSize - first);
    if (!archive_.CopyAt(first, tail.data(), tail.size())) return std::nullopt;
    for (std::uint32_t at = fileSize - (kEndRecordSize - kSignatureTail) + 1; at-- > first;) {
        const unsigned char* bytes = tail.data() + (at - first);
        if (HasSignature(bytes, kEndSignature)) {
            if (at + kEndRecordSize > fileSize) return std::nullopt;
            return at;
        }
        if (at + kZip64EndRecordSize - kSignatureTail <= fileSize &&
            HasSignature(bytes, kZip64EndSignature)) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// Every header carries its signature, and its name, extra field and comment
// end within the directory, so that zziplib, which walks the same headers,
// never reads a name past them. The directory is read in windows of up to
// 64 KiB rather than header by header: one copy serves a thousand entries.
bool ArchiveValidator::CentralDirectoryHolds(std::uint32_t offset, std::uint32_t size,
                                             std::uint16_t entries) const {
    const std::uint64_t end = std::uint64_t{offset} + size;
    std::vector<unsigned char> window;
    std::uint64_t windowStart = 0;
    std::uint64_t at = offset;
    for (std::uint16_t entry = 0; entry < entries; ++entry) {
        if (at + kCentralHeaderSize > end) return false;
        if (at < windowStart || at + kCentralHeaderSize > windowStart + window.size()) {
            windowStart = at;
            window.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, end - at)));
            if (!archive_.CopyAt(static_cast<std::uint32_t>(at), window.data(), window.size())) {
                return false;
            }
        }
        const unsigned char* header = window.data() + (at - windowStart);
        if (!HasSignature(header, kCentralSignature)) return false;
        const std::uint64_t variable = std::uint64_t{U16(header + kCentralNameLength)} +
                                       U16(header + kCentralNameLength + 2) +
                                       U16(header + kCentralNameLength + 4);
        at += kCentralHeaderSize + variable;
        if (at > end) return false;
    }
    return true;
}

}  // namespace kivfs
