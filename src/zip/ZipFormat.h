// What every reader of zip records here shares: the records' signatures,
// the little-endian field reads, and the sizes of the fixed records and where
// their fields lie, as the zip format lays them out.
#pragma once

#include <cstdint>
#include <cstring>

namespace kivfs::zipformat {

// Fixed record sizes, before any name, extra field or comment.
constexpr std::uint32_t kLocalHeaderSize = 30;
constexpr std::uint32_t kCentralHeaderSize = 46;
constexpr std::uint32_t kEndRecordSize = 22;
constexpr std::uint32_t kZip64EndRecordSize = 56;
// An end record counts as found once all of it but its last field (the
// comment length) lies in the file; the search reaches back over the
// longest comment.
constexpr std::uint32_t kSignatureTail = 2;
constexpr std::uint32_t kEndSearch = kEndRecordSize + 0xFFFF;

// Each record begins with "PK" and two bytes naming its kind.
constexpr unsigned char kLocalSignature[] = {'P', 'K', 3, 4};
constexpr unsigned char kCentralSignature[] = {'P', 'K', 1, 2};
constexpr unsigned char kEndSignature[] = {'P', 'K', 5, 6};
constexpr unsigned char kZip64EndSignature[] = {'P', 'K', 6, 6};
constexpr unsigned char kZip64LocatorSignature[] = {'P', 'K', 6, 7};

// Where the fields read here lie, from the start of their record.
constexpr std::uint32_t kLocalNameLength = 26, kLocalExtraLength = 28;
constexpr std::uint32_t kCentralFlags = 8, kCentralMethod = 10, kCentralCrc = 16;
constexpr std::uint32_t kCentralCompressedSize = 20, kCentralSize = 24;
constexpr std::uint32_t kCentralNameLength = 28, kCentralExtraLength = 30;
constexpr std::uint32_t kCentralCommentLength = 32, kCentralLocalHeader = 42;
constexpr std::uint32_t kEndEntriesHere = 8, kEndDirectorySize = 12, kEndDirectoryOffset = 16;

// Whether the four bytes at `at` are `signature`.
inline bool HasSignature(const unsigned char* at, const unsigned char (&signature)[4]) {
    return std::memcmp(at, signature, sizeof signature) == 0;
}

// The 16-bit field at `at`, stored least significant byte first.
inline std::uint16_t U16(const unsigned char* at) {
    return static_cast<std::uint16_t>(at[0] | at[1] << 8);
}

// The 32-bit field at `at`, stored least significant byte first.
inline std::uint32_t U32(const unsigned char* at) {
    return U16(at) | static_cast<std::uint32_t>(U16(at + 2)) << 16;
}

}  // namespace kivfs::zipformat
