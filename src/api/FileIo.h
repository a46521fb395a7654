// Forwarding reads and writes to a file, shared by the exported file calls
// and the host bridge's callbacks, the two ways a host reaches an FsFile.
#pragma once

#include "api/Guarded.h"
#include "backend/FsFile.h"

namespace kivfs {

// A missing file or buffer, or a negative length, moves nothing and is refused
// as an argument: the backends' unsigned arithmetic would otherwise turn a
// negative length into an overrun of the caller's buffer. A length of 0 moves
// nothing and is no failure.
inline bool TransferAllowed(const FsFile* file, const void* buffer, int length) {
    if (length == 0 && file) return false;
    if (!file || !buffer || length < 0) return Refuse(false);
    return true;
}

// A read that reports an error (-1) without saying why counts as IO.
inline int ForwardRead(FsFile* file, void* buffer, int length) {
    if (!TransferAllowed(file, buffer, length)) return 0;
    const int got = file->Read(buffer, length);
    if (got < 0) NoteFallback(KIVFS_ERR_IO);
    return got;
}

inline int ForwardWrite(FsFile* file, const void* buffer, int length) {
    return TransferAllowed(file, buffer, length) ? file->Write(buffer, length) : 0;
}

// Position, seek and end/error of `file`; a missing file is refused as an
// argument with the call's failure value (0, -1, 0).
inline int ForwardTell(FsFile* file) {
    return file ? file->Tell() : Refuse(0);
}

inline int ForwardSeek(FsFile* file, int offset, int origin) {
    return file ? file->Seek(offset, origin) : Refuse(-1);
}

inline int ForwardError(FsFile* file) {
    return file ? file->Error() : Refuse(0);
}

// Runs a write and tells whether it failed: fewer bytes written than asked, or
// an argument refused. `written` receives the count for the caller.
inline bool WriteCompleted(FsFile* file, const void* buffer, int length, int& written) {
    written = ForwardWrite(file, buffer, length);
    return length >= 0 && written >= length;
}

}  // namespace kivfs
