#include "storage/StorageFile.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "backend/Failure.h"
#include "kivfs.h"
#include "storage/SqliteFailure.h"
#include "storage/Statement.h"
#include "storage/StorageFs.h"
#include "storage/TransactionScope.h"

namespace kivfs {

namespace {

// How far a read outside an explicit transaction reads ahead: enough that
// walking to the window's start is rare next to the calls the window serves
// (64 reads of 4 KiB), small enough to keep per open file.
constexpr uint32_t kReadWindow = 256 * 1024;

// The longest Content the connection stores: SQLite's length limit (never
// above INT_MAX, as SQLite measures values with an int). A longer value is
// refused before it is built: SQLite would only refuse it after the whole
// value, up to 4 GiB that a single Resize can ask for, was made in memory.
bool FitsInStore(sqlite3* db, uint64_t length) {
    if (length <= static_cast<uint64_t>(sqlite3_limit(db, SQLITE_LIMIT_LENGTH, -1))) return true;
    NoteFailure(KIVFS_ERR_ARGUMENT);
    return false;
}

}  // namespace

// Binds nothing yet: the row is looked up on first use.
StorageFile::StorageFile(StorageFs& owner, StoredName keys)
    : owner_(owner), keys_(std::move(keys)), blob_(owner.Blobs()) {}

// Inside an explicit transaction the handle is left to the store for the
// next file to reuse; CommitTrans closes it before it commits.
StorageFile::~StorageFile() {
    if (owner_.InTrans()) {
        blob_.Park();
        return;
    }
    blob_.Close();
}

// Rowids are reused: a file's row deleted, the next row stored may get its
// rowid, and a file that went on by rowid would read and write that other
// file. So a rowid learned earlier is used again only while it is still the
// row stored under this file's name (a rename moves the row away from the
// name just as a deletion does); otherwise the file is unbound again and the
// call acts as on a deleted row. A row made meanwhile by another handle, by
// CopyFile or by another connection is found too.
StorageFile::Row StorageFile::Locate() {
    const int64_t rowId = owner_.FindRowId(keys_);
    return rowId < 0 ? Row::Failed : Bind(rowId);
}

// A different rowid, or none, under the name unbinds a file that knew one.
StorageFile::Row StorageFile::Bind(int64_t rowId) {
    if (at_.rowId != 0 && rowId != at_.rowId) {
        blob_.Close();
        at_ = Binding();
        return Row::Gone;
    }
    if (rowId == 0) return Row::Missing;
    at_.rowId = rowId;
    return Row::Found;
}

// A handle kept from an earlier call exists only inside an explicit
// transaction, where no other connection can change the row; a change made
// through this store (another handle's write past the end or resize, a
// deletion) expires it, and the file then attaches afresh, learning the
// row's length as this transaction sees it.
StorageFile::Row StorageFile::Attach(bool writable) {
    if (blob_.IsOpen() && (blob_.IsWritable() || !writable)) {
        if (blob_.IsCurrent()) return Row::Found;
        blob_.Close();
    }
    const Row row = Locate();
    if (row != Row::Found) return row;
    return OpenBlob(writable) ? Row::Found : Row::Failed;
}

// Another connection may have shortened the row since the last call; the
// position then falls back to the new end, so that it never lies past the
// data. SQLITE_ERROR, on a row just found in this transaction, means a value
// no handle opens on: a NULL Content (the copy of an empty file) or a number,
// whose length is then that of its conversion (see ReadConverted).
bool StorageFile::OpenBlob(bool writable) {
    const int result = blob_.Open(owner_.Db(), kStorageTable, "Content", at_.rowId, writable);
    if (result != SQLITE_OK && result != SQLITE_ERROR) {
        NoteSqliteFailure(owner_.Db(), result);
        return false;
    }
    const int64_t length = result == SQLITE_OK ? blob_.Bytes() : ReadConverted(nullptr, 0);
    if (length < 0) return false;
    at_.size = static_cast<uint32_t>(length);
    at_.position = std::min(at_.position, at_.size);
    return true;
}

// Never touches the database.
int StorageFile::Tell() {
    return static_cast<int>(at_.position);
}

// A read ends its transaction before it returns, so it keeps no lock.
int StorageFile::Read(void* buffer, int length) {
    if (length <= 0) return 0;
    if (owner_.CanRunAlone()) {
        const int count = ReadAlone(buffer, static_cast<uint32_t>(length));
        if (count != kNeedsTransaction) return count;
    }
    TransactionScope scope(owner_, TransactionScope::Access::Read);
    if (!scope.Began()) return -1;
    const uint32_t before = at_.position;
    int count = owner_.InTrans() ? -1 : ReadAhead(buffer, static_cast<uint32_t>(length));
    if (count < 0) count = ReadAttached(buffer, static_cast<uint32_t>(length));
    if (scope.End(count >= 0)) return count;
    blob_.Close();
    at_.position = std::min(before, at_.size);
    return -1;
}

// Outside any transaction, a read served by the window or by the probe is a
// single statement, and runs as SQLite's own transaction around it
// (autocommit): the shared lock is taken when the statement starts and
// dropped when it is reset, before the call returns, as BEGIN .. COMMIT
// would do at the cost of two more statements. A read that needs a blob
// handle (a file longer than the window, or a text Content) leaves the call
// to a transaction of its own.
int StorageFile::ReadAlone(void* buffer, uint32_t length) {
    const int ahead = ReadAhead(buffer, length);
    if (ahead >= 0) return ahead;
    if (!ProbeMayServe(length)) return kNeedsTransaction;
    const Probed probed = Probe(ProbeLimit(length), buffer, length);
    if (probed.row == Row::Failed) return -1;
    if (probed.row != Row::Found) return 0;
    return probed.served >= 0 ? probed.served : kNeedsTransaction;
}

// A file that fits in a window is fetched whole, and so is a longer one read
// whole from its start; the probe always fetches from offset 0, so a longer
// file read from further on goes through a handle, which starts at the
// position.
uint64_t StorageFile::ProbeLimit(uint32_t length) const {
    return at_.position == 0 ? std::max(length, kReadWindow) : kReadWindow;
}

// A file known to be longer than the probe would fetch (one streamed in
// pieces, say) goes to its handle at once. The size may be stale: a wrong
// guess only costs the other way round, never a wrong byte.
bool StorageFile::ProbeMayServe(uint32_t length) const {
    return at_.rowId == 0 || at_.size <= ProbeLimit(length);
}

// The reads ReadAlone leaves (longer files, text Content) and every read
// inside an explicit transaction, where the lookup and a handle moved from
// row to row cost less, as the handle copies straight into the caller's
// buffer. A kept handle whose row was rewritten or deleted fails; it is
// attached afresh once. A fresh handle that fails is a failure of the read.
int StorageFile::ReadAttached(void* buffer, uint32_t length) {
    for (int attempt = 0;; ++attempt) {
        const bool kept = blob_.IsOpen();
        const Row row = Attach(false);
        if (row == Row::Failed) return -1;
        if (row != Row::Found) return 0;
        const uint32_t n = std::min(length, at_.size - at_.position);
        if (n == 0) return 0;
        if (!blob_.IsOpen()) {  // a number
            if (ReadConverted(buffer, n) < 0) return -1;
            at_.position += n;
            return static_cast<int>(n);
        }
        if (!kept && !owner_.InTrans()) {
            return ReadThroughWindow(buffer, n) ? static_cast<int>(n) : -1;
        }
        const int result = blob_.Read(buffer, static_cast<int>(n), static_cast<int>(at_.position));
        if (result == SQLITE_OK) {
            at_.position += n;
            return static_cast<int>(n);
        }
        if (!kept || attempt > 0) {
            NoteSqliteFailure(owner_.Db(), result);
            return -1;
        }
        blob_.Close();
    }
}

// The probe and any read that follows it run in one transaction, so the
// size, the bytes and the rowid they give are one state of the row, as a
// lookup, a blob handle and its read in that transaction would give them.
// SQLite hands out an empty blob as a null pointer, and a null pointer with
// bytes to come only when it ran out of memory.
StorageFile::Probed StorageFile::Probe(uint64_t fetchUpTo, void* buffer, uint32_t length) {
    Probed probed;
    Statement query(owner_.Statements(), owner_.Fixed().probeRow);
    const sqlite3_int64 limit =
        static_cast<sqlite3_int64>(std::min<uint64_t>(fetchUpTo, INT64_MAX));
    if (!query.Prepared() || !query.BindText(1, keys_.fileName) || !query.BindText(2, keys_.path) ||
        !query.BindInt64(3, limit))
        return probed;
    const int result = query.Step();
    if (result != SQLITE_ROW && result != SQLITE_DONE) return probed;
    probed.row = Bind(result == SQLITE_ROW ? query.ColumnInt64(0) : 0);
    const sqlite3_int64 stored = probed.row == Row::Found ? query.ColumnInt64(1) : -1;
    if (stored < 0) return probed;
    probed.measured = true;
    at_.size = static_cast<uint32_t>(stored);
    at_.position = std::min(at_.position, at_.size);
    const uint32_t n = std::min(length, at_.size - at_.position);
    if (n == 0) {
        probed.served = 0;
        return probed;
    }
    if (static_cast<uint64_t>(stored) > fetchUpTo) return probed;
    const auto* content = static_cast<const unsigned char*>(query.ColumnBlob(2));
    if (!content) {
        NoteFailure(KIVFS_ERR_NO_MEMORY);
        probed.row = Row::Failed;
        return probed;
    }
    probed.served = static_cast<int>(ServeFetched(content, buffer, n));
    return probed;
}

// `content` is the whole Content, at_.size bytes, and `length` fits in it
// from the position. A window that cannot be allocated is done without.
uint32_t StorageFile::ServeFetched(const unsigned char* content, void* buffer, uint32_t length) {
    ahead_.clear();
    const bool leavesBytes = at_.position + length < at_.size;
    if (leavesBytes) {
        try {
            ahead_.assign(content, content + at_.size);
            aheadFrom_ = 0;
            aheadVersion_ = owner_.ContentVersion();
        } catch (const std::bad_alloc&) {
            ahead_.clear();
        }
    }
    std::memcpy(buffer, content + at_.position, length);
    at_.position += length;
    return length;
}

// Equal versions mean that no row changed since the window was read, so its
// bytes, the row and its size are all still as they were. A read that runs
// past the window's end, where the file goes on, is left to a handle, which
// reads it whole (and the next window from its offset): every read gives
// min(length, bytes left in the file), whatever the window holds.
int StorageFile::ReadAhead(void* buffer, uint32_t length) {
    if (ahead_.empty()) return -1;
    const uint64_t end = uint64_t{aheadFrom_} + ahead_.size();
    if (at_.position < aheadFrom_ || at_.position >= end) {
        ahead_.clear();
        return -1;
    }
    if (at_.position + uint64_t{length} > end && end < at_.size) return -1;
    if (owner_.ContentVersion() != aheadVersion_) {
        ahead_.clear();
        return -1;
    }
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(length, end - at_.position));
    std::memcpy(buffer, ahead_.data() + (at_.position - aheadFrom_), n);
    at_.position += n;
    return static_cast<int>(n);
}

