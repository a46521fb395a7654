// MountTable: the process's one table of virtual mount names ("app:") and
// the containers they stand for.
//
// Names are keys exactly as given after "\" became "/": case-sensitive, in
// byte order. An entry is added only when its container could be opened and is
// never replaced: a second mount of a name changes nothing. Safe from any
// thread: lookups share a reader-writer lock, mounts and unmounts take it
// alone, and no container is opened or closed while it is held.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "mount/MountEntry.h"

namespace kivfs {

// The rule by which a virtual path finds its mount: the text up to and
// including its first ":", or the empty text when it has none.
// 'app:cfg/a.ini' gives 'app:'; 'a:b:c' gives 'a:', so a mount name with a
// ":" before its end is never found.
std::string MountPrefix(const std::string& text);

// Where a virtual path leads: the mount its prefix names (null when none) and
// the rest of the path after the prefix.
struct MountedPath {
    std::shared_ptr<MountEntry> entry;
    std::string inner;
};

class MountTable {
  public:
    // The table, created empty the first time anyone asks for it.
    static MountTable& Instance();

    // Mounts `name` on `sysPath` (both normalised, non-empty) unless the name
    // is already mounted (false, EXISTS noted); nothing is opened then. A path
    // that selects no container adds nothing (false, its cause noted).
    bool Mount(const std::string& name, const std::string& sysPath);
    // Removes the entry of `name`; its container closes once no bridged file
    // holds it. False for a name not mounted.
    bool Unmount(const std::string& name);
    // Looks up the mount named by the MountPrefix of `virtualPath`
    // (normalised); finds nothing when the rest climbs above the mount's root
    // (NameLeavesRoot).
    MountedPath Resolve(const std::string& virtualPath) const;
    // The mount's system path, one "/" and the rest of `virtualPath`, all as
    // they stand; empty when Resolve would find nothing.
    std::string SystemPathOf(const std::string& virtualPath) const;

    ~MountTable();
    MountTable(const MountTable&) = delete;
    MountTable& operator=(const MountTable&) = delete;

  private:
    MountTable() = default;
    // The entry of `key` (a MountPrefix) when `rest` may be served under it,
    // else null (OUTSIDE_ROOT noted for a rest that climbs out). The caller
    // holds the table's lock.
    const std::shared_ptr<MountEntry>* FindLocked(const std::string& key,
                                                  const std::string& rest) const;

    // Keyed by mount name; every entry holds a backend.
    std::map<std::string, std::shared_ptr<MountEntry>> entries_;
};

}  // namespace kivfs
