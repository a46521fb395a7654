#include "zip/MappedArchiveTable.h"

#include <algorithm>

namespace kivfs {

// Never destroyed: zziplib may close an archive from a static destructor of
// the host, after this file's statics would have gone.
MappedArchiveTable& MappedArchiveTable::Instance() {
    static auto* table = new MappedArchiveTable;
    return *table;
}

// Reuses the lowest free slot, so handles stay small.
int MappedArchiveTable::Add(std::unique_ptr<MappedArchive> archive) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto free = std::find(slots_.begin(), slots_.end(), nullptr);
    if (free == slots_.end()) free = slots_.insert(slots_.end(), nullptr);
    *free = std::move(archive);
    return static_cast<int>(free - slots_.begin()) + 1;
}

MappedArchive* MappedArchiveTable::Find(int handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (handle < 1 || static_cast<std::size_t>(handle) > slots_.size()) return nullptr;
    return slots_[handle - 1].get();
}

// The archive is destroyed outside the lock: unmapping may take a while.
bool MappedArchiveTable::Remove(int handle) {
    std::unique_ptr<MappedArchive> archive;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (handle < 1 || static_cast<std::size_t>(handle) > slots_.size()) return false;
        archive = std::move(slots_[handle - 1]);
    }
    return archive != nullptr;
}

std::size_t MappedArchiveTable::Count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<std::size_t>(std::count_if(
        slots_.begin(), slots_.end(), [](const auto& slot) { return slot != nullptr; }));
}

}  // namespace kivfs
