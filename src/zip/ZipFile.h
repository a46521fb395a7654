// ZipFile: one entry of a zip archive, open for reading.
//
// It yields the entry's uncompressed bytes whether the entry is stored or
// deflated; the reader copies or inflates them piece by piece through the
// mapped handlers, except large reads of a stored entry, which come straight
// from the archive file (DirectStoredRead) while the stream is moved past
// them. The open entry counts as an open stream of its archive,
// which keeps the archive (and its mapping) alive until the file is closed,
// even after its ZipFs is gone.
//
// Bytes read in order from the entry's start to its end are checked against
// the entry's CRC-32: on a mismatch the read that reaches the end fails
// instead of returning its count. Bytes handed out before cannot be
// recalled; what a host learns is that the entry as a whole is damaged.
#pragma once

#include <cstdint>

#include <memory>

#include "backend/Failure.h"
#include "backend/FsFile.h"
#include "kivfs.h"
#include "zip/ArchiveReader.h"
#include "zip/DirectStoredRead.h"

namespace kivfs {

class ZipFile : public FsFile {
  public:
    // Takes ownership of an open entry stream (never null), whose bytes have
    // the CRC-32 `expectedCrc` and come from `mapped` (borrowed, never null,
    // alive as long as the stream); `direct` serves its large reads when the
    // entry is stored.
    ZipFile(std::unique_ptr<EntryReader> entry, std::uint32_t expectedCrc,
            const MappedArchive* mapped, DirectStoredRead direct = {});
    // Closes the stream; the last stream of an archive whose ZipFs is gone
    // also frees the archive.
    ~ZipFile() override = default;

    // Uncompressed bytes: the count, 0 at the end or for a length that is not
    // positive, -1 when the archive cannot be read or its data is corrupt
    // (a CRC-32 mismatch included; every read fails then until one starts
    // again from offset 0).
    int Read(void* buffer, int length) override;
    // Archives are read only: writes nothing and returns 0 (READ_ONLY).
    int Write(const void*, int) override { return ReadOnly(0); }
    // The offset in the uncompressed bytes.
    int Tell() override;
    // The new offset, or -1. A target past the end leaves the offset where it
    // was; a target before the start leaves it at 0. Moving back in a
    // deflated entry inflates again from its start.
    int Seek(int offset, int origin) override;
    // 1 when the offset is at or past the entry's uncompressed size, or the
    // entry failed its CRC-32 check.
    int Error() override;
    // Archives are read only: false (READ_ONLY).
    bool Resize(unsigned int) override { return ReadOnly(false); }

  private:
    // Notes that the entry cannot be written and gives `failure`.
    template <typename Result>
    static Result ReadOnly(Result failure) {
        NoteFailure(KIVFS_ERR_READ_ONLY);
        return failure;
    }
    // Serves a read of `length` bytes at `offset` through direct_ and moves
    // the stream past them: the count (0 at the end), or -1.
    std::int64_t ReadDirect(void* buffer, int length, int offset);
    // Extends the check by the `count` bytes read at `offset` when they
    // continue the pass in order from the start; false when that pass has now
    // reached the end with the wrong CRC-32.
    bool Check(const void* bytes, int offset, int count);

    // Never null.
    std::unique_ptr<EntryReader> entry_;
    // Never null; asked whether a failed read met an I/O fault of the file.
    const MappedArchive* mapped_;
    // Serves nothing unless the entry is stored.
    DirectStoredRead direct_;
    // The entry's uncompressed size, >= 0 (ZipFs opens no other entry).
    int size_;
    std::uint32_t expectedCrc_;
    // The CRC-32 of the entry's first checked_ bytes, read in order from the
    // start since the last read at offset 0; 0 <= checked_ <= size_.
    std::uint32_t crc_ = 0;
    int checked_ = 0;
    // Set when a pass ended with the wrong CRC-32, until a read at offset 0.
    bool corrupt_ = false;
};

}  // namespace kivfs
