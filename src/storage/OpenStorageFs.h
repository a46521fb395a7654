// The store kind's open (kinds/ContainerKinds), defined with StorageFs.
#pragma once

#include <memory>
#include <string>

#include "backend/OpenedBackend.h"

namespace kivfs {

// Whether opening a store may create it: a call that only reads never
// creates or changes a container.
enum class StoreCreation {
    Allowed,  // a missing or empty file becomes a new store; a database gains the table
    Refused,  // only an existing store opens; anything else gives NOT_FOUND, untouched
};

// A ready backend for `path` (normalised, one trailing ":" removed), or why
// not (never KIVFS_OK then: the store takes any path it can). Nothing is
// noted.
OpenedBackend OpenStorageFs(const std::string& path,
                            StoreCreation creation = StoreCreation::Allowed);

}  // namespace kivfs