// Only a read that leaves bytes of the file unread keeps a window (and asks
// for the content version): reading a file whole costs nothing more. A
// window that cannot be allocated is done without.
bool StorageFile::ReadThroughWindow(void* buffer, uint32_t length) {
    const uint32_t window = std::min(std::max(length, kReadWindow), at_.size - at_.position);
    ahead_.clear();
    if (window > length) {
        try {
            ahead_.resize(window);
        } catch (const std::bad_alloc&) {
            ahead_.clear();
        }
    }
    const bool keeps = !ahead_.empty();
    const int result =
        blob_.Read(keeps ? ahead_.data() : buffer, static_cast<int>(keeps ? window : length),
                   static_cast<int>(at_.position));
    if (result != SQLITE_OK) {
        ahead_.clear();
        NoteSqliteFailure(owner_.Db(), result);
        return false;
    }
    if (keeps) {
        std::memcpy(buffer, ahead_.data(), length);
        aheadFrom_ = at_.position;
        aheadVersion_ = owner_.ContentVersion();
    }
    at_.position += length;
    return true;
}

// The write is committed before the call returns; when it cannot be, it is
// rolled back, the call returns 0, and the file stays where it was.
int StorageFile::Write(const void* buffer, int length) {
    if (length <= 0) return 0;
    TransactionScope scope(owner_, TransactionScope::Access::Write);
    if (!scope.Began()) return 0;
    Binding after;
    const bool stored = WriteAttached(buffer, static_cast<uint32_t>(length), after);
    if (!scope.End(stored)) {
        blob_.Close();
        return 0;
    }
    at_ = after;
    return length;
}

