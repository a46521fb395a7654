// StatementCache: prepared statements of one connection kept for reuse.
//
// Preparing a statement costs more than running a short one, and a store runs
// the same few texts again and again. Two kinds of entry are kept:
// - pinned entries, for the texts that never change (BEGIN, COMMIT, the file
//   lookup, the INSERT of a new file): the owner pins each once and holds on
//   to the entry, so using it needs no text and no search. Prepared on first
//   use, never evicted.
// - the other texts, found by their exact text; the most recently used are
//   kept.
// Entries stay in place while they are in use, so taking and giving back a
// kept statement allocates nothing. A statement not in use is always reset
// with no bindings, so it holds no lock, no transaction and no pointer into a
// caller's buffer. Everything is finalized by Clear(), which the owner calls
// before it closes the connection.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kivfs {

class StatementCache {
  public:
    struct Entry {
        std::string sql;                    // the exact text; fixed while kept
        sqlite3_stmt* statement = nullptr;  // null until prepared
        bool hasParameters = false;         // the text has "?" parameters to clear
        bool pinned = false;                // held by the owner; never evicted
        bool inUse = false;                 // taken and not given back yet
        uint64_t lastUse = 0;               // when last given back (eviction order)
    };

    explicit StatementCache(sqlite3* db) : db_(db) {}
    ~StatementCache() { Clear(); }
    StatementCache(const StatementCache&) = delete;
    StatementCache& operator=(const StatementCache&) = delete;

    // Keeps `sql` (null: a text that never prepares) as a pinned entry,
    // prepared on first use. The entry lives as long as the cache.
    Entry* Pin(const char* sql);
    // The pinned entry ready for use; while it is in use already (a nested
    // use of the same text), another entry for its text. Null when the text
    // does not prepare. The caller gives it back with Give.
    Entry* Take(Entry* pinned);
    // An entry not in use with exactly the text `sql` (null: none), or one
    // newly prepared for it. Null when the text does not prepare.
    Entry* Take(const char* sql);
    // Resets the statement and drops its bindings, if it can have any; the
    // entry stays kept.
    void Give(Entry* entry);
    // Finalizes every statement and forgets the unpinned entries; pinned
    // entries remain, unprepared.
    void Clear();

  private:
    // Prepares `entry`'s text unless it is prepared; false when it does not
    // prepare.
    bool Prepare(Entry& entry);
    // Finalizes the least recently used unpinned entry not in use, when the
    // unpinned entries fill the capacity.
    void MakeRoom();

    // How many unpinned statements are kept: enough for the statements of
    // the few files and listings being worked on at once.
    static constexpr size_t kCapacity = 16;

    sqlite3* db_;  // borrowed; outlives the cache's statements
    // Every entry, pinned or not; each owned here so that its address stays
    // fixed for its users. Statements of entries not in use are reset and
    // unbound.
    std::vector<std::unique_ptr<Entry>> entries_;
    size_t unpinned_ = 0;  // how many of entries_ are not pinned
    uint64_t clock_ = 0;   // counts the Give calls
};

}  // namespace kivfs
