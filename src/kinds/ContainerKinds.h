// ContainerKinds: the kinds of container a path may name, in the order they
// are tried, as one table.
//
// A kind is {name, probe, open}: the probe tells from what the path names on
// disk whether the kind may take it (a kind's probe may leave the real test
// to its open), and the open serves the path or gives null with its cause
// noted. Real directories come first, archives next, and the store, which
// creates what is missing, last. Adding a kind is one row of the table.
//
// The table sits above the three backends and below the exported calls and
// the mounts, which reach it through SelectBackend (api/Container.h).
#pragma once

#include <memory>
#include <string>

#include "backend/FsBackend.h"
#include "storage/OpenStorageFs.h"

namespace kivfs {

struct ContainerKind {
    const char* name;  // "folder", "zip", "store": for people reading the table
    // Whether `path` may be of this kind; asks the system, reads nothing.
    bool (*probe)(const std::string& path);
    // Serves `path` as this kind; null, with the cause noted, when it is not
    // one or cannot be opened (a store only as `creation` allows).
    std::unique_ptr<FsBackend> (*open)(const std::string& path, StoreCreation creation);
};

// The kinds in the order a path is tried: folder, zip, store.
const ContainerKind* ContainerKindsBegin();
const ContainerKind* ContainerKindsEnd();

// Serves `path` (normalised, its trailing ":" removed) as the first kind
// whose probe takes it and whose open succeeds; null otherwise, with the
// most telling of the kinds' causes noted: a zip64, encrypted or damaged
// archive reports the archive's cause, not the store's "not a database".
std::unique_ptr<FsBackend> OpenContainer(const std::string& path, StoreCreation creation);

}  // namespace kivfs
