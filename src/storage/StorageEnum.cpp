#include "storage/StorageEnum.h"

#include <utility>

#include "storage/StoreConnection.h"
#include "storage/TransactionScope.h"

namespace kivfs {

StorageEnum::StorageEnum(std::string directory) : SnapshotEnum(std::move(directory)) {}

// The rows are those whose Path begins with the directory's text byte for
// byte (see PathRange). A listing that could not be read to its end (a lock
// held past the busy timeout, an I/O error) is a failure: part of a listing
// would look like a directory that holds less than it does.
bool StorageEnum::Build(StoreConnection& store) {
    TransactionScope scope(store, TransactionScope::Access::Read);
    if (!scope.Began()) return false;
    switch (store.RefreshFolders()) {
        case FolderTree::Use::Ready:
            AddFolder(store.Folders().Find(DirPath()));
            return scope.End(true);
        case FolderTree::Use::Failed:
            return scope.End(false);
        case FolderTree::Use::ByQuery:
            break;
    }
    const bool listed = store.ListDirectory(
        DirPath(),
        [this](std::string_view path, std::string_view fileName) { AddRow(path, fileName); });
    return scope.End(listed);
}

// The picture keeps a folder's entries in the order the query yields the
// rows that reveal them; the same additions give the same list.
void StorageEnum::AddFolder(const FolderTree::Folder* folder) {
    if (!folder) return;
    Reserve(folder->entries.size());
    for (const FolderTree::Entry& entry : folder->entries) {
        if (entry.folder) {
            AddDirectory(entry.name);
        } else {
            AddFile(entry.name);
        }
    }
}

// A file lies in the directory itself; any other row names, by its first
// component below the directory, a sub-directory, listed once.
void StorageEnum::AddRow(std::string_view path, std::string_view fileName) {
    const std::string& dirPath = DirPath();
    if (path == dirPath) return AddFile(fileName);
    const size_t slash = path.find('/', dirPath.size());
    if (slash == std::string_view::npos) return;
    AddDirectory(path.substr(dirPath.size(), slash + 1 - dirPath.size()));
}

}  // namespace kivfs
