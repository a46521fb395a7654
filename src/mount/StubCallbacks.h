// The five callbacks of a StubOps record. The host's I/O layer calls them
// with the record's `file` value first, a BridgedFile; they forward to its
// FsFile under its mount's lock and pass the results back unchanged. A null
// `file` gives 0 (-1 from the seek). Like the exported calls, they publish why
// they failed and throw nothing.
#pragma once

#include "kivfs.h"

namespace kivfs {

// KIVFS_CALL: the convention the StubOps fields declare, whatever the
// compiler's default.
int KIVFS_CALL StubRead(void* file, void* buffer, int length);
int KIVFS_CALL StubWrite(void* file, const void* buffer, int length);
int KIVFS_CALL StubTell(void* file);
int KIVFS_CALL StubSeek(void* file, int offset, int origin);
// The file's end/error integer as it stands, not reduced to a boolean.
int KIVFS_CALL StubError(void* file);

}  // namespace kivfs
