#include "storage/StorageFile.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "storage/SqlText.h"
#include "storage/Statement.h"
#include "storage/StorageFs.h"
#include "storage/TransactionScope.h"

namespace kivfs {

namespace {

// The longest Content the connection stores: SQLite's length limit (never
// above INT_MAX, as SQLite measures values with an int). A longer value is
// refused before it is built: SQLite would only refuse it after the whole
// value, up to 4 GiB that a single Resize can ask for, was made in memory.
uint64_t MaxContent(sqlite3* db) {
    return static_cast<uint64_t>(sqlite3_limit(db, SQLITE_LIMIT_LENGTH, -1));
}

}  // namespace

// Binds nothing yet: the row is looked up on first use.
StorageFile::StorageFile(StorageFs& owner, StoredName keys)
    : owner_(owner), keys_(std::move(keys)), blob_(owner.Blobs()) {}

// A row made meanwhile by another handle or by CopyFile is found too.
bool StorageFile::FindRow() {
    TransactionScope scope(owner_);
    const int64_t rowId = owner_.FindRowId(keys_);
    if (rowId <= 0) return false;
    rowId_ = rowId;
    return true;
}

// Rowids are reused: a file's row deleted, the next row stored may get its
// rowid, and a file that went on by rowid would read and write that other
// file. So a rowid learned earlier is used again only while it is still the
// row stored under this file's name (a rename moves the row away from the
// name just as a deletion does); otherwise the file acts as on a deleted row.
bool StorageFile::HoldsItsRow() {
    return rowId_ != 0 && owner_.FindRowId(keys_) == rowId_;
}

// A NULL Content (the copy of an empty file) opens no handle and reads as
// empty. Another handle may have shortened the row meanwhile; the position
// then falls back to the new end, so that it never lies past the data. A
// rowid just found by name needs no second look.
bool StorageFile::OpenBlob(bool rowJustFound) {
    CloseBlob();
    if (!rowJustFound && !HoldsItsRow()) return false;
    if (!blob_.Open(owner_.Db(), kStorageTable, "Content", rowId_)) return false;
    size_ = static_cast<uint32_t>(blob_.Bytes());
    position_ = std::min(position_, size_);
    return true;
}

// Opening the handle also refreshes the size; its failure (a NULL Content)
// leaves the file reading as empty.
bool StorageFile::EnsureRow() {
    const bool found = rowId_ == 0;
    if (found && !FindRow()) return false;
    if (!blob_.IsOpen()) OpenBlob(found);
    return true;
}

// One retry after reopening: a handle goes stale when its row is rewritten
// and is closed at every commit.
template <typename Attempt>
bool StorageFile::WithBlob(Attempt attempt) {
    if (!blob_.IsOpen()) OpenBlob();
    if (attempt()) return true;
    OpenBlob();
    return attempt();
}

// A negative length reads nothing: as an unsigned count it would overrun the
// caller's buffer.
int StorageFile::Read(void* buffer, int length) {
    if (length <= 0 || !EnsureRow()) return 0;
    const uint32_t n = std::min(static_cast<uint32_t>(length), size_ - position_);
    if (n == 0) return 0;
    const bool read = WithBlob(
        [&] { return blob_.Read(buffer, static_cast<int>(n), static_cast<int>(position_)); });
    if (!read) return 0;
    position_ += n;
    return static_cast<int>(n);
}

// Writes inside the stored length go through the blob handle; a write that
// runs past the end stores the whole new Content in one statement. A
// negative length writes nothing.
int StorageFile::Write(const void* buffer, int length) {
    if (length <= 0) return 0;
    EnsureRow();  // a missing row is created below
    const uint32_t count = static_cast<uint32_t>(length);
    const uint64_t end = uint64_t{position_} + count;
    if (end <= size_) {
        const bool written =
            WithBlob([&] { return blob_.Write(buffer, length, static_cast<int>(position_)); });
        if (!written) {
            KeepsItsRow();
            return 0;
        }
        position_ += count;
        return length;
    }
    if (end > MaxContent(owner_.Db())) return 0;
    TransactionScope scope(owner_);
    if (!KeepsItsRow()) return 0;
    bool stored = false;
    if (position_ > 0) {
        stored = RewriteContent(position_, buffer, count, static_cast<uint32_t>(end));
    } else if (rowId_ != 0) {
        stored = ReplaceContent(buffer, count);
    } else {
        stored = InsertRow(buffer, count);
    }
    if (!stored) return 0;
    position_ = static_cast<uint32_t>(end);
    SetSize(position_);
    return length;
}

// Inside an explicit transaction the handle is left to the store for the
// next file to reuse; CommitTrans closes it before it commits.
StorageFile::~StorageFile() {
    if (owner_.InTrans()) {
        blob_.Park();
        return;
    }
    CloseBlob();
}

// In-place writes made outside an explicit transaction are committed when
// their handle closes. Left to SQLite, that commit runs as the handle closes
// and, refused because another connection is reading, rolls the writes back.
// Closed at the end of a transaction scope instead, the handle closes first
// and the scope's COMMIT follows; a refused COMMIT leaves the writes in the
// open transaction, which a later scope or the store's close commits.
void StorageFile::CloseBlob() {
    if (!blob_.HasWritten()) {
        blob_.Close();
        return;
    }
    TransactionScope commit(owner_);  // does nothing inside an explicit transaction
    blob_.Close();
}

// Never touches the database.
int StorageFile::Tell() {
    return static_cast<int>(position_);
}

// The target is formed in unsigned 32-bit arithmetic, so a negative offset
// counts backwards and one before the start wraps past the end; a target
// past the end leaves the position where it was.
int StorageFile::Seek(int offset, int origin) {
    if (!EnsureRow()) return -1;
    const uint32_t delta = static_cast<uint32_t>(offset);
    uint32_t target = position_;
    if (origin == 0) target = delta;
    if (origin == 1) target = position_ + delta;
    if (origin == 2) target = size_ + delta;
    if (target <= size_) position_ = target;
    return static_cast<int>(position_);
}

// The end-of-data test: no row, or the position at or past the end.
int StorageFile::Error() {
    if (!EnsureRow()) return 1;
    return position_ >= size_ ? 1 : 0;
}

// Keeps the first bytes, drops or zero-fills the rest; on a file with no row
// yet it creates one of that many zero bytes.
bool StorageFile::Resize(unsigned int newSize) {
    EnsureRow();
    if (newSize > MaxContent(owner_.Db())) return false;
    TransactionScope scope(owner_);
    if (!KeepsItsRow()) return false;
    const bool stored =
        rowId_ == 0 ? InsertRow(nullptr, newSize) : RewriteContent(newSize, nullptr, 0, newSize);
    if (stored) SetSize(newSize);
    return stored;
}

// Before a row is written by rowid: a file without a row (it will insert
// one) or one whose row is still its own goes on; one whose row went away
// under it becomes unbound again and fails this once, as on a deleted row.
bool StorageFile::KeepsItsRow() {
    if (rowId_ == 0 || HoldsItsRow()) return true;
    ForgetRow();
    return false;
}

// Back to the state of a file just opened on a name that has no row.
void StorageFile::ForgetRow() {
    blob_.Close();
    rowId_ = 0;
    size_ = 0;
    position_ = 0;
}

// Inserts the row with `bytes` as Content, or `length` zero bytes when
// `bytes` is null. A row already stored under the same keys makes the primary
// key refuse it.
bool StorageFile::InsertRow(const void* bytes, uint32_t length) {
    Statement insert(owner_.Statements(), owner_.Fixed().insertRow);
    const int n = static_cast<int>(length);
    const bool bound = insert.BindText(1, keys_.fileName) && insert.BindText(2, keys_.path) &&
                       (bytes ? insert.BindBlob(3, bytes, n) : insert.BindZeroBlob(3, n));
    if (!bound || !insert.Run()) return false;
    rowId_ = sqlite3_last_insert_rowid(owner_.Db());
    return true;
}

// Stores `bytes` as the row's whole Content. A row deleted under the file
// changes nothing: that is reported as a failure, not as a stored write, and
// the file looks its row up again next time.
bool StorageFile::ReplaceContent(const void* bytes, uint32_t length) {
    static const unsigned char kNoBytes = 0;  // binds an empty blob, not NULL
    SqlText sql("UPDATE %s Set Content = ? where rowid = %lld;", kStorageTable,
                static_cast<long long>(rowId_));
    Statement update(owner_.Statements(), sql.c_str());
    if (!update.BindBlob(1, length ? bytes : &kNoBytes, static_cast<int>(length)) ||
        !update.Run()) {
        return false;
    }
    if (sqlite3_changes(owner_.Db()) == 1) return true;
    ForgetRow();
    return false;
}

// Builds the new Content: the first `keep` stored bytes (fewer if less is
// stored), `tail` at offset `keep`, zero bytes elsewhere, `newSize` in all.
bool StorageFile::RewriteContent(uint32_t keep, const void* tail, uint32_t tailLength,
                                 uint32_t newSize) {
    std::vector<unsigned char> content;
    {
        SqlText sql("SELECT Content from %s where rowid=%lld;", kStorageTable,
                    static_cast<long long>(rowId_));
        Statement query(owner_.Statements(), sql.c_str());
        if (query.Step() != SQLITE_ROW) return false;
        try {
            content.resize(newSize);
        } catch (const std::bad_alloc&) {
            return false;
        }
        const void* bytes = query.ColumnBlob(0);  // before its length, as SQLite asks
        const uint32_t stored = static_cast<uint32_t>(query.ColumnBytes(0));
        const size_t kept = std::min({keep, stored, newSize});
        if (kept > 0) std::memcpy(content.data(), bytes, kept);
    }
    if (tailLength > 0) std::memcpy(content.data() + keep, tail, tailLength);
    return ReplaceContent(content.data(), newSize);
}

// The old handle would fail on its next use now that the row was rewritten
// (and, open, it would keep a commit from succeeding); it is closed here and
// reopened lazily.
void StorageFile::SetSize(uint32_t newSize) {
    blob_.Close();
    size_ = newSize;
    position_ = std::min(position_, size_);
}

}  // namespace kivfs
