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

#include <cstddef>
#include <string>
#include <vector>

#include <zzip/zzip.h>

#include "backend/FsEnum.h"

namespace kivfs {

class ZipEnum : public FsEnum {
  public:
    // Lists the entries of `archive` below `dirPath` (and rewinds the
    // archive's directory cursor); the archive is not kept.
    ZipEnum(ZZIP_DIR* archive, const std::string& dirPath);

    bool MoveNext() override;
    void Reset() override;
    // Before the first MoveNext (and after Reset) the name is empty.
    bool GetName(char** out) override;
    // dirPath followed by the name.
    bool GetFullName(char** out) override;
    bool IsDirectory() override;

  private:
    struct ZipEnumEntry {
        bool isDirectory;
        // Relative to dirPath_; a directory's ends with "/".
        std::string name;
    };

    // The current entry, or null at the end.
    const ZipEnumEntry* Current() const;

    // entries_[0] is a placeholder (an empty file name) standing for the place
    // before the first entry; the real entries follow in central-directory
    // order, directory names unique among them.
    std::vector<ZipEnumEntry> entries_;
    // The listed directory's text as given.
    std::string dirPath_;
    // 0 (the placeholder) .. entries_.size() (the end).
    std::size_t cursor_ = 0;
};

}  // namespace kivfs
