// The input handlers through which a zip reader reads an archive: each open
// archive is a MappedArchive, known to the reader by its int handle
// (MappedArchiveTable). The types are plain ones with 64-bit offsets; each
// reader fills its own handler record with these (zziplib's plugin record
// through small adapters, kzip's KzipIo directly).
#pragma once

#include <cstddef>
#include <cstdint>

namespace kivfs {

// Maps the file at `path` read-only; its handle (>= 1), or -1. `flags` are
// the reader's open flags, always read-only ones; they are not needed.
int MappedOpen(const char* path, int flags, ...);
// Unmaps and closes the archive: 0, or -1 for an unknown handle.
int MappedClose(int handle);
// Bytes copied (0 at the end), or -1 for an unknown handle or a file cut
// short under the mapping.
std::int64_t MappedRead(int handle, void* buffer, std::size_t length);
// The read position afterwards, or -1 for an unknown handle or a target
// outside the file.
std::int64_t MappedSeek(int handle, std::int64_t offset, int whence);
// The file's size, or -1 for an unknown handle.
std::int64_t MappedSize(int handle);

}  // namespace kivfs
