// StorageFile: an open file of a store, over one row of FileStorage.
//
// The row is found (or created) lazily by the first operation that needs it;
// opening stores nothing. Reads and in-place writes go through an incremental
// blob handle on Content; a write past the end and every resize rewrite the
// whole Content (or insert the row). Nothing is buffered: every write reaches
// SQLite before the call returns. Counts and positions are unsigned 32-bit
// internally; after every operation the position is at most the size.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>

#include "backend/FsFile.h"
#include "storage/Blob.h"
#include "storage/SplitStoredName.h"

namespace kivfs {

class StorageFs;

class StorageFile : public FsFile {
  public:
    // A file of `owner` under the given keys; touches nothing yet.
    StorageFile(StorageFs& owner, StoredName keys);
    // Closes the blob handle, committing what was written through it outside
    // an explicit transaction.
    ~StorageFile() override;

    int Read(void* buffer, int length) override;
    int Write(const void* buffer, int length) override;
    int Tell() override;
    int Seek(int offset, int origin) override;
    int Error() override;
    bool Resize(unsigned int newSize) override;

  private:
    // Looks the row up by its keys; sets rowId_ when found.
    bool FindRow();
    // Whether the known rowid is still the row stored under this file's name.
    bool HoldsItsRow();
    // False, and the file unbound again (ForgetRow), when the known row is no
    // longer this file's; true when it is, or when no row is known.
    bool KeepsItsRow();
    // Drops the row, its handle, size and position: a file on a name with no
    // row yet.
    void ForgetRow();
    // (Re)opens the blob handle and learns the stored size from it; refuses a
    // row that is no longer this file's unless `rowJustFound` by name.
    bool OpenBlob(bool rowJustFound = false);
    // Closes the blob handle so that what it wrote is committed.
    void CloseBlob();
    // Finds the row if it is not known yet and opens the handle if it is not
    // open; false only when there is no row.
    bool EnsureRow();
    // Runs `attempt` on the blob handle, reopening it once when it fails (a
    // handle whose row was rewritten, or that a commit closed, fails).
    template <typename Attempt>
    bool WithBlob(Attempt attempt);
    // The three ways of storing a new, longer or shorter, whole Content.
    bool InsertRow(const void* bytes, uint32_t length);
    bool ReplaceContent(const void* bytes, uint32_t length);
    bool RewriteContent(uint32_t keep, const void* tail, uint32_t tailLength, uint32_t newSize);
    // Accepts a new stored length after a rewrite.
    void SetSize(uint32_t newSize);

    StorageFs& owner_;         // borrowed: connection, statements, flag, registry
    const StoredName keys_;    // the row's FileName and Path
    sqlite3_int64 rowId_ = 0;  // the row's rowid; 0 while not known
    uint32_t size_ = 0;        // Content's length as last learned or set
    uint32_t position_ = 0;    // current offset; never above size_
    Blob blob_;                // open read-write handle on Content, or closed
};

}  // namespace kivfs
