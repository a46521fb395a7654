// Making file and listing handles, shared by the file and enumeration calls:
// both kinds are opened either inside a DirHandle the host holds or from one
// full path, in which case the handle gets a private DirHandle of its own.
#pragma once

#include <memory>
#include <utility>

#include "api/Container.h"
#include "api/Guarded.h"
#include "api/Handles.h"

namespace kivfs {

// Wraps `object` in a new handle borrowing `dir`; null when there is no object.
template <typename Object>
OpenHandle* MakeHandle(DirHandle* dir, std::unique_ptr<Object> object) {
    if (!object) return nullptr;
    auto handle = std::make_unique<OpenHandle>();
    handle->dir = dir;
    handle->object = std::move(object);
    return handle.release();
}

// Opens a private container for the container part of `path` (a store only
// as `creation` allows) and hands its backend and the inner name to `open`,
// which returns the object. On any failure everything made on the way is
// released and null returned; a missing path is refused as an argument.
template <typename Open>
OpenHandle* OpenByPath(const char* path, StoreCreation creation, Open open) {
    if (!path || !*path) return Refuse(nullptr);
    auto split = SplitPath(path);
    if (!split) return nullptr;
    auto dir = std::make_unique<DirHandle>();
    dir->backend = SelectBackend(split->container, creation);
    if (!dir->backend) return nullptr;
    dir->openedPath = split->container;
    OpenHandle* handle = MakeHandle(dir.get(), open(dir->backend.get(), split->inner.c_str()));
    if (!handle) return nullptr;
    handle->privateDir = std::move(dir);
    return handle;
}

}  // namespace kivfs
