// Forwarding reads and writes to a file, shared by the exported file calls
// and the host bridge's callbacks, the two ways a host reaches an FsFile.
#pragma once

#include "backend/FsFile.h"

namespace kivfs {

// A null buffer or a length that is not positive moves nothing: the backends'
// unsigned arithmetic would otherwise turn a negative length into an overrun
// of the caller's buffer.
inline int ForwardRead(FsFile* file, void* buffer, int length) {
    return file && buffer && length > 0 ? file->Read(buffer, length) : 0;
}

inline int ForwardWrite(FsFile* file, const void* buffer, int length) {
    return file && buffer && length > 0 ? file->Write(buffer, length) : 0;
}

}  // namespace kivfs