// Writes inside the stored length go through a read-write handle; a write
// that runs past the end stores the whole new Content in one statement, and
// one on a name with no row inserts it. `after` is what the file knows once
// the write stands.
bool StorageFile::WriteAttached(const void* buffer, uint32_t length, Binding& after) {
    const Inserted inserted = InsertFirst(buffer, length, after);
    if (inserted == Inserted::Stored || inserted == Inserted::Failed) {
        return inserted == Inserted::Stored;
    }
    for (int attempt = 0;; ++attempt) {
        const bool kept = blob_.IsOpen();
        const Row row = Attach(true);
        if (row == Row::Failed || row == Row::Gone) return false;
        after = at_;
        const uint64_t end = uint64_t{at_.position} + length;
        if (row == Row::Missing || end > at_.size || !blob_.IsOpen()) {
            return FitsInStore(owner_.Db(), end) && Extend(buffer, length, row, after);
        }
        const int result =
            blob_.Write(buffer, static_cast<int>(length), static_cast<int>(at_.position));
        if (result == SQLITE_OK) {
            after.position = static_cast<uint32_t>(end);
            return true;
        }
        if (!kept || attempt > 0) {
            NoteSqliteFailure(owner_.Db(), result);
            return false;
        }
        blob_.Close();
    }
}

