// The three handle records the exported calls hand to the host.
//
// A DirHandle owns its backend. A FileHandle or EnumHandle owns its file or
// listing and, when it was opened from a full path, also a private DirHandle.
// The two are one record, OpenHandle, so that one routine, kivfsCloseFile =
// kivfsCloseEnum, closes either.
#pragma once

#include <memory>
#include <string>

#include "backend/FsBackend.h"
#include "kivfs.h"

struct DirHandle {
    // Never null in a handle handed to the host.
    std::unique_ptr<kivfs::FsBackend> backend;
    // The path the handle was opened for, normalised: for kivfsOpenDir the
    // path itself, for the full-path opens the container text.
    std::string openedPath;
};

namespace kivfs {

// Members are destroyed in reverse order: the object first (it may borrow
// the backend), then a private container with its backend.
struct OpenHandle {
    // The container of the full-path opens, which dies with the handle;
    // null for a handle opened in a DirHandle the host holds.
    std::unique_ptr<DirHandle> privateDir;
    // The container the object was opened in: privateDir, or the host's.
    DirHandle* dir = nullptr;
    // The FsFile or FsEnum; never null in a handle handed out.
    std::unique_ptr<FsObject> object;

    OpenHandle() = default;
    OpenHandle(const OpenHandle&) = delete;
    OpenHandle& operator=(const OpenHandle&) = delete;
};

}  // namespace kivfs

namespace kivfs {

// FileHandle and EnumHandle are only the host's names for an OpenHandle: the
// record is always made as an OpenHandle and the two names are converted back
// to it, never dereferenced as types of their own. So one close routine, given
// either, deletes exactly the object that was made.
inline OpenHandle* AsOpen(void* handle) {
    return static_cast<OpenHandle*>(handle);
}
inline FileHandle* AsFileHandle(OpenHandle* handle) {
    return reinterpret_cast<FileHandle*>(handle);
}
inline EnumHandle* AsEnumHandle(OpenHandle* handle) {
    return reinterpret_cast<EnumHandle*>(handle);
}

inline FsFile* FileOf(FileHandle* handle) {
    return handle ? static_cast<FsFile*>(reinterpret_cast<OpenHandle*>(handle)->object.get())
                  : nullptr;
}

inline FsEnum* EnumOf(EnumHandle* handle) {
    return handle ? static_cast<FsEnum*>(reinterpret_cast<OpenHandle*>(handle)->object.get())
                  : nullptr;
}

}  // namespace kivfs
