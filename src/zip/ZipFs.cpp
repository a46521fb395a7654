#include "zip/ZipFs.h"

#include "backend/Failure.h"
#include "kivfs.h"
#include "zip/ZipEntryNames.h"
#include "zip/ZipEnum.h"
#include "zip/ZipFile.h"

namespace kivfs {

namespace {

// The compression methods zziplib reads: kept as they are, and deflated.
constexpr std::uint16_t kStoredMethod = 0;
constexpr std::uint16_t kDeflatedMethod = 8;
// A size of 0xFFFFFFFF in a central header (-1 as zziplib's int) says the
// real one is in a zip64 extra field, which zziplib does not read.
constexpr int kZip64Size = -1;

// Whether an opened entry's sizes can be right; notes why not. zziplib hands
// sizes over as int, so one of 2 GiB or more arrives negative and no 32-bit
// offset could reach its end; and it reads a stored entry for its
// uncompressed size, so a stored entry whose two sizes differ would yield
// bytes of the rest of the archive as its own, or stop short of its data,
// without an error.
bool SizesHoldTogether(ZZIP_FILE* entry) {
    ZZIP_STAT stat = {};
    if (zzip_file_stat(entry, &stat) != 0) {
        NoteFailure(KIVFS_ERR_CORRUPT);
        return false;
    }
    if (stat.st_size == kZip64Size || stat.d_csize == kZip64Size) {
        NoteFailure(KIVFS_ERR_UNSUPPORTED);
        return false;
    }
    if (stat.st_size < 0 || stat.d_csize < 0 ||
        (stat.d_compr == kStoredMethod && stat.d_csize != stat.st_size)) {
        NoteFailure(KIVFS_ERR_CORRUPT);
        return false;
    }
    return true;
}

// Whether zziplib can give the entry's own bytes; notes why not.
bool Readable(const CentralEntry& entry) {
    if ((entry.flags & CentralEntry::kEncrypted) ||
        (entry.method != kStoredMethod && entry.method != kDeflatedMethod)) {
        NoteFailure(KIVFS_ERR_UNSUPPORTED);
        return false;
    }
    return true;
}

}  // namespace

// Only a stored entry's bytes can be copied straight out of the archive; its
// size was checked to match its data's (SizesHoldTogether).
DirectStoredRead ZipFs::DirectRoute(ZZIP_FILE* entry, const CentralEntry& central) const {
    if (central.method != kStoredMethod) return {};
    ZZIP_STAT stat = {};
    zzip_file_stat(entry, &stat);
    return DirectStoredRead(mapped_, central.localHeader, static_cast<std::uint32_t>(stat.st_size));
}

ZipFs::~ZipFs() {
    zzip_dir_close(archive_);
}

const ZipIndex& ZipFs::Index() {
    if (!index_) index_ = std::make_unique<ZipIndex>(archive_);
    return *index_;
}

// Either way the entry found is the same, and zziplib opens that very entry
// by its exact stored name (OpenStoredEntry): no entry before it has that
// name, or it would have been found instead. zziplib fails to open an entry whose local header
// does not match (damage), or that the archive cannot supply.
std::unique_ptr<FsFile> ZipFs::OpenFile(const std::string& name, int) {
    std::lock_guard<std::mutex> lock(archiveLock_);
    const std::optional<ZipIndex::Match> match =
        !openedBefore_ && !index_ ? ZipIndex::Scan(archive_, name) : Index().Find(name);
    openedBefore_ = true;
    if (!match) {
        NoteFailure(KIVFS_ERR_NOT_FOUND);
        return nullptr;
    }
    // zziplib lists the headers the archive check read, no more.
    if (match->position >= entries_.size()) {
        NoteFailure(KIVFS_ERR_CORRUPT);
        return nullptr;
    }
    const CentralEntry& central = entries_[match->position];
    if (!Readable(central)) return nullptr;
    ZZIP_FILE* entry = OpenStoredEntry(archive_, match->storedName);
    if (!entry) {
        NoteFailure(KIVFS_ERR_CORRUPT);
        return nullptr;
    }
    if (!SizesHoldTogether(entry)) {
        zzip_file_close(entry);
        return nullptr;
    }
    // Should making the file fail to allocate, the entry is closed.
    try {
        return std::make_unique<ZipFile>(entry, central.crc32, DirectRoute(entry, central));
    } catch (...) {
        zzip_file_close(entry);
        throw;
    }
}

std::unique_ptr<FsEnum> ZipFs::CreateEnum(const std::string& name) {
    return std::make_unique<ZipEnum>(name, Listing(name));
}

// The tree answers only directory texts ("" or ending with "/"); any other
// prefix is listed by a pass of its own, as rare as it is.
std::shared_ptr<const SnapshotListing> ZipFs::Listing(const std::string& name) {
    std::lock_guard<std::mutex> lock(archiveLock_);
    if (!name.empty() && name.back() != '/') return ZipTree::ListOne(archive_, name);
    if (!tree_) {
        if (!listedBefore_) {
            listedBefore_ = true;
            return ZipTree::ListOne(archive_, name);
        }
        tree_ = ZipTree::Make(archive_);
    }
    return ZipTree::Listing(tree_, name);
}

bool ZipFs::IsFileExist(const std::string& name, bool* exists) {
    std::lock_guard<std::mutex> lock(archiveLock_);
    if (Index().HasFile(name) && exists) *exists = true;
    return true;
}

bool ZipFs::IsDirectoryExist(const std::string& name, bool* exists) {
    std::lock_guard<std::mutex> lock(archiveLock_);
    if (Index().HasDirectory(name) && exists) *exists = true;
    return true;
}

}  // namespace kivfs
