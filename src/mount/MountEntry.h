// MountEntry: one mount of the table, the container opened for a system path
// and that path.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "backend/FsBackend.h"

namespace kivfs {

struct MountEntry {
    // Chosen for `sysPath` when the mount was made; never null while the entry
    // is in the table; destroyed with the entry, which the table and every
    // file opened through the bridge share, so it outlives an unmount until
    // the last of those files is deleted (at unload it is let go unclosed, see
    // MountTable).
    std::unique_ptr<FsBackend> backend;
    // The system path as the host gave it, with "/" for "\" and nothing else
    // changed (a trailing "/" stays). Never changes after the mount.
    std::string sysPath;
    // Held by every call that reaches `backend` through the bridge (opening a
    // stub, its callbacks, deleting it): a backend and its files are used by
    // one thread at a time, while two mounts serve two threads at once.
    std::mutex bridge;
};

}  // namespace kivfs
