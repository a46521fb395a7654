// StatementCache: prepared statements of one connection kept for reuse.
//
// Preparing a statement costs more than running a short one, and a store runs
// the same few texts (BEGIN, COMMIT, the INSERT of a new file, the statements
// on the file being worked on) again and again. The cache keeps the most
// recently used statements, keyed by their exact text. A statement in the
// cache is always reset with no bindings, so it holds no lock, no transaction
// and no pointer into a caller's buffer. Everything is finalized by Clear(),
// which the owner calls before it closes the connection.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

namespace kivfs {

class StatementCache {
  public:
    explicit StatementCache(sqlite3* db) : db_(db) {}
    ~StatementCache() { Clear(); }
    StatementCache(const StatementCache&) = delete;
    StatementCache& operator=(const StatementCache&) = delete;

    // A ready statement for `sql`: taken out of the cache, or newly prepared.
    // Null when the text does not prepare. The caller gives it back with Give.
    sqlite3_stmt* Take(const std::string& sql);
    // Resets the statement, drops its bindings and keeps it as the most
    // recently used one, finalizing the least recently used beyond capacity.
    void Give(std::string sql, sqlite3_stmt* statement);
    // Finalizes every kept statement.
    void Clear();

  private:
    struct Entry {
        std::string sql;
        sqlite3_stmt* statement;
    };

    // How many statements are kept: enough for the fixed texts and the
    // statements of the few files being worked on at once.
    static constexpr size_t kCapacity = 16;

    sqlite3* db_;                 // borrowed; outlives the cache's statements
    std::vector<Entry> entries_;  // least recently used first; all reset, unbound
};

}  // namespace kivfs
