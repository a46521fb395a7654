// ZipFile: one entry of a zip archive, open for reading.
//
// It yields the entry's uncompressed bytes whether the entry is stored or
// deflated; zziplib copies or inflates them piece by piece through the
// mapped handlers. The open entry counts as an open stream of its archive,
// which keeps the archive (and its mapping) alive until the file is closed,
// even after its ZipFs is gone.
#pragma once

#include <zzip/zzip.h>

#include "backend/FsFile.h"

namespace kivfs {

class ZipFile : public FsFile {
  public:
    // Takes ownership of an open entry stream; never null.
    explicit ZipFile(ZZIP_FILE* entry) : entry_(entry) {}
    // Closes the stream; the last stream of an archive whose ZipFs is gone
    // also frees the archive.
    ~ZipFile() override;

    // Uncompressed bytes: the count, 0 at the end or for a length that is not
    // positive, -1 when the archive cannot be read or its data is corrupt.
    int Read(void* buffer, int length) override;
    // Archives are read only: writes nothing and returns 0.
    int Write(const void*, int) override { return 0; }
    // The offset in the uncompressed bytes.
    int Tell() override;
    // The new offset, or -1. A target past the end leaves the offset where it
    // was; a target before the start leaves it at 0. Moving back in a
    // deflated entry inflates again from its start.
    int Seek(int offset, int origin) override;
    // 1 when the offset is at or past the entry's uncompressed size.
    int Error() override;
    // Archives are read only: false.
    bool Resize(unsigned int) override { return false; }

  private:
    // The entry's uncompressed size.
    int Size();

    // Never null.
    ZZIP_FILE* entry_;
};

}  // namespace kivfs
