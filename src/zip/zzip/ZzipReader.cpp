// The zip reader of a build with zziplib: ArchiveReader and EntryReader over
// a ZZIP_DIR and its ZZIP_FILEs, reading through ZzipIoHandlers.
#include <zzip/lib.h>

#include <memory>
#include <utility>

#include "zip/ArchiveReader.h"
#include "zip/zzip/ZipEntryNames.h"
#include "zip/zzip/ZzipIoHandlers.h"

namespace kivfs {

namespace {

// ".zip", ".ZIP": the list zziplib keeps with an archive; the handle is open
// already, so it tries no names here.
zzip_strings_t* ZzipExtensions() {
    static zzip_strings_t extensions[] = {".zip", ".ZIP", nullptr};
    return extensions;
}

// Owners of zziplib's handles, closed with zziplib's own calls on every path
// out, an allocation that fails included.
struct ZzipFileCloser {
    // zzip_file_close also completes a deferred zzip_dir_close.
    void operator()(ZZIP_FILE* entry) const { zzip_file_close(entry); }
};
struct ZzipDirCloser {
    // zziplib defers the real close while entry streams are open.
    void operator()(ZZIP_DIR* archive) const { zzip_dir_close(archive); }
};
using OwnedZzipFile = std::unique_ptr<ZZIP_FILE, ZzipFileCloser>;
using OwnedZzipDir = std::unique_ptr<ZZIP_DIR, ZzipDirCloser>;

// The EntryReader calls are zziplib's own, results passed on unchanged.
class ZzipEntry : public EntryReader {
  public:
    explicit ZzipEntry(OwnedZzipFile entry) : entry_(std::move(entry)) {}
    ZzipEntry(const ZzipEntry&) = delete;
    ZzipEntry& operator=(const ZzipEntry&) = delete;

    std::int64_t Read(void* buffer, std::size_t length) override {
        return zzip_file_read(entry_.get(), buffer, static_cast<zzip_size_t>(length));
    }
    std::int64_t Seek(std::int64_t offset, int whence) override {
        return zzip_seek(entry_.get(), static_cast<zzip_off_t>(offset), whence);
    }
    std::int64_t Tell() override { return zzip_tell(entry_.get()); }
    bool Stat(EntryStat& stat) override {
        ZZIP_STAT zstat = {};
        if (zzip_file_stat(entry_.get(), &zstat) != 0) return false;
        stat = EntryStat{zstat.d_compr, zstat.d_csize, zstat.st_size};
        return true;
    }

  private:
    // Never null.
    OwnedZzipFile entry_;
};

// Names and opens go through ZipEntryNames, which knows zziplib's record.
class ZzipArchive : public ArchiveReader {
  public:
    explicit ZzipArchive(OwnedZzipDir archive) : archive_(std::move(archive)) {}
    ZzipArchive(const ZzipArchive&) = delete;
    ZzipArchive& operator=(const ZzipArchive&) = delete;

    void VisitNames(const std::function<void(const char*)>& visit) override {
        ForEachEntryName(archive_.get(), visit);
    }
    // The entry is owned from the moment it opens: should making the reader
    // fail to allocate, it is closed.
    std::unique_ptr<EntryReader> OpenEntry(const char* storedName) override {
        OwnedZzipFile entry(OpenStoredEntry(archive_.get(), storedName));
        if (!entry) return nullptr;
        return std::make_unique<ZzipEntry>(std::move(entry));
    }

  private:
    // Never null.
    OwnedZzipDir archive_;
};

}  // namespace

// On failure zziplib closes the handle itself; the archive is owned from the
// moment it opens, so a reader that fails to allocate closes it.
std::unique_ptr<ArchiveReader> OpenWithZziplib(int handle) {
    OwnedZzipDir archive(
        zzip_dir_fdopen_ext_io(handle, nullptr, ZzipExtensions(), ZzipIoHandlers()));
    if (!archive) return nullptr;
    return std::make_unique<ZzipArchive>(std::move(archive));
}

}  // namespace kivfs
