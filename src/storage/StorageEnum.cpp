#include "storage/StorageEnum.h"

#include <sqlite3.h>

#include <utility>

#include "storage/SqlText.h"
#include "storage/Statement.h"
#include "storage/StorageFs.h"
#include "storage/TransactionScope.h"

namespace kivfs {

// Starts with the placeholder entry only; Build fills the rest.
StorageEnum::StorageEnum(std::string directory)
    : dirPath_(std::move(directory)), entries_{Entry{false, std::string()}} {}

// The pattern is the directory text then "%", not escaped: LIKE lets "%" and
// "_" in the text match anything and ignores ASCII case, so a row can match
// that does not begin with the text byte for byte; such a row is cut by the
// text's length all the same. A step that fails ends the listing with what
// was read.
bool StorageEnum::Build(StorageFs& store) {
    TransactionScope scope(store);
    SqlText sql("SELECT FileName, Path from %s where Path like %Q;", kStorageTable,
                (dirPath_ + "%").c_str());
    Statement query(store.Statements(), sql.c_str());
    if (!query.Prepared()) return false;
    while (query.Step() == SQLITE_ROW) AddRow(query.ColumnText(1), query.ColumnText(0));
    cursor_ = 0;
    return true;
}

// A file lies in the directory itself; any other row names, by its first
// component below the directory, a sub-directory, listed once.
void StorageEnum::AddRow(const std::string& path, const std::string& fileName) {
    if (path == dirPath_) {
        entries_.push_back(Entry{false, fileName});
        return;
    }
    if (path.size() < dirPath_.size()) return;
    const size_t slash = path.find('/', dirPath_.size());
    if (slash == std::string::npos) return;
    std::string name = path.substr(dirPath_.size(), slash + 1 - dirPath_.size());
    for (const Entry& entry : entries_) {
        if (entry.name == name) return;
    }
    entries_.push_back(Entry{true, std::move(name)});
}

// At the end it stays there until Reset.
bool StorageEnum::MoveNext() {
    if (AtEnd()) return false;
    ++cursor_;
    return !AtEnd();
}

// Back onto the placeholder; the snapshot is not read again.
void StorageEnum::Reset() {
    cursor_ = 0;
}

// Before the first MoveNext this is the placeholder's empty name.
bool StorageEnum::GetName(char** out) {
    if (!out || AtEnd()) return false;
    *out = NewNameText(entries_[cursor_].name);
    return true;
}

// A directory's full name always ends with "/".
bool StorageEnum::GetFullName(char** out) {
    if (!out || AtEnd()) return false;
    std::string full = dirPath_ + entries_[cursor_].name;
    if (entries_[cursor_].isDirectory && (full.empty() || full.back() != '/')) full += '/';
    *out = NewNameText(full);
    return true;
}

// Nothing at the end is a directory.
bool StorageEnum::IsDirectory() {
    return !AtEnd() && entries_[cursor_].isDirectory;
}

}  // namespace kivfs
