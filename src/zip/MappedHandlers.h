// The input handlers through which zziplib reads an archive file: each open
// archive is a MappedArchive, known to zziplib by its int handle
// (MappedArchiveTable). The signatures are those of zziplib's handler record
// (zzip/plugin.h), with its 64-bit offsets.
#pragma once

#include <zzip/zzip.h>

namespace kivfs {

// Maps the file at `path` read-only; its handle (>= 1), or -1. `flags` are
// zziplib's open flags, always read-only ones; they are not needed.
int MappedOpen(zzip_char_t* path, int flags, ...);
// Unmaps and closes the archive: 0, or -1 for an unknown handle.
int MappedClose(int handle);
// Bytes copied (0 at the end), or -1 for an unknown handle or a file cut
// short under the mapping.
zzip_ssize_t MappedRead(int handle, void* buffer, zzip_size_t length);
// The read position afterwards, or -1 for an unknown handle or a target
// outside the file.
zzip_off_t MappedSeek(int handle, zzip_off_t offset, int whence);
// The file's size, or -1 for an unknown handle.
zzip_off_t MappedSize(int handle);

}  // namespace kivfs
