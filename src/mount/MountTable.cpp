#include "mount/MountTable.h"

#include <mutex>
#include <shared_mutex>
#include <utility>

#include "api/Container.h"
#include "backend/Failure.h"
#include "backend/NameLeavesRoot.h"
#include "kivfs.h"

// Asks the compiler to prove a variable is initialised before any code runs.
#if defined(__clang__)
#define KIVFS_CONSTINIT [[clang::require_constant_initialization]]
#elif defined(__GNUC__)
#define KIVFS_CONSTINIT __constinit
#else
#define KIVFS_CONSTINIT
#endif

namespace kivfs {

// Only the first ":" counts: everything after it is the path inside the mount.
std::string MountPrefix(const std::string& text) {
    const size_t colon = text.find(':');
    return colon == std::string::npos ? std::string() : text.substr(0, colon + 1);
}

namespace {

// Guards the table's map. Constant-initialised (the C++ runtimes build it over
// a statically initialised pthread rwlock or SRW lock), so it exists before
// any call whatever the order in which the loader runs initialisers, and it is
// never taken while the library loads.
KIVFS_CONSTINIT std::shared_mutex tableLock;

}  // namespace

// std::string orders keys through char_traits<char>, which compares as
// unsigned char whatever the signedness of char: bytes above 0x7F (UTF-8
// beyond ASCII) sort after every ASCII byte, and a prefix sorts first.
static_assert(std::char_traits<char>::lt('\x7f', '\x80'),
              "mount names must order as unsigned bytes");
static_assert(std::char_traits<char>::compare("a\x80", "a\x01", 2) > 0,
              "mount names must order as unsigned bytes");

// A function-local object: made on first use (the compiler makes that safe
// from any thread), so it exists before any mount call, and destroyed when
// the library is unloaded.
MountTable& MountTable::Instance() {
    static MountTable table;
    return table;
}

// The name is looked up before anything is opened: a second mount must not
// create a store at its path as a side effect. The container is opened outside
// the lock (a store may wait for another program's lock); should another
// thread mount the same name meanwhile, the first to insert wins and the other
// container is closed again, also outside the lock.
bool MountTable::Mount(const std::string& name, const std::string& sysPath) {
    bool mounted = false;
    {
        std::shared_lock<std::shared_mutex> lock(tableLock);
        mounted = entries_.count(name) != 0;
    }
    if (!mounted) {
        auto entry = std::make_shared<MountEntry>();
        entry->backend = SelectBackend(sysPath);
        if (!entry->backend) return false;
        entry->sysPath = sysPath;
        std::unique_lock<std::shared_mutex> lock(tableLock);
        if (entries_.try_emplace(name, entry).second) return true;
    }
    NoteFailure(KIVFS_ERR_EXISTS);
    return false;
}

// The entry leaves the map under the lock; its backend is destroyed after the
// lock is released, and only if no bridged file still shares the entry.
bool MountTable::Unmount(const std::string& name) {
    std::shared_ptr<MountEntry> removed;
    std::unique_lock<std::shared_mutex> lock(tableLock);
    const auto found = entries_.find(name);
    if (found == entries_.end()) return false;
    removed = std::move(found->second);
    entries_.erase(found);
    lock.unlock();
    return true;
}

// Only an exact, case-sensitive match of the prefix counts. A rest that
// climbs above the mount's root finds nothing, whatever the container: its
// translation would name a system path outside the mount.
const std::shared_ptr<MountEntry>* MountTable::FindLocked(const std::string& key,
                                                          const std::string& rest) const {
    const auto found = entries_.find(key);
    if (found == entries_.end()) return nullptr;
    if (NameLeavesRoot(rest)) {
        NoteFailure(KIVFS_ERR_OUTSIDE_ROOT);
        return nullptr;
    }
    return &found->second;
}

MountedPath MountTable::Resolve(const std::string& virtualPath) const {
    const std::string key = MountPrefix(virtualPath);
    if (key.empty()) return {};
    std::string rest = virtualPath.substr(key.size());
    std::shared_lock<std::shared_mutex> lock(tableLock);
    const std::shared_ptr<MountEntry>* entry = FindLocked(key, rest);
    if (!entry) return {};
    return {*entry, std::move(rest)};
}

// Built under the lock from the entry in place, so translating shares no
// entry and copies nothing but the rest and the result.
std::string MountTable::SystemPathOf(const std::string& virtualPath) const {
    const std::string key = MountPrefix(virtualPath);
    if (key.empty()) return std::string();
    const std::string rest = virtualPath.substr(key.size());
    std::shared_lock<std::shared_mutex> lock(tableLock);
    const std::shared_ptr<MountEntry>* entry = FindLocked(key, rest);
    if (!entry) return std::string();
    return (*entry)->sysPath + "/" + rest;
}

// At unload the backends of mounts still present are let go without being
// destroyed, on purpose. Files the host opened through a mount share its
// entry and may outlive the table; and a backend's destructor does real work
// (closing a database, unmapping an archive) that depends on other libraries
// which may already be finalised this late in the process. A host that needs
// a container closed unmounts it before unloading.
MountTable::~MountTable() {
    std::unique_lock<std::shared_mutex> lock(tableLock);
    for (auto& entry : entries_) static_cast<void>(entry.second->backend.release());
}

}  // namespace kivfs
