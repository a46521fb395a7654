#include "storage/Statement.h"

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

// A statement that did not prepare reports misuse rather than crash.
int Statement::Step() {
    return statement_ ? sqlite3_step(statement_) : SQLITE_MISUSE;
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

// Copies the text out, so it outlives the next step.
std::string Statement::ColumnText(int column) {
    const unsigned char* text = sqlite3_column_text(statement_, column);
    if (!text) return std::string();
    return std::string(reinterpret_cast<const char*>(text),
                       static_cast<size_t>(sqlite3_column_bytes(statement_, column)));
}

}  // namespace kivfs
