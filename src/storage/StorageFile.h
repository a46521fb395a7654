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
// A fresh handle reaches offset N of a long Content only by walking the
// row's chain of overflow pages up to N, so reading a long file in small
// pieces, each call with a handle of its own, would cost time proportional
// to the offset on every call. A read outside an explicit transaction
// therefore reads a window ahead, and later reads are served from it for as
// long as the store's content version shows that nothing changed. A file
// that fits in a window, or is read whole, is found and fetched by one
// statement, run outside any transaction as its own (autocommit).
//
// Counts and positions are unsigned 32-bit internally; after every operation
// the position is at most the size.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

#include "backend/FsFile.h"
#include "storage/Blob.h"
#include "storage/SplitStoredName.h"

namespace kivfs {

class StorageFs;

class StorageFile : public FsFile {
  public:
    // A file of `owner` under the given keys; touches nothing yet.
    StorageFile(StorageFs& owner, StoredName keys);
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
    // Takes `rowId` (0: none) as the row now stored under the file's name.
    Row Bind(int64_t rowId);
    // What the probe found.
    struct Probed {
        Row row = Row::Failed;
        bool measured = false;  // size is the row's length (not for a text Content)
        int served = -1;        // bytes copied into the caller's buffer, or -1
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
    // A read outside any transaction, as one statement; kNeedsTransaction
    // when it needs more than that.
    int ReadAlone(void* buffer, uint32_t length);
    static constexpr int kNeedsTransaction = -2;
    // Seek's and Error's own read of the row; false when there is none or
    // it could not be read.
    bool Measure();
    // Opens the handle on the bound row and learns the size from it; a NULL
    // Content or a number opens none (see ReadConverted). False when it
    // could not open.
    bool OpenBlob(bool writable);
    // A Content no handle opens on, as SQLite converts it to a blob (a
    // number reads as its text): copies `length` bytes at the position into
    // `buffer` and gives the value's length; -1 when it could not be read
    // (the cause noted).
    int64_t ReadConverted(void* buffer, uint32_t length);
    // The work of each call, inside its transaction. A change to the row
    // leaves the file's binding as it was and gives in `after` what the
    // file knows once the change stands; the caller takes it over only
    // then, so that a change rolled back leaves no trace in the file.
    int ReadAttached(void* buffer, uint32_t length);
    // Serves a read from the window read ahead when it still holds the
    // bytes at the position; -1 when it does not.
    int ReadAhead(void* buffer, uint32_t length);
    // Copies `length` bytes at the position out of what the handle reads,
    // reading up to a window more and keeping it for the next reads.
    bool ReadThroughWindow(void* buffer, uint32_t length);
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
    // The three ways of storing a new, longer or shorter, whole Content.
    // InsertRow gives the new rowid, 0 on failure, or kStoredAlready when
    // the primary key refused the row and `mayBeStored` said that is no
    // failure (none is noted then).
    static constexpr sqlite3_int64 kStoredAlready = -1;
    sqlite3_int64 InsertRow(const void* bytes, uint32_t length, bool mayBeStored = false);
    bool ReplaceContent(const void* bytes, uint32_t length);
    bool RewriteContent(uint32_t at, const void* tail, uint32_t tailLength, uint32_t newSize);

    StorageFs& owner_;       // borrowed: connection, statements, flag, registry
    const StoredName keys_;  // the row's FileName and Path
    Binding at_;             // the row, size and position
    Blob blob_;              // open handle on Content, or closed
    // Bytes of Content from offset aheadFrom_, read when the store's
    // content version was aheadVersion_; valid only while it still is.
    std::vector<unsigned char> ahead_;
    uint32_t aheadFrom_ = 0;
    uint64_t aheadVersion_ = 0;
};

}  // namespace kivfs
