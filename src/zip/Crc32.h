// The CRC-32 that zip entries carry (the reflected IEEE polynomial, the one
// zlib's crc32 computes), taken with the fastest implementation the build
// has: ISA-L's crc32_gzip_refl where CMake found ISA-L, zlib's crc32_z
// otherwise (a Windows build has only zlib). Both give the same values.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kivfs {

// `crc` extended over the `length` bytes at `data`; a whole CRC starts at 0.
std::uint32_t UpdateCrc32(std::uint32_t crc, const void* data, std::size_t length);

}  // namespace kivfs
