// The zip probe used by SelectBackend.
#pragma once

#include <memory>
#include <string>

#include "backend/FsBackend.h"
#include "zip/ArchiveReader.h"

namespace kivfs {

// A ready backend for `path` (normalised, one trailing ":" removed), or null;
// read by the reader this library was built with.
std::unique_ptr<FsBackend> OpenZipFs(const std::string& path);

// The same probe reading the archive with `open`: the comparison tests run
// one archive through both readers.
std::unique_ptr<FsBackend> OpenZipFsWith(const std::string& path, ArchiveOpener open);

}  // namespace kivfs
