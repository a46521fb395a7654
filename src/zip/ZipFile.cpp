#include "zip/ZipFile.h"

#include <algorithm>
#include <cstdio>

#include "backend/Failure.h"
#include "kivfs.h"
#include "zip/Crc32.h"

namespace kivfs {

namespace {

// The entry's uncompressed size, as the reader read it from the central
// header.
int EntrySize(EntryReader& entry) {
    EntryStat stat = {};
    entry.Stat(stat);
    return stat.size;
}

}  // namespace

ZipFile::ZipFile(std::unique_ptr<EntryReader> entry, std::uint32_t expectedCrc,
                 const MappedArchive* mapped, DirectStoredRead direct)
    : entry_(std::move(entry)),
      mapped_(mapped),
      direct_(direct),
      size_(EntrySize(*entry_)),
      expectedCrc_(expectedCrc) {}

// The readers report a stored entry whose data runs past the end of the archive
// as an early end (0), and when deflate data ends before the entry's size it
// moves the offset to the end past bytes it never produced. Either way the
// entry yields fewer bytes than its size: a damaged archive, told apart by
// the offset, and reported as the read error it is rather than as a clean
// end after a short content. A read at offset 0 starts a new pass of the
// CRC-32 check, and with it a new chance for an entry once found damaged
// (the archive file may have been replaced under a fault).
int ZipFile::Read(void* buffer, int length) {
    if (length <= 0) return 0;
    const int before = Tell();
    if (before == 0) {
        crc_ = 0;
        checked_ = 0;
        corrupt_ = false;
    }
    if (corrupt_) {
        NoteFailure(KIVFS_ERR_CORRUPT);
        return -1;
    }
    const std::uint32_t faults = mapped_->Faults();
    const std::int64_t count = direct_.Serves(length)
                                   ? ReadDirect(buffer, length, before)
                                   : entry_->Read(buffer, static_cast<std::size_t>(length));
    if (count < 0 || Tell() - before != count || (count == 0 && Tell() < size_) ||
        !Check(buffer, before, static_cast<int>(count))) {
        NoteFailure(mapped_->Faults() != faults ? KIVFS_ERR_IO : KIVFS_ERR_CORRUPT);
        return -1;
    }
    return static_cast<int>(count);
}

// The stream is moved only after the bytes arrived, so a failed read leaves
// the offset where it was, as a failed copy in the stream does. Moving a
// stored entry's stream forward is a seek in the archive, with no copy.
std::int64_t ZipFile::ReadDirect(void* buffer, int length, int offset) {
    const int count = std::min(length, size_ - offset);
    if (count <= 0) return 0;
    if (!direct_.Read(static_cast<std::uint32_t>(offset), buffer, static_cast<std::size_t>(count)))
        return -1;
    if (entry_->Seek(offset + count, 0) != offset + count) return -1;
    return count;
}

// Reads at other offsets (after a seek) are not checked; reading on from
// where the pass stands picks it up again.
bool ZipFile::Check(const void* bytes, int offset, int count) {
    if (offset != checked_) return true;
    crc_ = UpdateCrc32(crc_, bytes, static_cast<std::size_t>(count));
    checked_ += count;
    if (checked_ < size_ || crc_ == expectedCrc_) return true;
    corrupt_ = true;
    return false;
}

int ZipFile::Tell() {
    return static_cast<int>(entry_->Tell());
}

int ZipFile::Seek(int offset, int origin) {
    return static_cast<int>(entry_->Seek(offset, origin));
}

int ZipFile::Error() {
    return corrupt_ || Tell() >= size_ ? 1 : 0;
}

}  // namespace kivfs
