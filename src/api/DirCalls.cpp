// The exported container calls: open and close a DirHandle, and forward the
// container operations to its backend. A null handle or a null name gives the
// failure value without effect; an empty name names the container's root.
#include "api/Container.h"
#include "api/Guarded.h"
#include "api/Handles.h"
#include "kivfs.h"
#include "platform/Text.h"

using kivfs::Guarded;
using kivfs::NormalizedCopy;
using kivfs::Refuse;

namespace {

// The backend of a usable handle, or null.
kivfs::FsBackend* BackendOf(DirHandle* dir) {
    return dir ? dir->backend.get() : nullptr;
}

// Runs one container operation: false, with ARGUMENT, for a handle without a
// backend or a missing text; otherwise what `operation` answers for the
// backend, a failure without a noted cause counting as IO.
template <typename Operation>
bool ForwardToBackend(DirHandle* dir, bool argumentsPresent, Operation operation) {
    return Guarded(false, KIVFS_ERR_IO, [&] {
        kivfs::FsBackend* backend = BackendOf(dir);
        if (!backend || !argumentsPresent) return Refuse(false);
        return operation(*backend);
    });
}

}  // namespace

extern "C" {

DirHandle* kivfsOpenDir(const char* path) {
    return Guarded(nullptr, KIVFS_ERR_NOT_FOUND, [&]() -> DirHandle* {
        if (!path || !*path) return Refuse(nullptr);
        auto dir = std::make_unique<DirHandle>();
        dir->openedPath = NormalizedCopy(path);
        dir->backend = kivfs::SelectBackend(dir->openedPath);
        return dir->backend ? dir.release() : nullptr;
    });
}

// The fallback only serves a path no kind says anything about.
int kivfsContainerKind(const char* path) {
    int kind = 0;
    Guarded(false, KIVFS_ERR_NOT_FOUND, [&] {
        if (!path || !*path) return Refuse(false);
        kind = kivfs::ContainerKindOf(NormalizedCopy(path));
        return kind > 0;
    });
    return kind;
}

// Closing null is no failure (as free(NULL)); a cause noted while closing
// (a store's last commit refused) is published.
void kivfsCloseDir(DirHandle* dir) {
    Guarded(false, KIVFS_OK, [&] {
        delete dir;
        return true;
    });
}

bool kivfsIsFileExist(DirHandle* dir, const char* name, bool* exists) {
    return ForwardToBackend(dir, name && exists, [&](kivfs::FsBackend& backend) {
        return backend.IsFileExist(NormalizedCopy(name), exists);
    });
}

bool kivfsDeleteDirectory(DirHandle* dir, const char* name) {
    return ForwardToBackend(dir, name, [&](kivfs::FsBackend& backend) {
        return backend.DeleteDirectory(NormalizedCopy(name));
    });
}

bool kivfsIsDirectoryExist(DirHandle* dir, const char* name, bool* exists) {
    return ForwardToBackend(dir, name && exists, [&](kivfs::FsBackend& backend) {
        return backend.IsDirectoryExist(NormalizedCopy(name), exists);
    });
}

bool kivfsDeleteFile(DirHandle* dir, const char* name) {
    return ForwardToBackend(dir, name, [&](kivfs::FsBackend& backend) {
        return backend.DeleteFile(NormalizedCopy(name));
    });
}

bool kivfsRenameFile(DirHandle* dir, const char* oldName, const char* newName) {
    return ForwardToBackend(dir, oldName && newName, [&](kivfs::FsBackend& backend) {
        return backend.RenameFile(NormalizedCopy(oldName), NormalizedCopy(newName));
    });
}

bool kivfsCopyFile(DirHandle* dir, const char* source, const char* target, bool failIfExists) {
    return ForwardToBackend(dir, source && target, [&](kivfs::FsBackend& backend) {
        return backend.CopyFile(NormalizedCopy(source), NormalizedCopy(target), failIfExists);
    });
}

bool kivfsMoveFile(DirHandle* dir, const char* source, const char* target, bool failIfExists) {
    return ForwardToBackend(dir, source && target, [&](kivfs::FsBackend& backend) {
        return backend.MoveFile(NormalizedCopy(source), NormalizedCopy(target), failIfExists);
    });
}

bool kivfsBeginTrans(DirHandle* dir) {
    return ForwardToBackend(dir, true,
                            [](kivfs::FsBackend& backend) { return backend.BeginTrans(); });
}

bool kivfsCommitTrans(DirHandle* dir) {
    return ForwardToBackend(dir, true,
                            [](kivfs::FsBackend& backend) { return backend.CommitTrans(); });
}

}  // extern "C"
