// NativeFile: one real file, open for the whole life of the object once
// NativeFs has handed it out.
//
// Reads, writes and positions go straight to the file's buffered stream.
// Error reports only the end-of-file indicator, which is set once a read has
// run into the end (not when a read stops exactly at it) and cleared by a
// successful Seek. Seek answers 0 on success and non-zero on failure, not the
// new position. The length cannot be changed through this file. A transfer
// or move the system refuses notes its reason for the calling export.
#pragma once

#include <string>

#include "backend/FsFile.h"
#include "platform/FileStream.h"

namespace kivfs {

class NativeFile : public FsFile {
  public:
    // A file whose stream is not open yet.
    NativeFile() = default;
    // Closes the stream; the cause of bytes that could not be written out at
    // the last moment is noted for the closing call.
    ~NativeFile() override;

    // Opens the stream (see FileStream::Open): KIVFS_OK, or the cause of the
    // failure, which leaves it closed and the file may be opened again.
    int Open(const std::string& path, const char* modeText) { return stream_.Open(path, modeText); }

    int Read(void* buffer, int length) override;
    int Write(const void* buffer, int length) override;
    int Tell() override;
    int Seek(int offset, int origin) override;
    int Error() override;
    bool Resize(unsigned int newSize) override;

  private:
    // Open in every file handed out; closed with the file.
    FileStream stream_;
};

}  // namespace kivfs
