// NativeFile: one real file, open for the whole life of the object.
//
// Reads, writes and positions go straight to the file's buffered stream.
// Error reports only the end-of-file indicator, which is set once a read has
// run into the end (not when a read stops exactly at it) and cleared by a
// successful Seek. Seek answers 0 on success and non-zero on failure, not the
// new position. The length cannot be changed through this file.
#pragma once

#include <memory>

#include "backend/FsFile.h"
#include "platform/FileStream.h"

namespace kivfs {

class NativeFile : public FsFile {
  public:
    // Takes over an open stream (never null).
    explicit NativeFile(std::unique_ptr<FileStream> stream);

    int Read(void* buffer, int length) override;
    int Write(const void* buffer, int length) override;
    int Tell() override;
    int Seek(int offset, int origin) override;
    int Error() override;
    bool Resize(unsigned int newSize) override;

  private:
    std::unique_ptr<FileStream> stream_;  // never null; closed with the file
};

}  // namespace kivfs
