// ZipEnum: one level of an archive's directory tree, taken whole when the
// listing is created, so it never touches the archive again and may outlive
// its ZipFs.
//
// The listed directory's text ("" or ending with "/") is a plain,
// case-sensitive prefix of entry names: the empty text lists the root,
// "docs/" the entries below "docs/".
// An entry whose rest after the prefix holds no "/" is a file; otherwise the
// rest's first component, with its "/", is a directory, listed once at the
// place of the first entry that reveals it. Files are not de-duplicated.
// The entries come made, from ZipTree.
#pragma once

#include <memory>
#include <string>

#include "backend/SnapshotEnum.h"

namespace kivfs {

class ZipEnum : public SnapshotEnum {
  public:
    // Walks `listing` (never null), the entries below `dirPath`.
    ZipEnum(std::string dirPath, std::shared_ptr<const SnapshotListing> listing)
        : SnapshotEnum(std::move(dirPath), std::move(listing)) {}
};

}  // namespace kivfs
