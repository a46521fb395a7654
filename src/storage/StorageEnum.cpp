#include "storage/StorageEnum.h"

#include <sqlite3.h>

#include <utility>

#include "storage/SqlText.h"
#include "storage/Statement.h"
#include "storage/StorageFs.h"
#include "storage/TransactionScope.h"

namespace kivfs {

StorageEnum::StorageEnum(std::string directory) : SnapshotEnum(std::move(directory)) {}

// The pattern is the directory text then "%", not escaped: LIKE lets "%" and
// "_" in the text match anything and ignores ASCII case, so a row can match
// that does not begin with the text byte for byte; such a row is cut by the
// text's length all the same. A step that fails ends the listing with what
// was read.
bool StorageEnum::Build(StorageFs& store) {
    TransactionScope scope(store);
    SqlText sql("SELECT FileName, Path from %s where Path like %Q;", kStorageTable,
                (DirPath() + "%").c_str());
    Statement query(store.Statements(), sql.c_str());
    if (!query.Prepared()) return false;
    while (query.Step() == SQLITE_ROW) AddRow(query.ColumnText(1), query.ColumnText(0));
    return true;
}

// A file lies in the directory itself; any other row names, by its first
// component below the directory, a sub-directory, listed once.
void StorageEnum::AddRow(const std::string& path, const std::string& fileName) {
    const std::string& dirPath = DirPath();
    if (path == dirPath) return AddFile(fileName);
    if (path.size() < dirPath.size()) return;
    const size_t slash = path.find('/', dirPath.size());
    if (slash == std::string::npos) return;
    AddDirectory(path.substr(dirPath.size(), slash + 1 - dirPath.size()));
}

}  // namespace kivfs
