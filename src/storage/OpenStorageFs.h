// The storage probe used by SelectBackend (defined with StorageFs).
#pragma once

#include <memory>
#include <string>

#include "backend/FsBackend.h"

namespace kivfs {

// A ready backend for `path` (normalised, one trailing ":" removed), or null.
std::unique_ptr<FsBackend> OpenStorageFs(const std::string& path);

}  // namespace kivfs
