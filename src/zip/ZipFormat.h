// What every reader of zip records here shares: the little-endian field
// reads and the sizes of the fixed records, as the zip format lays them out.
#pragma once

#include <cstdint>

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

// The 16-bit field at `at`, stored least significant byte first.
inline std::uint16_t U16(const unsigned char* at) {
    return static_cast<std::uint16_t>(at[0] | at[1] << 8);
}

// The 32-bit field at `at`, stored least significant byte first.
inline std::uint32_t U32(const unsigned char* at) {
    return U16(at) | static_cast<std::uint32_t>(U16(at + 2)) << 16;
}

}  // namespace kivfs::zipformat
