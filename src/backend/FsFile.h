// FsFile: one open file inside a container.
//
// Slots, in order: destructor, Read, Write, Tell, Seek, Error, Resize.
// Counts, positions and offsets are 32-bit. Every caller passes the results
// through unchanged; in particular Seek's result differs by backend (the new
// position for stores and archives, 0 or non-zero for real files).
#pragma once

#include "backend/FsObject.h"

namespace kivfs {

class FsFile : public FsObject {
  public:
    // Copies up to `length` bytes into `buffer`; returns how many were copied
    // (0 at the end). A negative length copies nothing and returns 0.
    virtual int Read(void* buffer, int length) = 0;
    // Writes `length` bytes; returns how many were written.
    virtual int Write(const void* buffer, int length) = 0;
    // The current position in bytes from the start.
    virtual int Tell() = 0;
    // origin 0 = from the start, 1 = from the current position, 2 = from the end.
    virtual int Seek(int offset, int origin) = 0;
    // Non-zero at the end of the file (see each backend for exactly when).
    virtual int Error() = 0;
    // Sets the file's length; only stores support it.
    virtual bool Resize(unsigned int newSize) = 0;
};

}  // namespace kivfs
