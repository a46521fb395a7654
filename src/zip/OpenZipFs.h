// The zip kind's open (kinds/ContainerKinds).
#pragma once

#include <memory>
#include <string>

#include "backend/OpenedBackend.h"
#include "zip/ArchiveReader.h"

namespace kivfs {

// A ready backend for `path` (normalised, one trailing ":" removed), read by
// the reader this library was built with; or why not: no cause for a file
// that is no archive at all (the store may take it), the archive's refusal
// (zip64, encryption, damage) for one that looks like an archive. Nothing is
// noted.
OpenedBackend OpenZipFs(const std::string& path);

// The same open reading the archive with `open`: the comparison tests run
// one archive through both readers.
OpenedBackend OpenZipFsWith(const std::string& path, ArchiveOpener open);

}  // namespace kivfs
