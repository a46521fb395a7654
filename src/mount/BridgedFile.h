// BridgedFile: what a StubOps record's `file` value points to: a file opened
// through a mount, with a share of that mount.
#pragma once

#include <memory>
#include <mutex>
#include <utility>

#include "backend/FsFile.h"
#include "mount/MountEntry.h"

namespace kivfs {

struct BridgedFile {
    // The mount the file was opened through; never null. Shared so that an
    // unmount while the file is open does not destroy the backend under it.
    std::shared_ptr<MountEntry> mount;
    // The open file; null only while the record is being made.
    std::unique_ptr<FsFile> file;

    explicit BridgedFile(std::shared_ptr<MountEntry> entry) : mount(std::move(entry)) {}
    BridgedFile(const BridgedFile&) = delete;
    BridgedFile& operator=(const BridgedFile&) = delete;
    // The file is closed under its mount's lock (closing may touch the
    // backend); the share of the mount is dropped afterwards, outside it.
    ~BridgedFile() {
        std::lock_guard<std::mutex> lock(mount->bridge);
        file.reset();
    }
};

}  // namespace kivfs
