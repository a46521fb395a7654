// ZipFs: one zip archive, read only, as a container.
//
// The archive is read by an ArchiveReader, through the mapped handlers.
// Names are matched against entry names ignoring the case of ASCII letters,
// an exact match winning (ZipIndex); encrypted entries are never opened, as
// zziplib would hand out their ciphertext as content. Only explicit
// directory entries ("docs/") make a directory exist, while
// listings also show directories implied by the names below them. Entry files
// and listings may outlive the ZipFs: a file keeps the archive open until it
// is closed, and a listing is taken whole when it is created.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "backend/FsBackend.h"
#include "zip/ArchiveReader.h"
#include "zip/CentralEntry.h"
#include "zip/DirectStoredRead.h"
#include "zip/MappedArchive.h"
#include "zip/ZipIndex.h"
#include "zip/ZipTree.h"

namespace kivfs {

class ZipFs : public ReadOnlyFsBackend {
  public:
    // Takes ownership of an open archive (never null), with the central
    // entries the archive check read from it, in the same order. `mapped` is
    // the file the reader reads it from (never null), which lives as long as
    // the archive or any entry file of it.
    ZipFs(std::unique_ptr<ArchiveReader> archive, std::vector<CentralEntry> entries,
          const MappedArchive* mapped)
        : archive_(std::move(archive)), entries_(std::move(entries)), mapped_(mapped) {}
    // Closes the archive; the reader defers the real close, and with it the
    // unmapping, until the last entry file of the archive is closed.
    ~ZipFs() override = default;

    // The entry ZipIndex finds for `name`; null when none matches, or when it
    // is encrypted, its compression method is neither stored nor deflated, or
    // its headers are damaged. `mode` is ignored: the entry is always opened
    // for reading.
    std::unique_ptr<FsFile> OpenFile(const std::string& name, int mode) override;
    // Never null; a name matching nothing gives an empty listing.
    std::unique_ptr<FsEnum> CreateEnum(const std::string& name) override;
    // Both store true on a hit and leave *exists untouched on a miss.
    bool IsFileExist(const std::string& name, bool* exists) override;
    bool IsDirectoryExist(const std::string& name, bool* exists) override;

  private:
    // How the entry file of the open `entry` may read it directly.
    DirectStoredRead DirectRoute(EntryReader& entry, const CentralEntry& central) const;
    // The index, filled on first use; archiveLock_ held.
    const ZipIndex& Index();
    // The listing of `name`, made under archiveLock_.
    std::shared_ptr<const SnapshotListing> Listing(const std::string& name);

    // Never null; closed by the destructor.
    std::unique_ptr<ArchiveReader> archive_;
    // One per entry the reader lists, in its order.
    std::vector<CentralEntry> entries_;
    // Never null; read directly by large reads of stored entries.
    const MappedArchive* mapped_;
    // Null until the first existence query or the second OpenFile.
    std::unique_ptr<ZipIndex> index_;
    // Whether OpenFile ran before: the first open scans the central directory
    // itself, which costs less than indexing an archive that a full-path open
    // reads one entry of; from the second on the index pays off.
    bool openedBefore_ = false;
    // The listings of every directory: null until the second listing of a
    // directory text (the first is made alone by one pass, which costs less
    // than the tree when a ZipFs lists once). Never changed once made.
    std::shared_ptr<const ZipTree> tree_;
    bool listedBefore_ = false;
    // Held while the archive's directory is read or its names borrowed
    // (OpenFile, Listing), and for index_, openedBefore_, tree_ and
    // listedBefore_.
    std::mutex archiveLock_;
};

}  // namespace kivfs
