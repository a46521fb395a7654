// ContainerKinds: the kinds of container a path may name, in the order they
// are tried, as one table.
//
// A kind is {id, probe, open}: the probe tells from what the path names on
// disk whether the kind may take it (a kind's probe may leave the real test
// to its open), and the open serves the path or says why not as a plain
// value (OpenedBackend). Real directories come first, archives next, and the
// store, which creates what is missing, last. Adding a kind is one row of
// the table.
//
// The table sits above the three backends and below the exported calls and
// the mounts, which reach it through SelectBackend and ContainerKindOf
// (api/Container.h).
#pragma once

#include <string>

#include "backend/OpenedBackend.h"
#include "storage/OpenStorageFs.h"

namespace kivfs {

struct ContainerKind {
    int id;  // KIVFS_KIND_FOLDER, _ZIP or _STORE (kivfs.h)
    // Whether `path` may be of this kind; asks the system, reads nothing.
    bool (*probe)(const std::string& path);
    // Serves `path` as this kind, or says why not (a store only as
    // `creation` allows). Notes nothing.
    OpenedBackend (*open)(const std::string& path, StoreCreation creation);
};

// What the kinds made of a path.
struct KindChoice {
    // The backend of the first kind that served the path; else the most
    // telling of the kinds' causes (a zip64, encrypted or damaged archive
    // reports the archive's cause, not the store's "not a database").
    OpenedBackend opened;
    // The id of the kind that served the path or whose refusal is the
    // cause; 0 when the cause is no kind's own (a file no kind recognises).
    int kind = 0;
};

// Tries `path` (normalised, its trailing ":" removed) with each kind whose
// probe takes it, in the table's order. Notes nothing.
KindChoice ChooseKind(const std::string& path, StoreCreation creation);

// ChooseKind's backend; null otherwise, with the cause noted (the one note
// of the whole choice).
std::unique_ptr<FsBackend> OpenContainer(const std::string& path, StoreCreation creation);

}  // namespace kivfs
