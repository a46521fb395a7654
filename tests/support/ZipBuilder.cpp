#include "support/ZipBuilder.h"

#include <zlib.h>

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace kivfs_test {

namespace {

constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint16_t kVersion = 20;
constexpr std::uint16_t kDosTime = 0x6000;  // 12:00:00
constexpr std::uint16_t kDosDate = 0x5821;  // 2024-01-01
constexpr std::uint32_t kDirectoryAttribute = 0x10;

// Field offsets inside the headers, as the format lays them out.
constexpr std::size_t kLocalFlags = 6, kLocalMethod = 8, kLocalSizes = 18;
constexpr std::size_t kCentralFlags = 8, kCentralMethod = 10, kCentralSizes = 20,
                      kCentralNameLength = 28;
constexpr std::size_t kCentralLocalOffset = 42;
constexpr std::size_t kEndEntriesHere = 8, kEndEntriesTotal = 10, kEndDirectorySize = 12;
constexpr std::size_t kEndDirectoryOffset = 16;

void AppendU16(std::string& out, std::uint16_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
}

void AppendU32(std::string& out, std::uint32_t value) {
    AppendU16(out, static_cast<std::uint16_t>(value & 0xFFFF));
    AppendU16(out, static_cast<std::uint16_t>(value >> 16));
}

// Raw deflate (no zlib header), as zip entries hold it.
std::string Deflate(const std::string& content, int level) {
    z_stream stream = {};
    if (deflateInit2(&stream, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2 failed");
    }
    std::string out(deflateBound(&stream, content.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
    stream.avail_in = static_cast<uInt>(content.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    deflateEnd(&stream);
    if (result != Z_STREAM_END) throw std::runtime_error("deflate failed");
    out.resize(stream.total_out);
    return out;
}

std::uint32_t Crc32(const std::string& content) {
    return static_cast<std::uint32_t>(
        crc32_z(0, reinterpret_cast<const Bytef*>(content.data()), content.size()));
}

// The fields that a local header and a central header share, from the
// method to the name length.
void AppendCommonFields(std::string& out, std::uint16_t method, std::uint32_t crc,
                        std::uint32_t compressed, std::uint32_t size, std::size_t nameLength) {
    AppendU16(out, method);
    AppendU16(out, kDosTime);
    AppendU16(out, kDosDate);
    AppendU32(out, crc);
    AppendU32(out, compressed);
    AppendU32(out, size);
    AppendU16(out, static_cast<std::uint16_t>(nameLength));
}

}  // namespace

void ZipImage::PutU16(std::size_t at, std::uint16_t value) {
    bytes.at(at) = static_cast<char>(value & 0xFF);
    bytes.at(at + 1) = static_cast<char>(value >> 8);
}

void ZipImage::PutU32(std::size_t at, std::uint32_t value) {
    PutU16(at, static_cast<std::uint16_t>(value & 0xFFFF));
    PutU16(at + 2, static_cast<std::uint16_t>(value >> 16));
}

void ZipImage::SetEntryFlags(std::size_t entry, std::uint16_t flags) {
    PutU16(entries.at(entry).localHeader + kLocalFlags, flags);
    PutU16(entries.at(entry).centralHeader + kCentralFlags, flags);
}

void ZipImage::SetEntryMethod(std::size_t entry, std::uint16_t method) {
    PutU16(entries.at(entry).localHeader + kLocalMethod, method);
    PutU16(entries.at(entry).centralHeader + kCentralMethod, method);
}

void ZipImage::SetEntrySizes(std::size_t entry, std::uint32_t compressed,
                             std::uint32_t uncompressed) {
    for (std::size_t at : {entries.at(entry).localHeader + kLocalSizes,
                           entries.at(entry).centralHeader + kCentralSizes}) {
        PutU32(at, compressed);
        PutU32(at + 4, uncompressed);
    }
}

void ZipImage::SetEntryLocalOffset(std::size_t entry, std::uint32_t offset) {
    PutU32(entries.at(entry).centralHeader + kCentralLocalOffset, offset);
}

void ZipImage::SetEntryNameLength(std::size_t entry, std::uint16_t length) {
    PutU16(entries.at(entry).centralHeader + kCentralNameLength, length);
}

void ZipImage::SetEntryCount(std::uint16_t count) {
    PutU16(endRecord + kEndEntriesHere, count);
    PutU16(endRecord + kEndEntriesTotal, count);
}

void ZipImage::SetCentralDirectoryOffset(std::uint32_t offset) {
    PutU32(endRecord + kEndDirectoryOffset, offset);
}

void ZipImage::SetCentralDirectorySize(std::uint32_t size) {
    PutU32(endRecord + kEndDirectorySize, size);
}

void ZipImage::CorruptData(std::size_t entry) {
    const ZipEntryLayout& layout = entries.at(entry);
    bytes.replace(layout.data, layout.dataSize, layout.dataSize, '\xFF');
}

void ZipImage::Truncate(std::size_t size) {
    if (size < bytes.size()) bytes.resize(size);
}

void ZipImage::WriteTo(const std::string& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

ZipBuilder& ZipBuilder::AddFile(const std::string& name, const std::string& content,
                                ZipMethod method) {
    const bool deflated = method == ZipMethod::Deflated;
    entries_.push_back({name, static_cast<std::uint16_t>(deflated ? 8 : 0), Crc32(content),
                        static_cast<std::uint32_t>(content.size()),
                        deflated ? Deflate(content, level_) : content, false});
    return *this;
}

ZipBuilder& ZipBuilder::AddDirectory(const std::string& name) {
    const bool slashed = !name.empty() && name.back() == '/';
    entries_.push_back({slashed ? name : name + "/", 0, 0, 0, std::string(), true});
    return *this;
}

ZipBuilder& ZipBuilder::SetDeflateLevel(int level) {
    level_ = level;
    return *this;
}

ZipImage ZipBuilder::Build() const {
    ZipImage image;
    std::string& out = image.bytes;
    for (const Entry& entry : entries_) {
        ZipEntryLayout layout{entry.name, out.size(), 0, entry.data.size(), 0};
        AppendU32(out, kLocalSignature);
        AppendU16(out, kVersion);
        AppendU16(out, 0);  // flags
        AppendCommonFields(out, entry.method, entry.crc,
                           static_cast<std::uint32_t>(entry.data.size()), entry.size,
                           entry.name.size());
        AppendU16(out, 0);  // extra field length
        out += entry.name;
        layout.data = out.size();
        out += entry.data;
        image.entries.push_back(layout);
    }
    image.centralDirectory = out.size();
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const Entry& entry = entries_[i];
        image.entries[i].centralHeader = out.size();
        AppendU32(out, kCentralSignature);
        AppendU16(out, kVersion);  // made by
        AppendU16(out, kVersion);  // needed
        AppendU16(out, 0);         // flags
        AppendCommonFields(out, entry.method, entry.crc,
                           static_cast<std::uint32_t>(entry.data.size()), entry.size,
                           entry.name.size());
        AppendU16(out, 0);  // extra field length
        AppendU16(out, 0);  // comment length
        AppendU16(out, 0);  // disk
        AppendU16(out, 0);  // internal attributes
        AppendU32(out, entry.isDirectory ? kDirectoryAttribute : 0);
        AppendU32(out, static_cast<std::uint32_t>(image.entries[i].localHeader));
        out += entry.name;
    }
    image.endRecord = out.size();
    AppendU32(out, kEndSignature);
    AppendU16(out, 0);  // this disk
    AppendU16(out, 0);  // disk of the central directory
    AppendU16(out, static_cast<std::uint16_t>(entries_.size()));
    AppendU16(out, static_cast<std::uint16_t>(entries_.size()));
    AppendU32(out, static_cast<std::uint32_t>(image.endRecord - image.centralDirectory));
    AppendU32(out, static_cast<std::uint32_t>(image.centralDirectory));
    AppendU16(out, 0);  // comment length
    return image;
}

void ZipBuilder::WriteTo(const std::string& path) const {
    Build().WriteTo(path);
}

std::string SampleText(std::size_t size, unsigned seed) {
    static const char* const kWords[] = {
        "archive ", "entry ", "deflate ", "stored ", "central ", "directory ", "name ",
        "file ",    "read ",  "seek ",    "offset ", "byte ",    "the ",       "of ",
        "and ",     "a ",     "to ",      "in ",     "block\n",  "window ",    "zip "};
    std::mt19937 generator(seed);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(kWords) - 1);
    std::string text;
    text.reserve(size + 16);
    while (text.size() < size) text += kWords[pick(generator)];
    text.resize(size);
    return text;
}

}  // namespace kivfs_test
