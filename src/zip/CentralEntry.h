// CentralEntry: what the archive check keeps of one central directory header
// for the opens that come later, which zziplib's own entry list lacks (the
// flags) or hides (the CRC-32, where the entry's local header lies).
#pragma once

#include <cstdint>

namespace kivfs {

struct CentralEntry {
    // General-purpose bit 0: the entry's data is encrypted.
    static constexpr std::uint16_t kEncrypted = 1;

    std::uint32_t crc32;   // of the uncompressed bytes
    std::uint16_t flags;   // the general-purpose bit flags
    std::uint16_t method;  // 0 stored, 8 deflated, anything else unsupported
    // Where the entry's local header starts in the archive, as the central
    // header says; not checked against the file (the entry's open does that).
    std::uint32_t localHeader;
};

}  // namespace kivfs
