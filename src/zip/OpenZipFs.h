// The zip probe used by SelectBackend.
#pragma once

#include <memory>
#include <string>

#include "backend/FsBackend.h"

namespace kivfs {

// A ready backend for `path` (normalised, one trailing ":" removed), or null.
std::unique_ptr<FsBackend> OpenZipFs(const std::string& path);

}  // namespace kivfs
