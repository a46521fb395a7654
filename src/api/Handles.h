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

struct OpenHandle {
    // The container the object was opened in.
    DirHandle* dir = nullptr;
    // The FsFile or FsEnum; owned; never null in a handle handed out.
    FsObject* object = nullptr;
    // True for the full-path opens, whose private `dir` dies with the handle.
    bool ownsDir = false;

    OpenHandle() = default;
    OpenHandle(const OpenHandle&) = delete;
    OpenHandle& operator=(const OpenHandle&) = delete;
    // Destroys the object first (it may borrow the backend), then a private
    // container with its backend.
    ~OpenHandle() {
        delete object;
        if (ownsDir) delete dir;
    }
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
    return handle ? static_cast<FsFile*>(reinterpret_cast<OpenHandle*>(handle)->object) : nullptr;
}

inline FsEnum* EnumOf(EnumHandle* handle) {
    return handle ? static_cast<FsEnum*>(reinterpret_cast<OpenHandle*>(handle)->object) : nullptr;
}

}  // namespace kivfs
