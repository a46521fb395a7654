#include "ZipFacts.h"

#include <algorithm>
#include <cctype>
#include <fstream>

#include "LocalFiles.h"

namespace kivfs_tool {

namespace {

constexpr char kEndRecord[] = "PK\x05\x06";
constexpr char kZip64Locator[] = "PK\x06\x07";
constexpr char kCentralHeader[] = "PK\x01\x02";
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kLocatorSize = 20;
constexpr std::size_t kCentralSize = 46;

std::uint32_t Read16(const std::string& bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
}

std::uint32_t Read32(const std::string& bytes, std::size_t at) {
    return Read16(bytes, at) | Read16(bytes, at + 2) << 16;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// The archive's last bytes and where its end record lies among them: the
// last signature whose comment length reaches exactly to the file's end.
struct Tail {
    std::string bytes;
    std::uintmax_t offset = 0;  // of bytes[0] in the file
    std::size_t end = std::string::npos;
};

Tail ReadTail(std::ifstream& in) {
    Tail tail;
    in.seekg(0, std::ios::end);
    const std::uintmax_t size =
        static_cast<std::uintmax_t>(std::max<std::streamoff>(in.tellg(), 0));
    const std::uintmax_t want = std::min<std::uintmax_t>(size, kEndSize + 65535 + kLocatorSize);
    tail.offset = size - want;
    tail.bytes.resize(static_cast<std::size_t>(want));
    in.seekg(static_cast<std::streamoff>(tail.offset));
    in.read(tail.bytes.data(), static_cast<std::streamsize>(want));
    if (!in) return tail;
    std::size_t at = tail.bytes.rfind(kEndRecord);
    while (at != std::string::npos) {
        if (at + kEndSize <= tail.bytes.size() &&
            at + kEndSize + Read16(tail.bytes, at + 20) == tail.bytes.size()) {
            tail.end = at;
            break;
        }
        if (at == 0) break;
        at = tail.bytes.rfind(kEndRecord, at - 1);
    }
    return tail;
}

}  // namespace

bool NeedsZip64(const std::string& path) {
    std::ifstream in(LocalPath(path), std::ios::binary);
    const Tail tail = ReadTail(in);
    if (tail.end == std::string::npos) return false;
    const std::size_t at = tail.end;
    if (at >= kLocatorSize && tail.bytes.compare(at - kLocatorSize, 4, kZip64Locator) == 0) {
        return true;
    }
    return Read16(tail.bytes, at + 10) == 0xFFFF || Read32(tail.bytes, at + 12) == 0xFFFFFFFF ||
           Read32(tail.bytes, at + 16) == 0xFFFFFFFF;
}

// The central directory lies right before the end record; its recorded
// offset is not trusted, so that data prepended to the archive (a
// self-extracting program) does not mislead.
ZipEntryFacts LookUpZipEntry(const std::string& path, const std::string& name) {
    std::ifstream in(LocalPath(path), std::ios::binary);
    const Tail tail = ReadTail(in);
    ZipEntryFacts exact;
    ZipEntryFacts caseless;
    if (tail.end == std::string::npos) return exact;
    const std::uint32_t directorySize = Read32(tail.bytes, tail.end + 12);
    const std::uintmax_t endOffset = tail.offset + tail.end;
    if (directorySize > endOffset) return exact;
    std::string directory(directorySize, '\0');
    in.seekg(static_cast<std::streamoff>(endOffset - directorySize));
    in.read(directory.data(), static_cast<std::streamsize>(directorySize));
    if (!in) return exact;
    for (std::size_t at = 0; at + kCentralSize <= directory.size();) {
        if (directory.compare(at, 4, kCentralHeader) != 0) break;
        const std::size_t nameLength = Read16(directory, at + 28);
        const std::size_t next = at + kCentralSize + nameLength + Read16(directory, at + 30) +
                                 Read16(directory, at + 32);
        if (at + kCentralSize + nameLength > directory.size()) break;
        const std::string entryName = directory.substr(at + kCentralSize, nameLength);
        ZipEntryFacts facts{true, (Read16(directory, at + 8) & 1) != 0,
                            static_cast<int>(Read16(directory, at + 10)),
                            Read32(directory, at + 24)};
        if (entryName == name) return facts;
        if (!caseless.found && SameIgnoringCase(entryName, name)) caseless = facts;
        at = next;
    }
    return caseless;
}

}  // namespace kivfs_tool
