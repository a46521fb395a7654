// StorageFile: an open file of a store, over one row of FileStorage.
//
// The row is found (or created) by the operations that need it; opening
// stores nothing. Reads and in-place writes go through an incremental blob
// handle on Content, read-only for reads; a write past the end and every
// resize rewrite the whole Content (or insert the row). Nothing is buffered:
// every call is one transaction of its own (or part of the explicit one), so
// a write that returns its length is committed, and one whose commit failed
// returns 0 and has changed nothing.
//
// Outside an explicit transaction the file holds no lock between calls:
// each call looks its row up again by name and closes its handle before it
// returns, so another connection may read and write meanwhile. Inside one
// the handle is kept from call to call.
//
// A read outside an explicit transaction keeps a window read ahead (see
// ReadWindow). A file that fits in a window, or is read whole, is found and
// fetched by one statement, run outside any transaction as its own
// (autocommit).
//
// Counts and positions are unsigned 32-bit internally; after every operation
// the position is at most the size.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>

#include "backend/FsFile.h"
#include "storage/Blob.h"
#include "storage/ReadWindow.h"
#include "storage/SplitStoredName.h"
#include "storage/StoreConnection.h"

namespace kivfs {

class StorageFile : public FsFile {
  public:
    // A file of `store` under the given keys; touches nothing yet.
    StorageFile(StoreConnection& store, StoredName keys);
    // Inside an explicit transaction leaves its handle to the store for
    // reuse; outside one no handle is open.
    ~StorageFile() override;

    // -1 when the read could not run (a lock held past the busy timeout, an
    // I/O error); 0 at the end, and for a file with no row.
    int Read(void* buffer, int length) override;
    int Write(const void* buffer, int length) override;
    int Tell() override;
    int Seek(int offset, int origin) override;
    int Error() override;
    bool Resize(unsigned int newSize) override;

  private:
    // What the file knows of its row. rowId 0: no row known (size and
    // position 0 then).
    struct Binding {
        sqlite3_int64 rowId = 0;  // the row's rowid; 0 while not known
        uint32_t size = 0;        // Content's length as last learned or set
        uint32_t position = 0;    // current offset; never above size
    };
    // What a call finds under the file's name.
    enum class Row {
        Found,    // the row, bound; its handle open unless Content is NULL
        Missing,  // no row, and none was known
        Gone,     // the row known so far was deleted or replaced: unbound again
        Failed,   // the lookup could not run; the cause is noted
    };

    // Binds the file to its row for this call, with a handle that may write
    // when `writable`; a handle kept from an earlier call of the same
    // explicit transaction serves as it is.
    Row Attach(bool writable);
    // Looks the row up by name and compares it with the one known.
    Row Locate();
    // Takes what a lookup found as the row now stored under the file's name.
    Row Bind(const RowLookup& found);
    // Opens the handle on the bound row and learns the size from it; a NULL
    // Content or a number opens none (see ReadConverted). False when it
    // could not open.
    bool OpenBlob(bool writable);
    // A Content no handle opens on, as SQLite converts it to a blob (a
    // number reads as its text): copies `length` bytes at the position into
    // `buffer` and gives the value's length; none when it could not be read
    // (the cause noted).
    std::optional<uint32_t> ReadConverted(void* buffer, uint32_t length);

    // The three ways a read is served, tried in this order. Outside any
    // transaction the window and the probe are each one statement; the
    // blob runs in a transaction of its own. The first two give none when
    // they cannot serve the read.
    std::optional<int> ReadFromWindow(void* buffer, uint32_t length);
    std::optional<int> ReadFromProbe(void* buffer, uint32_t length);
    int ReadFromBlob(void* buffer, uint32_t length);
    // What the probe found.
    struct Probed {
        Row row = Row::Failed;
        bool measured = false;           // size is the row's length (not for a text Content)
        std::optional<uint32_t> served;  // bytes copied into the caller's buffer
    };
    // Looks the row up by name and learns its size, with no blob handle; when
    // Content is at most `fetchUpTo` bytes it also copies up to `length`
    // bytes at the position into `buffer`. A text Content, whose length SQL
    // counts in characters, is left to a handle.
    Probed Probe(uint64_t fetchUpTo, void* buffer, uint32_t length);
    // How long a Content a read of `length` bytes fetches with the probe.
    uint64_t ProbeLimit(uint32_t length) const;
    // Whether the probe may bring a read of `length` bytes its bytes, as far
    // as the file knows its size.
    bool ProbeMayServe(uint32_t length) const;
    // Serves a read from the Content the probe fetched; a read that leaves
    // bytes unread keeps them as the window.
    uint32_t ServeFetched(const unsigned char* content, void* buffer, uint32_t length);
    // The blob's read inside its transaction.
    int ReadAttached(void* buffer, uint32_t length);
    // Copies `length` bytes at the position out of what the handle reads,
    // reading up to a window more and keeping it for the next reads.
    bool ReadThroughWindow(void* buffer, uint32_t length);
    // Seek's and Error's own read of the row; false when there is none or
    // it could not be read.
    bool Measure();

    // The work of each call, inside its transaction. A change to the row
    // leaves the file's binding as it was and gives in `after` what the
    // file knows once the change stands; the caller takes it over only
    // then, so that a change rolled back leaves no trace in the file.
    bool WriteAttached(const void* buffer, uint32_t length, Binding& after);
    // What InsertFirst did.
    enum class Inserted {
        NotTried,  // the write goes the usual way: lookup first
        Stored,    // the new row holds the bytes
        Refused,   // a row is stored under the name: look it up
        Failed,    // the cause is noted
    };
    Inserted InsertFirst(const void* buffer, uint32_t length, Binding& after);
    bool Extend(const void* buffer, uint32_t length, Row row, Binding& after);
    bool ResizeAttached(uint32_t newSize, Binding& after);
    // Inserts the file's row with `bytes` (or `length` zero bytes when
    // null) as Content; its rowid, 0 on failure.
    sqlite3_int64 InsertRow(const void* bytes, uint32_t length);
    // Builds the new Content: the stored bytes (as many as fit), `tail` over
    // them at offset `at`, zero bytes elsewhere, `newSize` in all.
    bool RewriteContent(uint32_t at, const void* tail, uint32_t tailLength, uint32_t newSize);

    StoreConnection& store_;  // borrowed: statements, transaction state, blobs
    const StoredName keys_;   // the row's FileName and Path
    Binding at_;              // the row, size and position
    Blob blob_;               // open handle on Content, or closed
    ReadWindow window_;       // read ahead outside explicit transactions
};

}  // namespace kivfs
