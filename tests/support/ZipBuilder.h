// Real zip archives for tests, benchmarks and fuzz seeds, built in memory
// with zlib: stored and deflated entries, explicit directory entries, any
// names (duplicates, mixed case, backslashes), and hooks that damage a built
// archive at known places.
//
//   ZipImage image = ZipBuilder()
//                        .AddFile("docs/readme.txt", "hello")
//                        .AddFile("raw.bin", bytes, ZipMethod::Stored)
//                        .AddDirectory("docs/")
//                        .Build();
//   image.CorruptData(0);
//   image.WriteTo(dir / "pack.zip");
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kivfs_test {

// How an entry's bytes are kept: method 0 or method 8 (raw deflate).
enum class ZipMethod { Stored, Deflated };

// Where one entry landed in a built archive; offsets index ZipImage::bytes.
struct ZipEntryLayout {
    std::string name;
    std::size_t localHeader;    // its local file header ("PK\3\4")
    std::size_t data;           // the first byte of its stored or deflated data
    std::size_t dataSize;       // the length of that data
    std::size_t centralHeader;  // its central directory header ("PK\1\2")
};

// A built archive: its bytes, where each part lies, and ways to damage it.
// The setters patch the little-endian header fields in place; nothing else
// changes, so the archive is then exactly as damaged as asked.
struct ZipImage {
    std::string bytes;
    std::vector<ZipEntryLayout> entries;  // in central-directory order
    std::size_t centralDirectory = 0;     // offset of the first central header
    std::size_t endRecord = 0;            // offset of the end-of-central-directory record

    // The general-purpose flags (bit 0: encrypted), in both of the entry's
    // headers.
    void SetEntryFlags(std::size_t entry, std::uint16_t flags);
    // The compression method, in both of the entry's headers.
    void SetEntryMethod(std::size_t entry, std::uint16_t method);
    // The compressed and uncompressed sizes, in both of the entry's headers.
    void SetEntrySizes(std::size_t entry, std::uint32_t compressed, std::uint32_t uncompressed);
    // Where the central header says the entry's local header is.
    void SetEntryLocalOffset(std::size_t entry, std::uint32_t offset);
    // The name length in the entry's central header.
    void SetEntryNameLength(std::size_t entry, std::uint16_t length);
    // The entry counts of the end record (this disk and total).
    void SetEntryCount(std::uint16_t count);
    // Where the end record says the central directory starts.
    void SetCentralDirectoryOffset(std::uint32_t offset);
    // How long the end record says the central directory is.
    void SetCentralDirectorySize(std::uint32_t size);
    // Overwrites the entry's data with 0xFF bytes: deflate data then starts
    // with a block of the reserved type, which every inflater refuses.
    void CorruptData(std::size_t entry);
    // Cuts the archive to its first `size` bytes.
    void Truncate(std::size_t size);

    // Writes the bytes to `path`, replacing any file there.
    void WriteTo(const std::string& path) const;

    void PutU16(std::size_t at, std::uint16_t value);
    void PutU32(std::size_t at, std::uint32_t value);
};

class ZipBuilder {
  public:
    // Adds a file entry; the name is stored exactly as given. Content is
    // compressed at once with the current deflate level.
    ZipBuilder& AddFile(const std::string& name, const std::string& content,
                        ZipMethod method = ZipMethod::Deflated);
    // Adds an explicit directory entry (stored, empty); a "/" is appended to
    // the name unless it ends with one.
    ZipBuilder& AddDirectory(const std::string& name);
    // The zlib level (0-9) for deflated entries added from now on; 6 at first.
    ZipBuilder& SetDeflateLevel(int level);

    // The archive: local headers and data in the order added, then the
    // central directory in the same order, then the end record.
    ZipImage Build() const;
    // Build().WriteTo(path).
    void WriteTo(const std::string& path) const;

  private:
    struct Entry {
        std::string name;
        std::uint16_t method;
        std::uint32_t crc;
        std::uint32_t size;
        std::string data;  // as stored in the archive
        bool isDirectory;
    };

    std::vector<Entry> entries_;
    int level_ = 6;
};

// `size` bytes of text-like content (words from a small vocabulary, picked by
// a fixed-seed generator from `seed`): compresses about as well as real text.
std::string SampleText(std::size_t size, unsigned seed = 1);

}  // namespace kivfs_test