// A file that knows no row yet and writes from its start is most often a
// new file being saved, so its row is inserted at once and looked up only
// when the primary key refuses it: a name lookup saved per new file. The
// refused INSERT undoes only itself (SQLite's ABORT), leaving the rest of
// the transaction as it was. Tried only on our own table, where the key
// makes the name unique; elsewhere a second row could be stored.
StorageFile::Inserted StorageFile::InsertFirst(const void* buffer, uint32_t length,
                                               Binding& after) {
    if (at_.rowId != 0 || at_.position != 0 || blob_.IsOpen() || !owner_.KeysAreUnique()) {
        return Inserted::NotTried;
    }
    if (!FitsInStore(owner_.Db(), length)) return Inserted::Failed;
    const sqlite3_int64 rowId = InsertRow(buffer, length, true);
    if (rowId == kStoredAlready) return Inserted::Refused;
    if (rowId == 0) return Inserted::Failed;
    after.rowId = rowId;
    after.size = length;
    after.position = length;
    return Inserted::Stored;
}

// A write past the end, or into a value no handle writes (NULL, a number):
// the stored bytes with `buffer` over them at the position. Cases with
// nothing to keep store `buffer` alone.
bool StorageFile::Extend(const void* buffer, uint32_t length, Row row, Binding& after) {
    blob_.Close();  // the rewrite leaves it stale
    const uint32_t end = at_.position + length;
    after.size = std::max(end, at_.size);
    after.position = end;
    if (row == Row::Missing) {
        after.rowId = InsertRow(buffer, length);
        return after.rowId != 0;
    }
    if (at_.position == 0 && end >= at_.size) return ReplaceContent(buffer, length);
    return RewriteContent(at_.position, buffer, length, after.size);
}

// The target is formed in unsigned 32-bit arithmetic, so a negative offset
// counts backwards and one before the start wraps past the end; a target
// past the end leaves the position where it was.
int StorageFile::Seek(int offset, int origin) {
    if (!Measure()) return -1;
    const uint32_t delta = static_cast<uint32_t>(offset);
    uint32_t target = at_.position;
    if (origin == 0) target = delta;
    if (origin == 1) target = at_.position + delta;
    if (origin == 2) target = at_.size + delta;
    if (target <= at_.size) at_.position = target;
    return static_cast<int>(at_.position);
}

// The end-of-data test: no row (or none could be looked up), or the
// position at or past the end.
int StorageFile::Error() {
    if (!Measure()) return 1;
    return at_.position >= at_.size ? 1 : 0;
}

// The call's own read of the row and its size: outside any transaction the
// probe alone, as one statement in autocommit (see ReadAlone), unless a text
// Content needs a handle; else in a transaction. False when there is no row
// or it could not be read.
bool StorageFile::Measure() {
    if (owner_.CanRunAlone()) {
        const Probed probed = Probe(0, nullptr, 0);
        if (probed.row != Row::Found || probed.measured) return probed.row == Row::Found;
    }
    TransactionScope scope(owner_, TransactionScope::Access::Read);
    if (!scope.Began()) return false;
    const Row row = Attach(false);
    return scope.End(row != Row::Failed) && row == Row::Found;
}

// Keeps the first bytes, drops or zero-fills the rest; on a file with no row
// yet it creates one of that many zero bytes.
bool StorageFile::Resize(unsigned int newSize) {
    if (!FitsInStore(owner_.Db(), newSize)) return false;
    TransactionScope scope(owner_, TransactionScope::Access::Write);
    if (!scope.Began()) return false;
    Binding after;
    const bool stored = ResizeAttached(newSize, after);
    if (!scope.End(stored)) {
        blob_.Close();
        return false;
    }
    at_ = after;
    return true;
}

