// Choosing and opening containers: the split of a full path into container
// and inner name, the choice of backend for a container, and the two helpers
// that open a file or a listing in a backend. Shared by the exported calls,
// the mount table and the host bridge.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "backend/FsBackend.h"
#include "storage/OpenStorageFs.h"

namespace kivfs {

struct SplitResult {
    std::string container;  // up to and including the separator
    std::string inner;      // after it; may be empty
};

// Splits a full path at its last "/" when the whole path exists on disk, else
// at its last ":". Nothing when the chosen separator does not occur.
std::optional<SplitResult> SplitPath(const char* path);

// Opens a container: a real directory, else a zip archive, else a SQLite store
// (created when missing or empty, unless `creation` refuses that: a call that
// only reads never makes a store). One trailing ":" of the text is dropped
// first.
std::unique_ptr<FsBackend> SelectBackend(const std::string& container,
                                         StoreCreation creation = StoreCreation::Allowed);

// The KIVFS_KIND_* of the kind that would serve `container` for reading,
// found as SelectBackend finds it with creation refused, so nothing on disk
// changes; else, with the cause noted, minus the kind of the container
// found there that cannot be read as it is, or 0 (kivfsContainerKind).
int ContainerKindOf(const std::string& container);

// A new file for `name` (normalised) in `backend`, or null for a missing
// backend or a null or empty name.
std::unique_ptr<FsFile> OpenInBackend(FsBackend* backend, const char* name, int mode);

// A new listing of the folder `name` (normalised, with a final "/" added
// when it has none; empty lists the root), or null.
std::unique_ptr<FsEnum> EnumInBackend(FsBackend* backend, const char* name);

}  // namespace kivfs
