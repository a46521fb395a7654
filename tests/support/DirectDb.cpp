#include "support/DirectDb.h"

#include <gtest/gtest.h>

namespace kivfs_test {

std::vector<std::string> Direct::Rows(const std::string& sql) {
    std::vector<std::string> rows;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << sqlite3_errmsg(db_) << " in " << sql;
        return rows;
    }
    while (sqlite3_step(statement) == SQLITE_ROW) {
        std::string row;
        for (int c = 0; c < sqlite3_column_count(statement); ++c) {
            if (c) row += "|";
            const unsigned char* text = sqlite3_column_text(statement, c);
            row += text ? std::string(reinterpret_cast<const char*>(text),
                                      sqlite3_column_bytes(statement, c))
                        : "<null>";
        }
        rows.push_back(row);
    }
    sqlite3_finalize(statement);
    return rows;
}

bool Direct::Exec(const std::string& sql) {
    return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::string Direct::One(const std::string& sql) {
    auto rows = Rows(sql);
    return rows.empty() ? "<none>" : rows.front();
}

std::vector<std::string> Direct::Names() {
    return Rows("select Path || FileName from FileStorage order by 1");
}

std::string Direct::Content(const std::string& path, const std::string& fileName) {
    return One("select Content from FileStorage where Path='" + path + "' and FileName='" +
               fileName + "'");
}

}  // namespace kivfs_test
