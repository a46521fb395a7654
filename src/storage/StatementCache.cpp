#include "storage/StatementCache.h"

#include <algorithm>
#include <string_view>

#include "storage/SqliteFailure.h"

namespace kivfs {

// Only the entry is made here; preparing waits for the first use.
StatementCache::Entry* StatementCache::Pin(const char* sql) {
    auto entry = std::make_unique<Entry>();
    if (sql) entry->sql = sql;
    entry->pinned = true;
    entries_.push_back(std::move(entry));
    return entries_.back().get();
}

// The usual case costs a flag test; a second, nested user of the same text
// gets a statement of its own, as an unpinned text.
StatementCache::Entry* StatementCache::Take(Entry* pinned) {
    if (pinned->inUse) return pinned->sql.empty() ? nullptr : Take(pinned->sql.c_str());
    if (!Prepare(*pinned)) return nullptr;
    pinned->inUse = true;
    return pinned;
}

// Looks for the exact text among the entries not in use, else prepares it
// into a new entry. Comparing lengths first keeps a miss cheap.
StatementCache::Entry* StatementCache::Take(const char* sql) {
    if (!sql) return nullptr;
    const std::string_view text(sql);
    for (const auto& entry : entries_) {
        if (!entry->inUse && entry->statement && text == entry->sql) {
            entry->inUse = true;
            return entry.get();
        }
    }
    auto entry = std::make_unique<Entry>();
    entry->sql = sql;
    // Room is made before preparing: a push_back that failed to allocate
    // would drop a prepared statement unfinalized, and with it keep the
    // connection from ever closing.
    entries_.reserve(entries_.size() + 1);
    if (!Prepare(*entry)) return nullptr;
    MakeRoom();
    entry->inUse = true;
    entries_.push_back(std::move(entry));
    ++unpinned_;
    return entries_.back().get();
}

// Resetting ends the statement's read of the database at once, so a kept
// statement never holds a transaction open; clearing the bindings drops any
// pointer to a buffer that is about to go away. A statement without
// parameters (BEGIN, COMMIT) has nothing to clear.
void StatementCache::Give(Entry* entry) {
    sqlite3_reset(entry->statement);
    if (entry->hasParameters) sqlite3_clear_bindings(entry->statement);
    entry->inUse = false;
    entry->lastUse = ++clock_;
}

// Finalizes all statements; required before the connection closes.
void StatementCache::Clear() {
    for (const auto& entry : entries_) {
        sqlite3_finalize(entry->statement);
        entry->statement = nullptr;
    }
    entries_.erase(
        std::remove_if(entries_.begin(), entries_.end(),
                       [](const std::unique_ptr<Entry>& entry) { return !entry->pinned; }),
        entries_.end());
    unpinned_ = 0;
}

// An empty text prepares to no statement at all, which counts as a failure.
bool StatementCache::Prepare(Entry& entry) {
    if (entry.statement) return true;
    if (entry.sql.empty()) return false;
    sqlite3_stmt* statement = nullptr;
    const int result = sqlite3_prepare_v2(db_, entry.sql.c_str(), -1, &statement, nullptr);
    if (result != SQLITE_OK || !statement) {
        // Preparing reads the schema, so a lock held past the busy timeout
        // shows here too.
        if (result != SQLITE_OK) NoteSqliteFailure(db_, result);
        sqlite3_finalize(statement);
        return false;
    }
    entry.statement = statement;
    entry.hasParameters = sqlite3_bind_parameter_count(statement) > 0;
    return true;
}

// Entries in use are never evicted; when every unpinned entry is in use the
// cache grows beyond its capacity for a while.
void StatementCache::MakeRoom() {
    if (unpinned_ < kCapacity) return;
    auto oldest = entries_.end();
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        const Entry& entry = **it;
        if (entry.pinned || entry.inUse) continue;
        if (oldest == entries_.end() || entry.lastUse < (*oldest)->lastUse) oldest = it;
    }
    if (oldest == entries_.end()) return;
    sqlite3_finalize((*oldest)->statement);
    entries_.erase(oldest);
    --unpinned_;
}

}  // namespace kivfs
