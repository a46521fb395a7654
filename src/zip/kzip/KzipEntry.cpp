#include "zip/kzip/KzipEntry.h"

#include <algorithm>

#include "zip/ZipFormat.h"

namespace kivfs {

namespace {

using namespace zipformat;

constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kDeflated = 8;
// The largest piece of compressed data read at once, and of bytes inflated
// and dropped by a forward seek.
constexpr std::size_t kPiece = 32 * 1024;
constexpr int kFromStart = 0, kFromHere = 1, kFromEnd = 2;

}  // namespace

// The method is checked first, as zziplib refuses other methods before it
// reads the local header.
std::unique_ptr<KzipEntry> KzipEntry::Open(std::shared_ptr<KzipDirectory> directory,
                                           std::size_t index) {
    const KzipDirectory::Entry& entry = directory->At(index);
    if (entry.method != kStored && entry.method != kDeflated) return nullptr;
    std::unique_ptr<KzipEntry> stream(new KzipEntry(std::move(directory), entry));
    if (!stream->Start()) return nullptr;
    return stream;
}

// The archive forgets a stream that goes, so that no later one is taken for
// it.
KzipEntry::~KzipEntry() {
    if (inflating_) inflateEnd(&stream_);
    if (directory_->current == this) directory_->current = nullptr;
}

// The local header's own name and extra field lengths say where the data
// starts; they may differ from the central header's.
bool KzipEntry::Start() {
    const KzipIo& io = directory_->Io();
    const int handle = directory_->Handle();
    directory_->current = this;
    if (io.seeks(handle, entry_.localHeader, kFromStart) < 0) return false;
    unsigned char header[kLocalHeaderSize];
    if (io.read(handle, header, sizeof header) < static_cast<std::int64_t>(sizeof header)) {
        return false;
    }
    if (!HasSignature(header, kLocalSignature)) return false;
    const int tail = U16(header + kLocalNameLength) + U16(header + kLocalExtraLength);
    dataStart_ = io.seeks(handle, tail, kFromHere);
    if (dataStart_ < 0) return false;
    position_ = dataStart_;
    left_ = entry_.size;
    if (entry_.method == kDeflated) {
        input_.reset(new unsigned char[kPiece]);
        if (inflateInit2(&stream_, -MAX_WBITS) != Z_OK) return false;
        inflating_ = true;
        compressedLeft_ = entry_.compressedSize;
    }
    return true;
}

// Streams share the file's one read position: the stream that read last
// holds it, any other seeks back to where it stopped.
bool KzipEntry::Attach() {
    if (directory_->current == this) return true;
    if (directory_->Io().seeks(directory_->Handle(), position_, kFromStart) < 0) return false;
    directory_->current = this;
    return true;
}

// Deflated data is inflated again from its start, with a fresh piece read
// at the next read.
bool KzipEntry::Rewind() {
    directory_->current = this;
    if (directory_->Io().seeks(directory_->Handle(), dataStart_, kFromStart) < 0) return false;
    position_ = dataStart_;
    left_ = entry_.size;
    if (inflating_) {
        if (inflateReset(&stream_) != Z_OK) return false;
        stream_.avail_in = 0;
        compressedLeft_ = entry_.compressedSize;
    }
    return true;
}

// No more than what is left of the entry is asked for, whatever the method.
std::int64_t KzipEntry::Read(void* buffer, std::size_t length) {
    if (left_ == 0) return 0;
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(left_, length));
    if (!Attach()) return -1;
    return inflating_ ? ReadDeflated(buffer, count) : ReadStored(buffer, count);
}

// A short copy (the data runs past the archive) is passed on; the next read
// then gives 0 before the entry's end.
std::int64_t KzipEntry::ReadStored(void* buffer, std::size_t length) {
    const std::int64_t copied = directory_->Io().read(directory_->Handle(), buffer, length);
    if (copied > 0) {
        left_ -= static_cast<std::uint64_t>(copied);
        position_ += copied;
    }
    return copied;
}

// Inflates until `length` bytes are out or the entry is done. Compressed data
// is read a piece at a time when inflate has used up the last; a piece that
// cannot be read, or an inflate error, fails the read (what was counted out
// by earlier rounds stays counted). The stream's end counts the entry as done
// even when it came early.
std::int64_t KzipEntry::ReadDeflated(void* buffer, std::size_t length) {
    const KzipIo& io = directory_->Io();
    stream_.next_out = static_cast<Bytef*>(buffer);
    stream_.avail_out = static_cast<uInt>(length);
    do {
        if (compressedLeft_ > 0 && stream_.avail_in == 0) {
            const std::size_t piece =
                static_cast<std::size_t>(std::min<std::uint64_t>(compressedLeft_, kPiece));
            const std::int64_t got = io.read(directory_->Handle(), input_.get(), piece);
            if (got <= 0) return -1;
            compressedLeft_ -= static_cast<std::uint64_t>(got);
            position_ += got;
            stream_.next_in = input_.get();
            stream_.avail_in = static_cast<uInt>(got);
        }
        const uLong before = stream_.total_out;
        const int result = inflate(&stream_, Z_NO_FLUSH);
        if (result == Z_STREAM_END) {
            left_ = 0;
        } else if (result == Z_OK) {
            left_ -= stream_.total_out - before;
        } else {
            return -1;
        }
    } while (left_ != 0 && stream_.avail_out != 0);
    return static_cast<std::int64_t>(length - stream_.avail_out);
}

// Backward moves rewind and go forward from the start. A stored entry moves
// by one seek in the archive, which fails for a target past the archive's
// end; a deflated one inflates the bytes in between and drops them.
std::int64_t KzipEntry::Seek(std::int64_t offset, int whence) {
    std::int64_t here = Tell();
    std::int64_t move;
    switch (whence) {
        case kFromStart:
            move = offset - here;
            break;
        case kFromHere:
            move = offset;
            break;
        case kFromEnd:
            move = std::int64_t{entry_.size} + offset - here;
            break;
        default:
            return -1;
    }
    if (move == 0) return here;
    if (move < 0) {
        if (!Rewind()) return -1;
        move += here;
        here = 0;
    }
    if (move < 0 || move + here > std::int64_t{entry_.size}) return -1;
    if (move == 0) return here;
    if (!Attach()) return -1;
    if (!inflating_) {
        const std::int64_t moved =
            directory_->Io().seeks(directory_->Handle(), position_ + move, kFromStart);
        if (moved < 0) return -1;
        position_ = moved;
        left_ = entry_.size - static_cast<std::uint64_t>(moved - dataStart_);
        return moved - dataStart_;
    }
    const std::unique_ptr<unsigned char[]> dropped(new unsigned char[kPiece]);
    while (move > 0) {
        const auto piece = static_cast<std::size_t>(std::min<std::int64_t>(move, kPiece));
        const std::int64_t got = Read(dropped.get(), piece);
        if (got <= 0) return -1;
        move -= got;
    }
    return Tell();
}

// The central header's values, in the ints the backend takes them as.
bool KzipEntry::Stat(EntryStat& stat) {
    stat = EntryStat{entry_.method, static_cast<int>(entry_.compressedSize),
                     static_cast<int>(entry_.size)};
    return true;
}

}  // namespace kivfs
