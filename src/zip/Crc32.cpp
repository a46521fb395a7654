#include "zip/Crc32.h"

#if KIVFS_HAVE_ISAL
#include <isa-l/crc.h>
#else
#include <zlib.h>
#endif

namespace kivfs {

// ISA-L folds with carry-less multiplies and reaches memory speed; zlib's
// table-driven crc32 is several times slower, enough to show on stored reads.
std::uint32_t UpdateCrc32(std::uint32_t crc, const void* data, std::size_t length) {
#if KIVFS_HAVE_ISAL
    return crc32_gzip_refl(crc, static_cast<const unsigned char*>(data), length);
#else
    return static_cast<std::uint32_t>(crc32_z(crc, static_cast<const Bytef*>(data), length));
#endif
}

}  // namespace kivfs
