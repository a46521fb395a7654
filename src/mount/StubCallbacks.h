// The five callbacks of a StubOps record. The host's I/O layer calls them
// with the record's `file` value first; they forward to that FsFile and pass
// its results back unchanged. A null `file` gives 0 (-1 from the seek).
#pragma once

#include "backend/FsFile.h"

namespace kivfs {

// The FsFile behind a record's `file` value, which always holds an FsFile*.
inline FsFile* StubFile(void* file) {
    return static_cast<FsFile*>(file);
}

int StubRead(void* file, void* buffer, int length);
int StubWrite(void* file, const void* buffer, int length);
int StubTell(void* file);
int StubSeek(void* file, int offset, int origin);
// The file's end/error integer as it stands, not reduced to a boolean.
int StubError(void* file);

}  // namespace kivfs
