// MountEntry: one mount of the table, the container opened for a system path
// and that path.
#pragma once

#include <memory>
#include <string>

#include "backend/FsBackend.h"

namespace kivfs {

struct MountEntry {
    // Chosen for `sysPath` when the mount was made; never null; destroyed on
    // unmount (at unload it is let go unclosed, see MountTable).
    std::unique_ptr<FsBackend> backend;
    // The system path as the host gave it, with "/" for "\" and nothing else
    // changed (a trailing "/" stays).
    std::string sysPath;
};

}  // namespace kivfs
