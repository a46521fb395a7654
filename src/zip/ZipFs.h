// ZipFs: one zip archive, read only, as a container.
//
// zziplib reads the archive through the mapped handlers (ZipIoHandlers).
// Names are matched against entry names ignoring the case of ASCII letters;
// only explicit directory entries ("docs/") make a directory exist, while
// listings also show directories implied by the names below them. Entry files
// and listings may outlive the ZipFs: a file keeps the archive open until it
// is closed, and a listing is taken whole when it is created.
#pragma once

#include <memory>
#include <string>

#include <zzip/zzip.h>

#include "backend/FsBackend.h"
#include "zip/ZipIndex.h"

namespace kivfs {

class ZipFs : public ReadOnlyFsBackend {
  public:
    // Takes ownership of an archive opened by zziplib; never null.
    explicit ZipFs(ZZIP_DIR* archive) : archive_(archive) {}
    // Closes the archive; zziplib defers the real close, and with it the
    // unmapping, until the last entry file of the archive is closed.
    ~ZipFs() override;

    // The first entry whose whole name equals `name` ignoring the case of
    // ASCII letters (zziplib's own match); null when none matches or its
    // compression method is neither stored nor deflated. `mode` is ignored:
    // the entry is always opened for reading.
    std::unique_ptr<FsFile> OpenFile(const std::string& name, int mode) override;
    // Never null; a name matching nothing gives an empty listing.
    std::unique_ptr<FsEnum> CreateEnum(const std::string& name) override;
    // Both store true on a hit and leave *exists untouched on a miss.
    bool IsFileExist(const std::string& name, bool* exists) override;
    bool IsDirectoryExist(const std::string& name, bool* exists) override;

  private:
    // The index, filled on first use.
    const ZipIndex& Index();

    // Never null; closed by the destructor.
    ZZIP_DIR* archive_;
    // Null until the first existence query or the second OpenFile.
    std::unique_ptr<ZipIndex> index_;
    // Whether OpenFile ran before: the first open scans the central directory
    // itself, which costs less than indexing an archive that a full-path open
    // reads one entry of; from the second on the index pays off.
    bool openedBefore_ = false;
};

}  // namespace kivfs
