// Statement: one prepared statement in use, given back when it goes out of
// scope.
//
// The statement comes from the connection's StatementCache and returns to it
// reset and unbound, on every path out of the operation that used it, so an
// operation never leaves a statement running or bound to its buffers. Taking
// a kept statement and giving it back allocates nothing.
#pragma once

#include <sqlite3.h>

#include <string>
#include <string_view>

#include "storage/SplitStoredName.h"
#include "storage/StatementCache.h"

namespace kivfs {

class Statement {
  public:
    // Takes a statement for `sql` (null text: none); Prepared() tells.
    Statement(StatementCache& cache, const char* sql);
    // Takes the statement of a pinned text; Prepared() tells.
    Statement(StatementCache& cache, StatementCache::Entry* pinned);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Prepared() const { return statement_ != nullptr; }
    // One step: SQLITE_ROW, SQLITE_DONE or an error code, whose cause is
    // noted for the current call unless its primary code is `expected` (a
    // refusal the caller handles).
    int Step(int expected = SQLITE_OK);
    // Steps once and tells whether the statement completed (SQLITE_DONE).
    bool Run() { return Step() == SQLITE_DONE; }
    // Steps once; a failure's cause is noted only when the current call has
    // none yet (for clean-up after a failure whose cause is already noted).
    bool RunAfterFailure();

    // The bound values must stay valid until the statement goes out of scope.
    bool BindText(int index, const std::string& text);
    bool BindBlob(int index, const void* bytes, int length);
    bool BindZeroBlob(int index, int length);
    bool BindInt64(int index, sqlite3_int64 value);
    // Binds a directory's range to parameters `index` and `index` + 1.
    bool BindPathRange(int index, const PathRange& range);

    sqlite3_int64 ColumnInt64(int column);
    const void* ColumnBlob(int column);
    int ColumnBytes(int column);
    // Whether the column holds a text (not NULL, a number or a blob), and
    // if so the text in `text`, valid until the next step.
    bool TextColumn(int column, std::string_view* text);
    // The column as text, valid until the next step; NULL gives "".
    std::string_view ColumnView(int column);
    // The column as text; a NULL value gives the empty text.
    std::string ColumnText(int column) { return std::string(ColumnView(column)); }

  private:
    StatementCache& cache_;
    StatementCache::Entry* entry_;  // where it returns; null when it did not prepare
    sqlite3_stmt* statement_;       // entry_'s statement, or null
};

}  // namespace kivfs
