#include "Transfer.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <vector>

#include "Interrupt.h"
#include "LocalFiles.h"
#include "ToolError.h"

namespace kivfs_tool {

namespace {

constexpr std::size_t kChunk = 256 * 1024;
// The library counts positions and lengths in signed 32-bit integers.
constexpr std::uint64_t kMaxFileSize = INT_MAX;

}  // namespace

// The system's reason is read from errno, which the failed write() below
// the stream left set.
ChunkSink StreamSink(std::ostream& out, const std::string& outName) {
    return [&out, outName](const char* data, std::size_t size) {
        errno = 0;
        out.write(data, static_cast<std::streamsize>(size));
        if (!out) throw ToolError("cannot write " + outName + ": " + SystemReason(errno));
    };
}

ChunkSource StreamSource(std::istream& in, const std::string& inName) {
    return [&in, inName](char* data, std::size_t size) -> std::size_t {
        if (!in) return 0;
        errno = 0;
        in.read(data, static_cast<std::streamsize>(size));
        if (in.bad()) throw ToolError("cannot read " + Quoted(inName) + ": " + SystemReason(errno));
        return static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0));
    };
}

// A read cut short by a signal sets the stream's error flag like any
// failure; the signal is reported rather than the read.
ChunkSource StandardInputSource() {
    return [](char* data, std::size_t size) -> std::size_t {
        errno = 0;
        const std::size_t count = std::fread(data, 1, size, stdin);
        if (count == 0 && std::ferror(stdin)) {
            const int error = errno;
            ThrowIfInterrupted();
            throw ToolError("cannot read standard input: " + SystemReason(error));
        }
        return count;
    };
}

// A read of 0 bytes ends the file only when the file says it is at its end;
// otherwise (a damaged archive, a store that cannot be read) it is an error,
// as is any negative count.
void ReadToEnd(FileHandle* file, const Container& source, const std::string& name,
               const ChunkSink& sink, Progress& progress) {
    std::vector<char> buffer(kChunk);
    for (;;) {
        ThrowIfInterrupted();
        const int count = kivfsRead(file, buffer.data(), static_cast<int>(buffer.size()));
        if (count < 0 || (count == 0 && !kivfsError(file))) {
            throw source.Failure("cannot read " + Quoted(source.Display(name)), "read failed");
        }
        if (count == 0) return;
        sink(buffer.data(), static_cast<std::size_t>(count));
        progress.AddBytes(static_cast<std::uint64_t>(count));
    }
}

// A store ignores the open mode and keeps existing bytes, so it is emptied
// (or sized to the hint) by a resize; a real file opened with "wb" is
// truncated and its missing folders are created by the library.
ContainerWriter::ContainerWriter(const Container& container, const std::string& name,
                                 std::uint64_t sizeHint, const std::string& shownName)
    : container_(container),
      isStore_(container.kind() == ContainerKind::Store),
      where_(container.Display(shownName.empty() ? name : shownName)) {
    if (container.kind() == ContainerKind::ZipArchive) {
        throw ToolError("cannot write " + Quoted(where_) + ": zip archives are read only");
    }
    if (sizeHint > kMaxFileSize) throw TooLarge();
    file_.reset(kivfsCreateFileIndir(container.handle(), name.c_str(), 1));
    if (!file_) throw Failed("cannot create the file");
    if (isStore_) {
        if (!kivfsResize(file_.get(), static_cast<unsigned int>(sizeHint))) {
            throw Failed("the store refused the write");
        }
        reserved_ = sizeHint;
    }
}

// Doubling the reserved length keeps the total cost of the resizes within
// a small multiple of the final size.
void ContainerWriter::Reserve(std::uint64_t size) {
    if (!isStore_ || size <= reserved_) return;
    std::uint64_t target = std::min(std::max(size, reserved_ * 2), kMaxFileSize);
    bool resized = kivfsResize(file_.get(), static_cast<unsigned int>(target));
    // The doubled length may pass the store's limit where `size` does not.
    if (!resized && target > size && kivfsLastError() == KIVFS_ERR_ARGUMENT) {
        target = size;
        resized = kivfsResize(file_.get(), static_cast<unsigned int>(target));
    }
    if (!resized) throw Failed("the store refused the write");
    reserved_ = target;
}

void ContainerWriter::Write(const char* data, std::size_t size) {
    if (written_ + size > kMaxFileSize) throw TooLarge();
    Reserve(written_ + size);
    const int count = kivfsWrite(file_.get(), data, static_cast<int>(size));
    if (count != static_cast<int>(size)) throw Failed("write failed");
    written_ += size;
}

void ContainerWriter::Finish() {
    if (isStore_ && reserved_ != written_ &&
        !kivfsResize(file_.get(), static_cast<unsigned int>(written_))) {
        throw Failed("the store refused the write");
    }
    file_.reset();
}

// A store refuses a length past SQLite's limit as an invalid argument.
ToolError ContainerWriter::Failed(const std::string& fallback) const {
    if (isStore_ && kivfsLastError() == KIVFS_ERR_ARGUMENT) return TooLarge();
    return container_.Failure("cannot write " + Quoted(where_), fallback);
}

// Positions and lengths are signed 32-bit in the library, and a store holds
// no more than SQLite's length limit.
ToolError ContainerWriter::TooLarge() const {
    return ToolError("cannot write " + Quoted(where_) + ": " +
                     (isStore_ ? "larger than a store file can be" : "larger than 2 GiB"));
}

void CopyStream(const ChunkSource& source, ContainerWriter& writer, Progress& progress) {
    std::vector<char> buffer(kChunk);
    for (;;) {
        ThrowIfInterrupted();
        const std::size_t count = source(buffer.data(), buffer.size());
        if (count == 0) return;
        writer.Write(buffer.data(), count);
        progress.AddBytes(static_cast<std::uint64_t>(count));
    }
}

}  // namespace kivfs_tool
