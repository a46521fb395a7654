// ZipEnum: one level of an archive's directory tree, taken whole when the
// listing is created, so it never touches the archive again and may outlive
// its ZipFs.
//
// The listed directory's text is a plain, case-sensitive prefix of entry
// names: the empty text lists the root, "docs/" the entries below "docs/".
// An entry whose rest after the prefix holds no "/" is a file; otherwise the
// rest's first component, with its "/", is a directory, listed once at the
// place of the first entry that reveals it. Files are not de-duplicated.
#pragma once

#include <string>

#include <zzip/zzip.h>

#include "backend/SnapshotEnum.h"

namespace kivfs {

class ZipEnum : public SnapshotEnum {
  public:
    // Lists the entries of `archive` below `dirPath` (and rewinds the
    // archive's directory cursor); the archive is not kept.
    ZipEnum(ZZIP_DIR* archive, const std::string& dirPath);
};

}  // namespace kivfs
