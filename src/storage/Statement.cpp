#include "storage/Statement.h"

#include "backend/Failure.h"
#include "storage/SqliteFailure.h"

namespace kivfs {

// Looks the text up in the cache, preparing it on a miss.
Statement::Statement(StatementCache& cache, const char* sql)
    : cache_(cache), entry_(cache.Take(sql)), statement_(entry_ ? entry_->statement : nullptr) {}

// No text and no search: the pinned entry is at hand.
Statement::Statement(StatementCache& cache, StatementCache::Entry* pinned)
    : cache_(cache), entry_(cache.Take(pinned)), statement_(entry_ ? entry_->statement : nullptr) {}

// Hands the statement back, reset and unbound.
Statement::~Statement() {
    if (entry_) cache_.Give(entry_);
}

// A statement that did not prepare reports misuse rather than crash (its
// cause was noted when it failed to prepare).
int Statement::Step(int expected) {
    if (!statement_) return SQLITE_MISUSE;
    const int result = sqlite3_step(statement_);
    if (result != SQLITE_ROW && result != SQLITE_DONE && (result & 0xff) != expected) {
        NoteSqliteFailure(sqlite3_db_handle(statement_), result);
    }
    return result;
}

// The first failure's cause says what the caller was refused; a clean-up
// that fails as well (a ROLLBACK that cannot read its journal back) only
// speaks when nothing did.
bool Statement::RunAfterFailure() {
    if (!statement_) return false;
    const int result = sqlite3_step(statement_);
    if (result == SQLITE_DONE) return true;
    if (result != SQLITE_ROW)
        NoteFallback(SqliteFailureCode(sqlite3_db_handle(statement_), result));
    return false;
}

// Text binds point at the caller's string (SQLITE_STATIC): it outlives the
// statement's use, and copying every name would cost for nothing.
bool Statement::BindText(int index, const std::string& text) {
    return statement_ &&
           sqlite3_bind_text(statement_, index, text.c_str(), -1, SQLITE_STATIC) == SQLITE_OK;
}

// A null pointer binds as NULL, which is how an empty blob read from a row
// comes back: the copy of an empty file stores NULL, as its source reads.
bool Statement::BindBlob(int index, const void* bytes, int length) {
    return statement_ &&
           sqlite3_bind_blob(statement_, index, bytes, length, SQLITE_STATIC) == SQLITE_OK;
}

// `length` zero bytes, without a buffer to hold them.
bool Statement::BindZeroBlob(int index, int length) {
    return statement_ && sqlite3_bind_zeroblob(statement_, index, length) == SQLITE_OK;
}

// A rowid.
bool Statement::BindInt64(int index, sqlite3_int64 value) {
    return statement_ && sqlite3_bind_int64(statement_, index, value) == SQLITE_OK;
}

// The top's range has no end among texts: a zero-length blob, which SQLite
// sorts after every text, stands for it.
bool Statement::BindPathRange(int index, const PathRange& range) {
    static const unsigned char kNoBytes = 0;
    return BindText(index, range.first) &&
           (range.end.empty() ? BindBlob(index + 1, &kNoBytes, 0) : BindText(index + 1, range.end));
}

// The column as a 64-bit integer (a rowid).
sqlite3_int64 Statement::ColumnInt64(int column) {
    return sqlite3_column_int64(statement_, column);
}

// Valid until the next step or until the statement goes out of scope.
const void* Statement::ColumnBlob(int column) {
    return sqlite3_column_blob(statement_, column);
}

// Read after ColumnBlob, as SQLite asks, so no conversion intervenes.
int Statement::ColumnBytes(int column) {
    return sqlite3_column_bytes(statement_, column);
}

// The value is fetched once and read without a conversion. Its functions
// are not guarded by the connection's mutex; a connection is used by one
// thread at a time here anyway.
bool Statement::TextColumn(int column, std::string_view* text) {
    sqlite3_value* value = sqlite3_column_value(statement_, column);
    if (sqlite3_value_type(value) != SQLITE_TEXT) return false;
    const unsigned char* bytes = sqlite3_value_text(value);
    if (!bytes) return false;  // no memory for it
    *text = std::string_view(reinterpret_cast<const char*>(bytes),
                             static_cast<size_t>(sqlite3_value_bytes(value)));
    return true;
}

// SQLite's own buffer, read after the text as SQLite asks; no copy.
std::string_view Statement::ColumnView(int column) {
    const unsigned char* text = sqlite3_column_text(statement_, column);
    if (!text) return std::string_view();
    return std::string_view(reinterpret_cast<const char*>(text),
                            static_cast<size_t>(sqlite3_column_bytes(statement_, column)));
}

}  // namespace kivfs
