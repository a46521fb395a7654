#include "storage/StorageFile.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "backend/Failure.h"
#include "kivfs.h"
#include "storage/TransactionScope.h"

namespace kivfs {

// Binds nothing yet: the row is looked up on first use.
StorageFile::StorageFile(StoreConnection& store, StoredName keys)
    : store_(store), keys_(std::move(keys)), blob_(store), window_(store) {}

// Inside an explicit transaction the handle is left to the store for the
// next file to reuse; CommitTrans closes it before it commits.
StorageFile::~StorageFile() {
    if (store_.InTrans()) {
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
    const RowLookup found = store_.FindRow(keys_);
    return found.state == RowState::Failed ? Row::Failed : Bind(found);
}

// A different rowid, or none, under the name unbinds a file that knew one.
StorageFile::Row StorageFile::Bind(const RowLookup& found) {
    const sqlite3_int64 rowId = found.state == RowState::Found ? found.rowId : 0;
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
    const int result = blob_.Open(at_.rowId, writable);
    if (result != SQLITE_OK && result != SQLITE_ERROR) {
        store_.NoteResult(result);
        return false;
    }
    const std::optional<uint32_t> length =
        result == SQLITE_OK ? static_cast<uint32_t>(blob_.Bytes()) : ReadConverted(nullptr, 0);
    if (!length) return false;
    at_.size = *length;
    at_.position = std::min(at_.position, at_.size);
    return true;
}

// Never touches the database.
int StorageFile::Tell() {
    return static_cast<int>(at_.position);
}

// The window first, then the probe: outside any transaction each is a
// single statement, and runs as SQLite's own transaction around it
// (autocommit): the shared lock is taken when the statement starts and
// dropped when it is reset, before the call returns, as BEGIN .. COMMIT
// would do at the cost of two more statements. A read that needs a blob
// handle (a file longer than the window, a text Content, any read inside a
// transaction) goes to the blob.
int StorageFile::Read(void* buffer, int length) {
    if (length <= 0) return 0;
    const auto n = static_cast<uint32_t>(length);
    if (store_.CanRunAlone()) {
        if (const std::optional<int> count = ReadFromWindow(buffer, n)) return *count;
        if (const std::optional<int> count = ReadFromProbe(buffer, n)) return *count;
    }
    return ReadFromBlob(buffer, n);
}

// Moves the position past what the window served.
std::optional<int> StorageFile::ReadFromWindow(void* buffer, uint32_t length) {
    const std::optional<uint32_t> served = window_.Serve(at_.position, buffer, length, at_.size);
    if (!served) return std::nullopt;
    at_.position += *served;
    return static_cast<int>(*served);
}

// A file known to be longer than the probe fetches, or a text Content,
// leaves the read to the blob.
std::optional<int> StorageFile::ReadFromProbe(void* buffer, uint32_t length) {
    if (!ProbeMayServe(length)) return std::nullopt;
    const Probed probed = Probe(ProbeLimit(length), buffer, length);
    if (probed.row == Row::Failed) return -1;
    if (probed.row != Row::Found) return 0;
    if (!probed.served) return std::nullopt;
    return static_cast<int>(*probed.served);
}

// A read ends its transaction before it returns, so it keeps no lock; one
// that fails leaves the position where it was. Outside an explicit
// transaction the window is tried again inside this one.
int StorageFile::ReadFromBlob(void* buffer, uint32_t length) {
    TransactionScope scope(store_, TransactionScope::Access::Read);
    if (!scope.Began()) return -1;
    const uint32_t before = at_.position;
    std::optional<int> count;
    if (!store_.InTrans()) count = ReadFromWindow(buffer, length);
    if (!count) count = ReadAttached(buffer, length);
    if (scope.End(*count >= 0)) return *count;
    blob_.Close();
    at_.position = std::min(before, at_.size);
    return -1;
}

// A file that fits in a window is fetched whole, and so is a longer one read
// whole from its start; the probe always fetches from offset 0, so a longer
// file read from further on goes through a handle, which starts at the
// position.
uint64_t StorageFile::ProbeLimit(uint32_t length) const {
    return at_.position == 0 ? std::max(length, ReadWindow::kSize) : ReadWindow::kSize;
}

// A file known to be longer than the probe would fetch (one streamed in
// pieces, say) goes to its handle at once. The size may be stale: a wrong
// guess only costs the other way round, never a wrong byte.
bool StorageFile::ProbeMayServe(uint32_t length) const {
    return at_.rowId == 0 || at_.size <= ProbeLimit(length);
}

// The reads the probe leaves (longer files, text Content) and every read
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
            if (!ReadConverted(buffer, n)) return -1;
            at_.position += n;
            return static_cast<int>(n);
        }
        if (!kept && !store_.InTrans()) {
            return ReadThroughWindow(buffer, n) ? static_cast<int>(n) : -1;
        }
        const int result = blob_.Read(buffer, static_cast<int>(n), static_cast<int>(at_.position));
        if (result == SQLITE_OK) {
            at_.position += n;
            return static_cast<int>(n);
        }
        if (!kept || attempt > 0) {
            store_.NoteResult(result);
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
    const bool ran = store_.ProbeRow(keys_, fetchUpTo, [&](const RowProbe& found) {
        probed.row = Bind(found.row);
        if (probed.row != Row::Found || !found.length) return;
        probed.measured = true;
        at_.size = *found.length;
        at_.position = std::min(at_.position, at_.size);
        const uint32_t n = std::min(length, at_.size - at_.position);
        if (n == 0) {
            probed.served = 0;
            return;
        }
        if (!found.fetched) return;
        const unsigned char* content = found.Content();
        if (!content) {
            NoteFailure(KIVFS_ERR_NO_MEMORY);
            probed.row = Row::Failed;
            return;
        }
        probed.served = ServeFetched(content, buffer, n);
    });
    if (!ran) probed.row = Row::Failed;
    return probed;
}

// `content` is the whole Content, at_.size bytes, and `length` fits in it
// from the position.
uint32_t StorageFile::ServeFetched(const unsigned char* content, void* buffer, uint32_t length) {
    window_.Clear();
    if (at_.position + length < at_.size) window_.Keep(content, at_.size, 0);
    std::memcpy(buffer, content + at_.position, length);
    at_.position += length;
    return length;
}

// Only a read that leaves bytes of the file unread keeps a window (and asks
// for the content version): reading a file whole costs nothing more.
bool StorageFile::ReadThroughWindow(void* buffer, uint32_t length) {
    const uint32_t span = std::min(std::max(length, ReadWindow::kSize), at_.size - at_.position);
    window_.Clear();
    unsigned char* ahead = span > length ? window_.Reserve(span, at_.position) : nullptr;
    const int result = blob_.Read(ahead ? ahead : buffer, static_cast<int>(ahead ? span : length),
                                  static_cast<int>(at_.position));
    if (result != SQLITE_OK) {
        window_.Clear();
        store_.NoteResult(result);
        return false;
    }
    if (ahead) {
        std::memcpy(buffer, ahead, length);
        window_.Seal();
    }
    at_.position += length;
    return true;
}

// The write is committed before the call returns; when it cannot be, it is
// rolled back, the call returns 0, and the file stays where it was.
int StorageFile::Write(const void* buffer, int length) {
    if (length <= 0) return 0;
    TransactionScope scope(store_, TransactionScope::Access::Write);
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
            return store_.FitsInStore(end) && Extend(buffer, length, row, after);
        }
        const int result =
            blob_.Write(buffer, static_cast<int>(length), static_cast<int>(at_.position));
        if (result == SQLITE_OK) {
            after.position = static_cast<uint32_t>(end);
            return true;
        }
        if (!kept || attempt > 0) {
            store_.NoteResult(result);
            return false;
        }
        blob_.Close();
    }
}

