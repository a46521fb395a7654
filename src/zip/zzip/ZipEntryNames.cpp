#include "zip/zzip/ZipEntryNames.h"

#include <cstddef>

namespace kivfs {

// A name from the walk is the d_name member of its header, so the header
// starts that member's offset before it. zzip_file_open compares names from
// dir->hdr0 on, and keeps no hold on hdr0 once it returns: pointing hdr0 at
// the entry's header for the call makes the entry the first one compared.
ZZIP_FILE* OpenStoredEntry(ZZIP_DIR* archive, const char* storedName) {
#if KIVFS_ZZIP_HEADER_LIST
    auto* header = reinterpret_cast<zzip_dir_hdr*>(const_cast<char*>(storedName) -
                                                   offsetof(zzip_dir_hdr, d_name));
    zzip_dir_hdr* const first = archive->hdr0;
    archive->hdr0 = header;
    ZZIP_FILE* entry = zzip_file_open(archive, storedName, 0);
    archive->hdr0 = first;
    return entry;
#else
    return zzip_file_open(archive, storedName, 0);
#endif
}

}  // namespace kivfs
