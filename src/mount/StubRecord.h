// Making and deleting the StubOps records handed to the host's I/O layer.
// A record owns its file: the file lives exactly as long as the record.
#pragma once

#include <memory>

#include "kivfs.h"
#include "mount/BridgedFile.h"

namespace kivfs {

// A new record, zero-filled and then bound to `file` with the five callbacks.
StubOps* NewStubOps(std::unique_ptr<BridgedFile> file);

// Destroys the record's file (when there is one), then the record; null is
// ignored.
void DeleteStubOps(StubOps* ops);

}  // namespace kivfs