// A file that knows no row yet and writes from its start is most often a
// new file being saved, so its row is inserted at once and looked up only
// when the primary key refuses it: a name lookup saved per new file. The
// refused INSERT undoes only itself, leaving the rest of the transaction as
// it was. Tried only on our own table, where the key makes the name unique;
// elsewhere a second row could be stored.
StorageFile::Inserted StorageFile::InsertFirst(const void* buffer, uint32_t length,
                                               Binding& after) {
    if (at_.rowId != 0 || at_.position != 0 || blob_.IsOpen() || !store_.KeysAreUnique()) {
        return Inserted::NotTried;
    }
    if (!store_.FitsInStore(length)) return Inserted::Failed;
    sqlite3_int64 rowId = 0;
    switch (store_.InsertRow(keys_, buffer, length, true, &rowId)) {
        case StoreConnection::Insert::NameTaken:
            return Inserted::Refused;
        case StoreConnection::Insert::Failed:
            return Inserted::Failed;
        case StoreConnection::Insert::Stored:
            break;
    }
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
    if (at_.position == 0 && end >= at_.size) {
        return store_.ReplaceContent(at_.rowId, buffer, length);
    }
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
// probe alone, as one statement in autocommit (see Read), unless a text
// Content needs a handle; else in a transaction. False when there is no row
// or it could not be read.
bool StorageFile::Measure() {
    if (store_.CanRunAlone()) {
        const Probed probed = Probe(0, nullptr, 0);
        if (probed.row != Row::Found || probed.measured) return probed.row == Row::Found;
    }
    TransactionScope scope(store_, TransactionScope::Access::Read);
    if (!scope.Began()) return false;
    const Row row = Attach(false);
    return scope.End(row != Row::Failed) && row == Row::Found;
}

// Keeps the first bytes, drops or zero-fills the rest; on a file with no row
// yet it creates one of that many zero bytes.
bool StorageFile::Resize(unsigned int newSize) {
    if (!store_.FitsInStore(newSize)) return false;
    TransactionScope scope(store_, TransactionScope::Access::Write);
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

// A row already stored under the same keys makes the primary key refuse
// it, a failure here.
sqlite3_int64 StorageFile::InsertRow(const void* bytes, uint32_t length) {
    sqlite3_int64 rowId = 0;
    const StoreConnection::Insert inserted = store_.InsertRow(keys_, bytes, length, false, &rowId);
    return inserted == StoreConnection::Insert::Stored ? rowId : 0;
}

// The stored bytes are copied while the row is read; the new Content
// replaces the old in one statement.
bool StorageFile::RewriteContent(uint32_t at, const void* tail, uint32_t tailLength,
                                 uint32_t newSize) {
    std::vector<unsigned char> content;
    const bool read = store_.ReadContent(at_.rowId, [&](const void* bytes, uint32_t stored) {
        try {
            content.resize(newSize);
        } catch (const std::bad_alloc&) {
            NoteFailure(KIVFS_ERR_NO_MEMORY);
            return false;
        }
        const size_t kept = std::min(stored, newSize);
        if (kept > 0) std::memcpy(content.data(), bytes, kept);
        return true;
    });
    if (!read) return false;
    if (tailLength > 0) std::memcpy(content.data() + at, tail, tailLength);
    return store_.ReplaceContent(at_.rowId, content.data(), newSize);
}

// SQLite's own conversion of the value to a blob, as CopyFile copies it and
// the probe reads it: NULL is empty, a number its text ("12345").
std::optional<uint32_t> StorageFile::ReadConverted(void* buffer, uint32_t length) {
    std::optional<uint32_t> stored;
    const bool read = store_.ReadContent(at_.rowId, [&](const void* bytes, uint32_t count) {
        if (length > 0) {
            if (!bytes || at_.position + uint64_t{length} > count) {
                NoteFailure(bytes ? KIVFS_ERR_IO : KIVFS_ERR_NO_MEMORY);
                return false;
            }
            std::memcpy(buffer, static_cast<const unsigned char*>(bytes) + at_.position, length);
        }
        stored = count;
        return true;
    });
    return read ? stored : std::nullopt;
}

}  // namespace kivfs
