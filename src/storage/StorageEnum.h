// StorageEnum: a listing of one directory of a store.
//
// The listing is read whole when it is built, from the store's folder picture
// (see FolderTree) or, for stores it does not model, in one query, and never
// touches the database again: rows changed later are not seen, also not
// after Reset.
// Entries are the files whose Path is the directory itself and one entry per
// sub-directory revealed by a deeper Path, named with a trailing "/", in the
// order the query yields the rows that reveal them.
#pragma once

#include <string>
#include <string_view>

#include "backend/SnapshotEnum.h"
#include "storage/FolderTree.h"

namespace kivfs {

class StoreConnection;

class StorageEnum : public SnapshotEnum {
  public:
    // `directory` is the directory's text with its "/" (empty for the top).
    explicit StorageEnum(std::string directory);
    // Reads the listing through `store`; false when it could not be read
    // whole.
    bool Build(StoreConnection& store);

  private:
    // Adds the entries of `folder` of the store's folder picture (null: an
    // empty folder).
    void AddFolder(const FolderTree::Folder* folder);
    // Adds the entry a row with `path` and `fileName` reveals, if any.
    void AddRow(std::string_view path, std::string_view fileName);
};

}  // namespace kivfs
