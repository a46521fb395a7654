#include "PathContent.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <system_error>
#include <vector>

#include "LocalFiles.h"

namespace fs = std::filesystem;

namespace kivfs_tool {

namespace {

// The 16 bytes every SQLite database file begins with.
constexpr char kSqliteHeader[] = "SQLite format 3";  // and its terminating zero
constexpr char kLocalHeader[] = "PK\x03\x04";
constexpr char kEndRecord[] = "PK\x05\x06";
// An end record (22 bytes) followed by at most a 65,535-byte comment.
constexpr std::uintmax_t kEndSearch = 22 + 65535;

// Up to `count` bytes of `in` from `offset`; fewer when the file is shorter.
std::string ReadAt(std::ifstream& in, std::uintmax_t offset, std::uintmax_t count) {
    std::string bytes(static_cast<size_t>(count), '\0');
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(bytes.data(), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    in.clear();
    return bytes;
}

// An archive may begin with other data (a self-extracting program), so its
// end record is looked for as well as a first local header.
bool HoldsZip(std::ifstream& in, std::uintmax_t size, const std::string& head) {
    if (head.compare(0, 4, kLocalHeader) == 0 || head.compare(0, 4, kEndRecord) == 0) return true;
    const std::uintmax_t from = size > kEndSearch ? size - kEndSearch : 0;
    return ReadAt(in, from, size - from).find(kEndRecord) != std::string::npos;
}

}  // namespace

PathContent WhatPathHolds(const std::string& utf8) {
    const fs::path path = LocalPath(utf8);
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (!fs::exists(status)) return PathContent::Nothing;
    if (fs::is_directory(status)) return PathContent::Directory;
    if (!fs::is_regular_file(status)) return PathContent::Other;
    const std::uintmax_t size = fs::file_size(path, error);
    if (error) return PathContent::Other;
    if (size == 0) return PathContent::EmptyFile;
    std::ifstream in(path, std::ios::binary);
    if (!in) return PathContent::Unreadable;
    const std::string head = ReadAt(in, 0, sizeof kSqliteHeader);
    if (head.size() == sizeof kSqliteHeader &&
        std::memcmp(head.data(), kSqliteHeader, sizeof kSqliteHeader) == 0) {
        return PathContent::Store;
    }
    return HoldsZip(in, size, head) ? PathContent::ZipArchive : PathContent::Other;
}

}  // namespace kivfs_tool
