// Walking the names of an archive's entries in central-directory order.
#pragma once

#include <zzip/zzip.h>

namespace kivfs {

// Calls `visit` with each entry's name (a zero-terminated text that lives as
// long as the archive), then rewinds the archive's one directory cursor, so
// that between walks it always rests on the first entry.
template <typename Visit>
void ForEachEntryName(ZZIP_DIR* archive, Visit&& visit) {
    while (const ZZIP_DIRENT* entry = zzip_readdir(archive)) visit(entry->d_name);
    zzip_rewinddir(archive);
}

}  // namespace kivfs
