#include "zip/kzip/KzipDirectory.h"

#include <algorithm>
#include <cstring>

#include "zip/ZipFormat.h"

namespace kivfs {

namespace {

using namespace zipformat;

// Copies `length` bytes at `offset` of the file through the handlers.
bool ReadAt(const KzipIo& io, int handle, std::int64_t offset, void* buffer, std::size_t length) {
    if (io.seeks(handle, offset, 0) != offset) return false;
    return io.read(handle, buffer, length) == static_cast<std::int64_t>(length);
}

}  // namespace

// The directory is read in one piece: one copy instead of one per header.
std::shared_ptr<KzipDirectory> KzipDirectory::Open(int handle, const KzipIo& io) {
    std::shared_ptr<KzipDirectory> directory(new KzipDirectory(handle, io));
    const std::int64_t fileSize = io.filesize(handle);
    if (fileSize < kEndRecordSize) return nullptr;
    const std::int64_t end = directory->FindEndRecord(fileSize);
    if (end < 0) return nullptr;
    unsigned char record[kEndRecordSize - kSignatureTail];
    if (!ReadAt(io, handle, end, record, sizeof record)) return nullptr;
    const std::uint16_t count = U16(record + kEndEntriesHere);
    const std::uint32_t size = U32(record + kEndDirectorySize);
    const std::uint32_t offset = U32(record + kEndDirectoryOffset);
    if (count == 0 || size == 0 || std::int64_t{offset} + size > end) return nullptr;
    std::vector<unsigned char> central(size);
    if (!ReadAt(io, handle, offset, central.data(), central.size())) return nullptr;
    if (!directory->ParseEntries(central, count)) return nullptr;
    return directory;
}

// The last owner closes the file: the archive and every stream hold one.
KzipDirectory::~KzipDirectory() {
    io_.close(handle_);
}

// Names are laid out in entry order, so their offsets are sorted.
std::size_t KzipDirectory::IndexOf(const char* name) const {
    if (name < names_.data() || name >= names_.data() + names_.size()) return Count();
    const auto offset = static_cast<std::uint32_t>(name - names_.data());
    const auto found = std::lower_bound(
        entries_.begin(), entries_.end(), offset,
        [](const Entry& entry, std::uint32_t wanted) { return entry.name < wanted; });
    if (found == entries_.end() || found->name != offset) return Count();
    return static_cast<std::size_t>(found - entries_.begin());
}

// Backwards from the end, as zziplib scans: the first end-record signature
// whose record, but for its comment length, fits in the file; a zip64 end
// record met first refuses the archive, as zziplib cannot read one.
std::int64_t KzipDirectory::FindEndRecord(std::int64_t fileSize) const {
    const std::int64_t first = fileSize - std::min<std::int64_t>(fileSize, kEndSearch);
    std::vector<unsigned char> tail(static_cast<std::size_t>(fileSize - first));
    if (!ReadAt(io_, handle_, first, tail.data(), tail.size())) return -1;
    for (std::int64_t at = fileSize - (kEndRecordSize - kSignatureTail) + 1; at-- > first;) {
        const unsigned char* bytes = tail.data() + (at - first);
        if (HasSignature(bytes, kEndSignature)) return at;
        if (at + kZip64EndRecordSize - kSignatureTail <= fileSize &&
            HasSignature(bytes, kZip64EndSignature)) {
            return -1;
        }
    }
    return -1;
}

// Each header with its variable fields must lie within the directory.
bool KzipDirectory::ParseEntries(const std::vector<unsigned char>& directory, std::uint32_t count) {
    entries_.reserve(count);
    std::size_t nameBytes = 0;
    std::uint64_t at = 0;
    for (std::uint32_t entry = 0; entry < count; ++entry) {
        if (at + kCentralHeaderSize > directory.size()) return false;
        const unsigned char* header = directory.data() + at;
        if (!HasSignature(header, kCentralSignature)) return false;
        const std::uint16_t nameLength = U16(header + kCentralNameLength);
        at += kCentralHeaderSize + std::uint64_t{nameLength} + U16(header + kCentralExtraLength) +
              U16(header + kCentralCommentLength);
        if (at > directory.size()) return false;
        entries_.push_back(Entry{U32(header + kCentralSize), U32(header + kCentralCompressedSize),
                                 U32(header + kCentralLocalHeader),
                                 static_cast<std::uint32_t>(nameBytes),
                                 U16(header + kCentralMethod)});
        nameBytes += nameLength + 1u;
    }
    // The names are copied once all headers are known, so the text buffer
    // is allocated once.
    names_.resize(nameBytes);
    at = 0;
    for (const Entry& entry : entries_) {
        const unsigned char* header = directory.data() + at;
        const std::uint16_t nameLength = U16(header + kCentralNameLength);
        std::memcpy(names_.data() + entry.name, header + kCentralHeaderSize, nameLength);
        names_[entry.name + nameLength] = '\0';
        at += kCentralHeaderSize + std::uint64_t{nameLength} + U16(header + kCentralExtraLength) +
              U16(header + kCentralCommentLength);
    }
    return true;
}

}  // namespace kivfs
