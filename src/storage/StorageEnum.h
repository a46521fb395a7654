// StorageEnum: a listing of one directory of a store.
//
// The listing is read whole when it is built, in one query, and never touches
// the database again: rows changed later are not seen, also not after Reset.
// Entries are the files whose Path is the directory itself and one entry per
// sub-directory revealed by a deeper Path, named with a trailing "/", in the
// order the query yields the rows that reveal them.
#pragma once

#include <string>
#include <vector>

#include "backend/FsEnum.h"

namespace kivfs {

class StorageFs;

class StorageEnum : public FsEnum {
  public:
    // `directory` is the directory's text with its "/" (empty for the top).
    explicit StorageEnum(std::string directory);

    // Reads the listing from `store`; false when its query cannot be prepared.
    bool Build(StorageFs& store);

    bool MoveNext() override;
    void Reset() override;
    bool GetName(char** out) override;
    bool GetFullName(char** out) override;
    bool IsDirectory() override;

  private:
    struct Entry {
        bool isDirectory;
        std::string name;  // a file's FileName, or a directory's component + "/"
    };

    // Adds the entry a row with `path` and `fileName` reveals, if any.
    void AddRow(const std::string& path, const std::string& fileName);
    bool AtEnd() const { return cursor_ >= entries_.size(); }

    const std::string dirPath_;  // empty, or ends with "/"
    // entries_[0] is a placeholder (an empty file name) standing for the
    // position before the first entry; directory names are unique.
    std::vector<Entry> entries_;
    size_t cursor_ = 0;  // 0 = before the first entry; entries_.size() = end
};

}  // namespace kivfs
