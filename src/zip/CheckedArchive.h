// CheckedArchive: an archive whose end record and central directory passed
// ArchiveValidator, ready for zziplib.
#pragma once

#include <cstdint>
#include <vector>

#include "zip/CentralEntry.h"

namespace kivfs {

struct CheckedArchive {
    // The length of the archive proper, up to the end of its end record; what
    // follows (a comment or trailing bytes) is never needed.
    std::uint32_t length;
    // One per central header, in central-directory order: the order in which
    // zziplib lists the same entries.
    std::vector<CentralEntry> entries;
};

}  // namespace kivfs
