#include "mount/MountTable.h"

#include <utility>

#include "api/Container.h"
#include "backend/Failure.h"
#include "backend/NameLeavesRoot.h"
#include "kivfs.h"
#include "mount/MountPrefix.h"

namespace kivfs {

// std::string orders keys through char_traits<char>, which compares as
// unsigned char whatever the signedness of char: bytes above 0x7F (UTF-8
// beyond ASCII) sort after every ASCII byte, and a prefix sorts first.
static_assert(std::char_traits<char>::lt('\x7f', '\x80'),
              "mount names must order as unsigned bytes");
static_assert(std::char_traits<char>::compare("a\x80", "a\x01", 2) > 0,
              "mount names must order as unsigned bytes");

// A function-local object: made on first use, so it exists before any mount
// call whatever the order in which the loader initialises things, and
// destroyed when the library is unloaded.
MountTable& MountTable::Instance() {
    static MountTable table;
    return table;
}

// The name is looked up before anything is opened: a second mount must not
// create a store at its path as a side effect.
void MountTable::Mount(const std::string& name, const std::string& sysPath) {
    if (entries_.count(name)) return;
    auto backend = SelectBackend(sysPath);
    if (!backend) return;
    entries_.emplace(name, MountEntry{std::move(backend), sysPath});
}

// Erasing the entry destroys its backend, which closes the container.
void MountTable::Unmount(const std::string& name) {
    entries_.erase(name);
}

// Only an exact, case-sensitive match of the prefix counts. A rest that
// climbs above the mount's root finds nothing, whatever the container: its
// translation would name a system path outside the mount.
MountedPath MountTable::Resolve(const std::string& virtualPath) const {
    const std::string key = MountPrefix(virtualPath);
    if (key.empty()) return {};
    const auto found = entries_.find(key);
    if (found == entries_.end()) return {};
    std::string inner = virtualPath.substr(key.size());
    if (NameLeavesRoot(inner)) {
        NoteFailure(KIVFS_ERR_OUTSIDE_ROOT);
        return {};
    }
    return {&found->second, std::move(inner)};
}

// At unload the backends of mounts still present are let go without being
// destroyed, on purpose. Files the host opened through a mount borrow its
// backend and are not tracked, so they may outlive the table; and a backend's
// destructor does real work (closing a database, unmapping an archive) that
// depends on other libraries which may already be finalised this late in the
// process. A host that needs a container closed unmounts it before unloading.
MountTable::~MountTable() {
    for (auto& entry : entries_) static_cast<void>(entry.second.backend.release());
}

}  // namespace kivfs