// The whole Content is rewritten, so no handle is needed.
bool StorageFile::ResizeAttached(uint32_t newSize, Binding& after) {
    blob_.Close();  // the rewrite leaves it stale
    const Row row = Locate();
    if (row == Row::Failed || row == Row::Gone) return false;
    after = at_;
    after.size = newSize;
    after.position = std::min(at_.position, newSize);
    if (row == Row::Missing) {
        after.rowId = InsertRow(nullptr, newSize);
        return after.rowId != 0;
    }
    return RewriteContent(0, nullptr, 0, newSize);
}

// Inserts the row with `bytes` as Content, or `length` zero bytes when
// `bytes` is null, and gives its rowid (0 on failure). A row already stored
// under the same keys makes the primary key refuse it.
sqlite3_int64 StorageFile::InsertRow(const void* bytes, uint32_t length, bool mayBeStored) {
    Statement insert(owner_.Statements(), owner_.Fixed().insertRow);
    const int n = static_cast<int>(length);
    const bool bound = insert.BindText(1, keys_.fileName) && insert.BindText(2, keys_.path) &&
                       (bytes ? insert.BindBlob(3, bytes, n) : insert.BindZeroBlob(3, n));
    if (!bound) return 0;
    const int result = insert.Step(mayBeStored ? SQLITE_CONSTRAINT : SQLITE_OK);
    if (mayBeStored && (result & 0xff) == SQLITE_CONSTRAINT) return kStoredAlready;
    if (result != SQLITE_DONE) return 0;
    owner_.Folders().NoteAdded(keys_);
    return sqlite3_last_insert_rowid(owner_.Db());
}

// Stores `bytes` as the bound row's whole Content.
bool StorageFile::ReplaceContent(const void* bytes, uint32_t length) {
    static const unsigned char kNoBytes = 0;  // binds an empty blob, not NULL
    Statement update(owner_.Statements(), owner_.Fixed().updateById);
    return update.BindBlob(1, length ? bytes : &kNoBytes, static_cast<int>(length)) &&
           update.BindInt64(2, at_.rowId) && update.Run() && sqlite3_changes(owner_.Db()) == 1;
}

// Builds the new Content: the stored bytes (as many as fit), `tail` over
// them at offset `at`, zero bytes elsewhere, `newSize` in all.
bool StorageFile::RewriteContent(uint32_t at, const void* tail, uint32_t tailLength,
                                 uint32_t newSize) {
    std::vector<unsigned char> content;
    {
        Statement query(owner_.Statements(), owner_.Fixed().contentById);
        if (!query.BindInt64(1, at_.rowId) || query.Step() != SQLITE_ROW) return false;
        try {
            content.resize(newSize);
        } catch (const std::bad_alloc&) {
            NoteFailure(KIVFS_ERR_NO_MEMORY);
            return false;
        }
        const void* bytes = query.ColumnBlob(0);  // before its length, as SQLite asks
        const uint32_t stored = static_cast<uint32_t>(query.ColumnBytes(0));
        const size_t kept = std::min(stored, newSize);
        if (kept > 0) std::memcpy(content.data(), bytes, kept);
    }
    if (tailLength > 0) std::memcpy(content.data() + at, tail, tailLength);
    return ReplaceContent(content.data(), newSize);
}

// SQLite's own conversion of the value to a blob, as CopyFile copies it and
// the probe reads it: NULL is empty, a number its text ("12345").
int64_t StorageFile::ReadConverted(void* buffer, uint32_t length) {
    Statement query(owner_.Statements(), owner_.Fixed().contentById);
    if (!query.BindInt64(1, at_.rowId) || query.Step() != SQLITE_ROW) return -1;
    const auto* bytes = static_cast<const unsigned char*>(query.ColumnBlob(0));
    const int64_t stored = query.ColumnBytes(0);  // after the blob, as SQLite asks
    if (length == 0) return stored;
    if (!bytes || at_.position + uint64_t{length} > static_cast<uint64_t>(stored)) {
        NoteFailure(bytes ? KIVFS_ERR_IO : KIVFS_ERR_NO_MEMORY);
        return -1;
    }
    std::memcpy(buffer, bytes + at_.position, length);
    return stored;
}

}  // namespace kivfs
