// Walking the names of an archive's entries in central-directory order, and
// opening an entry by one of the names walked.
//
// With zziplib 0.13.72 (KIVFS_ZZIP_HEADER_LIST, set by CMake for exactly that
// version) both use zziplib's own record of the archive (struct zzip_dir and
// its header list, from the installed zzip/lib.h): the walk reads the header
// list, and an open starts zzip_file_open's name scan, which otherwise runs
// from the first header, at the entry's own header, so that opening an entry
// costs the same in an archive of any size. The entry opened, its bytes and
// its refusals are zziplib's, exactly as for a scan from the first header.
// With any other zziplib the walk uses zzip_readdir and the open scans.
// This file is the only place that knows zziplib's record.
#pragma once

#include <zzip/lib.h>

namespace kivfs {

#if KIVFS_ZZIP_HEADER_LIST
// The header after `header` in the list, or null after the last one; a
// record length of 0 marks the last header, as zzip_readdir reads it.
inline const zzip_dir_hdr* NextHeader(const zzip_dir_hdr* header) {
    if (header->d_reclen == 0) return nullptr;
    return reinterpret_cast<const zzip_dir_hdr*>(reinterpret_cast<const char*>(header) +
                                                 header->d_reclen);
}
#endif

// Calls `visit` with each entry's name (a zero-terminated text that lives as
// long as the archive, and is what OpenStoredEntry takes). zzip_readdir's
// cursor, when the walk uses it, is rewound afterwards, so that between walks
// it always rests on the first entry.
template <typename Visit>
void ForEachEntryName(ZZIP_DIR* archive, Visit&& visit) {
#if KIVFS_ZZIP_HEADER_LIST
    for (const zzip_dir_hdr* header = archive->hdr0; header; header = NextHeader(header)) {
        visit(static_cast<const char*>(header->d_name));
    }
#else
    while (const ZZIP_DIRENT* entry = zzip_readdir(archive)) visit(entry->d_name);
    zzip_rewinddir(archive);
#endif
}

// Opens the first entry whose name is exactly `storedName`, which must be a
// name ForEachEntryName gave for `archive` (it is that very entry's name when
// no entry before it has the same one); null when zziplib refuses it.
ZZIP_FILE* OpenStoredEntry(ZZIP_DIR* archive, const char* storedName);

}  // namespace kivfs
