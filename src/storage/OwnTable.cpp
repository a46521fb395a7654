#include "storage/OwnTable.h"

#include <string>
#include <string_view>

#include "storage/Statement.h"
#include "storage/StorageFs.h"

namespace kivfs {

// sqlite_master keeps the create statement as given, and an index made for
// the primary key has no statement; a trigger or another index adds a row.
OwnTable CheckOwnTable(StatementCache& statements) {
    const std::string tableName = kStorageTable;
    const std::string table = "CREATE TABLE " + tableName + " " + kStorageColumns;
    const std::string index = "sqlite_autoindex_" + tableName + "_1";
    Statement schema(
        statements, "SELECT type, name, sql FROM sqlite_master WHERE tbl_name = ? COLLATE NOCASE;");
    if (!schema.BindText(1, tableName)) return OwnTable::Unknown;
    int rows = 0;
    bool same = true;
    int result;
    while ((result = schema.Step()) == SQLITE_ROW) {
        ++rows;
        const bool isIndex = schema.ColumnView(0) == "index";
        std::string_view sql;
        const bool hasSql = schema.TextColumn(2, &sql);
        same = same && schema.ColumnView(1) == (isIndex ? index : tableName) &&
               (isIndex ? !hasSql : hasSql && sql == table);
    }
    if (result != SQLITE_DONE) return OwnTable::Unknown;
    return same && rows == 2 ? OwnTable::Yes : OwnTable::No;
}

}  // namespace kivfs
