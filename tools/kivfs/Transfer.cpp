#include "Transfer.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "ToolError.h"

namespace kivfs_tool {

namespace {

constexpr std::size_t kChunk = 256 * 1024;
// The library counts positions and lengths in signed 32-bit integers.
constexpr std::uint64_t kMaxFileSize = INT_MAX;

}  // namespace

ChunkSink StreamSink(std::ostream& out, const std::string& outName) {
    return [&out, outName](const char* data, std::size_t size) {
        out.write(data, static_cast<std::streamsize>(size));
        if (!out) throw ToolError("cannot write " + Quoted(outName) + ": write failed");
    };
}

// A read of 0 bytes ends the file only when the file says it is at its end;
// otherwise (a damaged archive, a store that cannot be read) it is an error,
// as is any negative count.
void ReadToEnd(FileHandle* file, const Container& source, const std::string& name,
               const ChunkSink& sink, Progress& progress) {
    std::vector<char> buffer(kChunk);
    for (;;) {
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
                                 std::uint64_t sizeHint)
    : container_(container),
      isStore_(container.kind() == ContainerKind::Store),
      where_(container.Display(name)) {
    if (container.kind() == ContainerKind::ZipArchive) {
        throw ToolError("cannot write " + Quoted(where_) + ": zip archives are read only");
    }
    if (sizeHint > kMaxFileSize) {
        throw ToolError("cannot write " + Quoted(where_) + ": larger than 2 GiB");
    }
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
    const std::uint64_t target = std::min(std::max(size, reserved_ * 2), kMaxFileSize);
    if (!kivfsResize(file_.get(), static_cast<unsigned int>(target))) {
        throw Failed("the store refused the write");
    }
    reserved_ = target;
}

void ContainerWriter::Write(const char* data, std::size_t size) {
    if (written_ + size > kMaxFileSize) {
        throw ToolError("cannot write " + Quoted(where_) + ": larger than 2 GiB");
    }
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

ToolError ContainerWriter::Failed(const std::string& fallback) const {
    return container_.Failure("cannot write " + Quoted(where_), fallback);
}

void CopyStream(std::istream& in, const std::string& inName, ContainerWriter& writer,
                Progress& progress) {
    std::vector<char> buffer(kChunk);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const std::streamsize count = in.gcount();
        if (count <= 0) break;
        writer.Write(buffer.data(), static_cast<std::size_t>(count));
        progress.AddBytes(static_cast<std::uint64_t>(count));
    }
    if (in.bad()) throw ToolError("cannot read " + Quoted(inName) + ": read failed");
}

}  // namespace kivfs_tool
