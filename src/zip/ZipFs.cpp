#include "zip/ZipFs.h"

#include "zip/ZipEnum.h"
#include "zip/ZipFile.h"

namespace kivfs {

namespace {

// The compression method of an entry kept as it is.
constexpr int kStoredMethod = 0;

// Whether an opened entry's sizes can be right. zziplib hands sizes over as
// int, so one of 2 GiB or more arrives negative and no 32-bit offset could
// reach its end; and it reads a stored entry for its uncompressed size, so a
// stored entry whose two sizes differ would yield bytes of the rest of the
// archive as its own, or stop short of its data, without an error.
bool SizesHoldTogether(ZZIP_FILE* entry) {
    ZZIP_STAT stat = {};
    if (zzip_file_stat(entry, &stat) != 0) return false;
    if (stat.st_size < 0 || stat.d_csize < 0) return false;
    return stat.d_compr != kStoredMethod || stat.d_csize == stat.st_size;
}

}  // namespace

ZipFs::~ZipFs() {
    zzip_dir_close(archive_);
}

const ZipIndex& ZipFs::Index() {
    if (!index_) index_ = std::make_unique<ZipIndex>(archive_);
    return *index_;
}

// Either way the entry opened is the same: the index resolves the name to the
// exact stored name of the first entry a case-insensitive scan would stop at,
// and the first entry with exactly that name is that one.
std::unique_ptr<FsFile> ZipFs::OpenFile(const std::string& name, int) {
    ZZIP_FILE* entry = nullptr;
    if (!openedBefore_ && !index_) {
        entry = zzip_file_open(archive_, name.c_str(), ZZIP_CASELESS);
    } else if (const char* stored = Index().StoredName(name)) {
        entry = zzip_file_open(archive_, stored, 0);
    }
    openedBefore_ = true;
    if (!entry) return nullptr;
    if (!SizesHoldTogether(entry)) {
        zzip_file_close(entry);
        return nullptr;
    }
    // Should making the file fail to allocate, the entry is closed.
    try {
        return std::make_unique<ZipFile>(entry);
    } catch (...) {
        zzip_file_close(entry);
        throw;
    }
}

std::unique_ptr<FsEnum> ZipFs::CreateEnum(const std::string& name) {
    return std::make_unique<ZipEnum>(archive_, name);
}

bool ZipFs::IsFileExist(const std::string& name, bool* exists) {
    if (Index().HasFile(name) && exists) *exists = true;
    return true;
}

bool ZipFs::IsDirectoryExist(const std::string& name, bool* exists) {
    if (Index().HasDirectory(name) && exists) *exists = true;
    return true;
}

}  // namespace kivfs
