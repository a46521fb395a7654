// KzipEntry: one open entry stream of a kzip archive, stored or deflated.
//
// Its results follow zziplib's for the same entry at every step, damage
// included: reads of the asked length cut to what is left of the entry;
// stored bytes copied straight from the archive (an early 0 where the data
// runs past the archive); deflated data read in pieces of at most 32 KiB
// and inflated raw (zlib, window bits -15) into the caller's buffer, an
// inflate that reaches the stream's end counting the entry as read whole;
// seeks as EntryReader states them.
#pragma once

#include <cstdint>
#include <memory>

#include <zlib.h>

#include "zip/ArchiveReader.h"
#include "zip/kzip/KzipDirectory.h"

namespace kivfs {

class KzipEntry : public EntryReader {
  public:
    // Opens entry `index` of `directory`: its local header must lie within
    // the archive and carry its signature. Null when it does not, or the
    // entry is neither stored nor deflated.
    static std::unique_ptr<KzipEntry> Open(std::shared_ptr<KzipDirectory> directory,
                                           std::size_t index);
    ~KzipEntry() override;
    KzipEntry(const KzipEntry&) = delete;
    KzipEntry& operator=(const KzipEntry&) = delete;

    std::int64_t Read(void* buffer, std::size_t length) override;
    std::int64_t Seek(std::int64_t offset, int whence) override;
    std::int64_t Tell() override {
        return std::int64_t{entry_.size} - static_cast<std::int64_t>(left_);
    }
    bool Stat(EntryStat& stat) override;

  private:
    KzipEntry(std::shared_ptr<KzipDirectory> directory, const KzipDirectory::Entry& entry)
        : directory_(std::move(directory)), entry_(entry) {}
    // Finds the data after the local header and sets up inflating; false
    // when the header is not there.
    bool Start();
    // Makes the archive file's position this stream's own.
    bool Attach();
    // Back to the entry's first byte.
    bool Rewind();
    std::int64_t ReadStored(void* buffer, std::size_t length);
    std::int64_t ReadDeflated(void* buffer, std::size_t length);

    // Never null; kept while the stream is open.
    std::shared_ptr<KzipDirectory> directory_;
    KzipDirectory::Entry entry_;
    // Where the entry's data starts in the archive file.
    std::int64_t dataStart_ = 0;
    // Where this stream reads next in the archive file.
    std::int64_t position_ = 0;
    // Uncompressed bytes still to come, <= entry_.size; compressed bytes
    // still to read from the archive (deflated only).
    std::uint64_t left_ = 0;
    std::uint64_t compressedLeft_ = 0;
    // Deflated only: the inflate state (set up when inflating_) and the
    // piece of compressed data it reads from.
    z_stream stream_ = {};
    bool inflating_ = false;
    std::unique_ptr<unsigned char[]> input_;
};

}  // namespace kivfs
