// What the library does not say about a zip archive it refuses in part:
// whether the archive needs zip64 records, and what the central directory
// records for one entry. Read from the archive's own bytes, so that error
// lines name the cause ("encrypted entry") and listings show the size of
// an entry that does not open.
#pragma once

#include <cstdint>
#include <string>

namespace kivfs_tool {

struct ZipEntryFacts {
    bool found = false;
    bool encrypted = false;  // general-purpose flag bit 0
    int method = 0;          // 0 stored, 8 deflated, others not read
    std::uint32_t size = 0;  // uncompressed size, as recorded
};

// True when the archive at `path` has zip64 end records, or counts and
// offsets that only zip64 records could hold.
bool NeedsZip64(const std::string& path);

// The central directory record of `name` (matched exactly or, failing
// that, regardless of case, as the library opens entries).
ZipEntryFacts LookUpZipEntry(const std::string& path, const std::string& name);

}  // namespace kivfs_tool
