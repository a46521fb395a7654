// The exported container calls: open and close a DirHandle, and forward the
// container operations to its backend. A null handle or a null name gives the
// failure value without effect; an empty name names the container's root.
#include "api/Container.h"
#include "api/Handles.h"
#include "kivfs.h"
#include "platform/Text.h"

using kivfs::NormalizedCopy;

namespace {

// The backend of a usable handle, or null.
kivfs::FsBackend* BackendOf(DirHandle* dir) { return dir ? dir->backend.get() : nullptr; }

}  // namespace

extern "C" {

DirHandle* kivfsOpenDir(const char* path) {
    if (!path || !*path) return nullptr;
    auto dir = std::make_unique<DirHandle>();
    dir->openedPath = NormalizedCopy(path);
    dir->backend = kivfs::SelectBackend(dir->openedPath);
    return dir->backend ? dir.release() : nullptr;
}

void kivfsCloseDir(DirHandle* dir) { delete dir; }

bool kivfsIsFileExist(DirHandle* dir, const char* name, bool* exists) {
    auto* backend = BackendOf(dir);
    if (!backend || !name || !exists) return false;
    return backend->IsFileExist(NormalizedCopy(name), exists);
}

bool kivfsDeleteDirectory(DirHandle* dir, const char* name) {
    auto* backend = BackendOf(dir);
    return backend && name && backend->DeleteDirectory(NormalizedCopy(name));
}

bool kivfsIsDirectoryExist(DirHandle* dir, const char* name, bool* exists) {
    auto* backend = BackendOf(dir);
    if (!backend || !name || !exists) return false;
    return backend->IsDirectoryExist(NormalizedCopy(name), exists);
}

bool kivfsDeleteFile(DirHandle* dir, const char* name) {
    auto* backend = BackendOf(dir);
    return backend && name && backend->DeleteFile(NormalizedCopy(name));
}

bool kivfsRenameFile(DirHandle* dir, const char* oldName, const char* newName) {
    auto* backend = BackendOf(dir);
    return backend && oldName && newName &&
           backend->RenameFile(NormalizedCopy(oldName), NormalizedCopy(newName));
}

bool kivfsCopyFile(DirHandle* dir, const char* source, const char* target, bool failIfExists) {
    auto* backend = BackendOf(dir);
    return backend && source && target &&
           backend->CopyFile(NormalizedCopy(source), NormalizedCopy(target), failIfExists);
}

bool kivfsMoveFile(DirHandle* dir, const char* source, const char* target, bool failIfExists) {
    auto* backend = BackendOf(dir);
    return backend && source && target &&
           backend->MoveFile(NormalizedCopy(source), NormalizedCopy(target), failIfExists);
}

bool kivfsBeginTrans(DirHandle* dir) {
    auto* backend = BackendOf(dir);
    return backend && backend->BeginTrans();
}

bool kivfsCommitTrans(DirHandle* dir) {
    auto* backend = BackendOf(dir);
    return backend && backend->CommitTrans();
}

}  // extern "C"
