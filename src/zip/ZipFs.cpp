#include "zip/ZipFs.h"

#include "backend/Failure.h"
#include "kivfs.h"
#include "zip/ZipEnum.h"
#include "zip/ZipFile.h"

namespace kivfs {

namespace {

// The compression methods the readers read: kept as they are, and deflated.
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
bool SizesHoldTogether(EntryReader& entry) {
    EntryStat stat = {};
    if (!entry.Stat(stat)) {
        NoteFailure(KIVFS_ERR_CORRUPT);
        return false;
    }
    if (stat.size == kZip64Size || stat.compressedSize == kZip64Size) {
        NoteFailure(KIVFS_ERR_UNSUPPORTED);
        return false;
    }
    if (stat.size < 0 || stat.compressedSize < 0 ||
        (stat.method == kStoredMethod && stat.compressedSize != stat.size)) {
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
DirectStoredRead ZipFs::DirectRoute(EntryReader& entry, const CentralEntry& central) const {
    if (central.method != kStoredMethod) return {};
    EntryStat stat = {};
    entry.Stat(stat);
    return DirectStoredRead(mapped_, central.localHeader, static_cast<std::uint32_t>(stat.size));
}

const ZipIndex& ZipFs::Index() {
    if (!index_) index_ = std::make_unique<ZipIndex>(*archive_);
    return *index_;
}

// Either way the entry found is the same, and the reader opens that very
// entry by its exact stored name: no entry before it has that name, or it
// would have been found instead. The reader fails to open an entry whose
// local header does not match (damage), or that the archive cannot supply.
std::unique_ptr<FsFile> ZipFs::OpenFile(const std::string& name, int) {
    std::lock_guard<std::mutex> lock(archiveLock_);
    const std::optional<ZipIndex::Match> match =
        !openedBefore_ && !index_ ? ZipIndex::Scan(*archive_, name) : Index().Find(name);
    openedBefore_ = true;
    if (!match) {
        NoteFailure(KIVFS_ERR_NOT_FOUND);
        return nullptr;
    }
    // The reader lists the headers the archive check read, no more.
    if (match->position >= entries_.size()) {
        NoteFailure(KIVFS_ERR_CORRUPT);
        return nullptr;
    }
    const CentralEntry& central = entries_[match->position];
    if (!Readable(central)) return nullptr;
    const std::uint32_t faults = mapped_->Faults();
    std::unique_ptr<EntryReader> entry = archive_->OpenEntry(match->storedName);
    if (!entry) {
        NoteFailure(mapped_->Faults() != faults ? KIVFS_ERR_IO : KIVFS_ERR_CORRUPT);
        return nullptr;
    }
    if (!SizesHoldTogether(*entry)) return nullptr;
    const DirectStoredRead direct = DirectRoute(*entry, central);
    return std::make_unique<ZipFile>(std::move(entry), central.crc32, mapped_, direct);
}

std::unique_ptr<FsEnum> ZipFs::CreateEnum(const std::string& name) {
    return std::make_unique<ZipEnum>(name, Listing(name));
}

// The first listing of a ZipFs is a pass of its own; only a second one pays
// for the whole tree, which then answers every later listing.
std::shared_ptr<const SnapshotListing> ZipFs::Listing(const std::string& name) {
    std::lock_guard<std::mutex> lock(archiveLock_);
    if (!tree_) {
        if (!listedBefore_) {
            listedBefore_ = true;
            return ZipTree::ListOne(*archive_, name);
        }
        tree_ = ZipTree::Make(*archive_);
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
