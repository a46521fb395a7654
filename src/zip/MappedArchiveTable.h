// MappedArchiveTable: the process-wide table of open MappedArchives, which
// turns the int handles zziplib passes to our handlers into archives.
//
// Handles are slot numbers starting at 1: zziplib takes handle 0 for "no
// archive" and refuses to open entries on it, and -1 means failure. Different
// archives may be opened and closed from different threads, so the table is
// guarded; one archive is used by one thread at a time, so an archive found
// here is used without the lock.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "zip/MappedArchive.h"

namespace kivfs {

class MappedArchiveTable {
  public:
    // The one table of the process.
    static MappedArchiveTable& Instance();

    // Takes ownership of `archive`; returns its handle, >= 1.
    int Add(std::unique_ptr<MappedArchive> archive);
    // The archive of `handle`, or null when no archive has it.
    MappedArchive* Find(int handle);
    // Destroys the archive of `handle` (unmapping and closing its file); false
    // when no archive has it.
    bool Remove(int handle);
    // How many archives are open.
    std::size_t Count();

  private:
    MappedArchiveTable() = default;

    std::mutex mutex_;
    // Slot i holds the archive of handle i + 1; null slots are free.
    std::vector<std::unique_ptr<MappedArchive>> slots_;
};

}  // namespace kivfs
