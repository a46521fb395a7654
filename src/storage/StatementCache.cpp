#include "storage/StatementCache.h"

#include <utility>

namespace kivfs {

// Looks for the exact text among the kept statements (newest first, where the
// hits are), else prepares it.
sqlite3_stmt* StatementCache::Take(const std::string& sql) {
    for (size_t i = entries_.size(); i-- > 0;) {
        if (entries_[i].sql == sql) {
            sqlite3_stmt* statement = entries_[i].statement;
            entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
            return statement;
        }
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        return nullptr;
    }
    return statement;
}

// Resetting ends the statement's read of the database at once, so a kept
// statement never holds a transaction open; clearing the bindings drops any
// pointer to a buffer that is about to go away.
void StatementCache::Give(std::string sql, sqlite3_stmt* statement) {
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    if (entries_.size() == kCapacity) {
        sqlite3_finalize(entries_.front().statement);
        entries_.erase(entries_.begin());
    }
    entries_.push_back(Entry{std::move(sql), statement});
}

// Finalizes all kept statements; required before the connection closes.
void StatementCache::Clear() {
    for (Entry& entry : entries_) sqlite3_finalize(entry.statement);
    entries_.clear();
}

}  // namespace kivfs
