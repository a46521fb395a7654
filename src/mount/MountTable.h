// MountTable: the process's one table of virtual mount names ("app:") and
// the containers they stand for.
//
// Names are keys exactly as given after "\" became "/": case-sensitive, in
// byte order. An entry is added only when its container could be opened and is
// never replaced: a second mount of a name changes nothing. No locks: the host
// makes mount, translation and stub calls from one thread at a time.
#pragma once

#include <map>
#include <string>

#include "mount/MountEntry.h"

namespace kivfs {

// Where a virtual path leads: the mount its prefix names (null when none) and
// the rest of the path after the prefix.
struct MountedPath {
    const MountEntry* entry = nullptr;
    std::string inner;
};

class MountTable {
  public:
    // The table, created empty the first time anyone asks for it.
    static MountTable& Instance();

    // Mounts `name` on `sysPath` (both normalised, non-empty) unless the name
    // is already mounted; nothing is opened then. A path that selects no
    // container adds nothing.
    void Mount(const std::string& name, const std::string& sysPath);
    // Closes the container of `name` and removes the entry; a name not
    // mounted is ignored.
    void Unmount(const std::string& name);
    // Looks up the mount named by the MountPrefix of `virtualPath`
    // (normalised); finds nothing when the rest climbs above the mount's root
    // (NameLeavesRoot).
    MountedPath Resolve(const std::string& virtualPath) const;

    ~MountTable();
    MountTable(const MountTable&) = delete;
    MountTable& operator=(const MountTable&) = delete;

  private:
    MountTable() = default;

    // Keyed by mount name; every entry holds a backend.
    std::map<std::string, MountEntry> entries_;
};

}  // namespace kivfs
