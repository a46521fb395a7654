// The native probe used by SelectBackend.
#pragma once

#include <memory>
#include <string>

#include "backend/FsBackend.h"

namespace kivfs {

// A ready backend for `path` (normalised, one trailing ":" removed), or null.
std::unique_ptr<FsBackend> OpenNativeFs(const std::string& path);

}  // namespace kivfs
