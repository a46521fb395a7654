// The zip reader of a build with zziplib: ArchiveReader and EntryReader over
// a ZZIP_DIR and its ZZIP_FILEs, reading through ZzipIoHandlers.
#include <zzip/lib.h>

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

// The EntryReader calls are zziplib's own, results passed on unchanged.
class ZzipEntry : public EntryReader {
  public:
    explicit ZzipEntry(ZZIP_FILE* entry) : entry_(entry) {}
    ZzipEntry(const ZzipEntry&) = delete;
    ZzipEntry& operator=(const ZzipEntry&) = delete;
    // zzip_file_close also completes a deferred zzip_dir_close.
    ~ZzipEntry() override { zzip_file_close(entry_); }

    std::int64_t Read(void* buffer, std::size_t length) override {
        return zzip_file_read(entry_, buffer, static_cast<zzip_size_t>(length));
    }
    std::int64_t Seek(std::int64_t offset, int whence) override {
        return zzip_seek(entry_, static_cast<zzip_off_t>(offset), whence);
    }
    std::int64_t Tell() override { return zzip_tell(entry_); }
    bool Stat(EntryStat& stat) override {
        ZZIP_STAT zstat = {};
        if (zzip_file_stat(entry_, &zstat) != 0) return false;
        stat = EntryStat{zstat.d_compr, zstat.d_csize, zstat.st_size};
        return true;
    }

  private:
    // Never null.
    ZZIP_FILE* entry_;
};

// Names and opens go through ZipEntryNames, which knows zziplib's record.
class ZzipArchive : public ArchiveReader {
  public:
    explicit ZzipArchive(ZZIP_DIR* archive) : archive_(archive) {}
    ZzipArchive(const ZzipArchive&) = delete;
    ZzipArchive& operator=(const ZzipArchive&) = delete;
    // zziplib defers the real close while entry streams are open.
    ~ZzipArchive() override { zzip_dir_close(archive_); }

    void VisitNames(const std::function<void(const char*)>& visit) override {
        ForEachEntryName(archive_, visit);
    }
    // Should making the reader fail to allocate, the entry is closed.
    std::unique_ptr<EntryReader> OpenEntry(const char* storedName) override {
        ZZIP_FILE* entry = OpenStoredEntry(archive_, storedName);
        if (!entry) return nullptr;
        try {
            return std::make_unique<ZzipEntry>(entry);
        } catch (...) {
            zzip_file_close(entry);
            throw;
        }
    }

  private:
    // Never null.
    ZZIP_DIR* archive_;
};

}  // namespace

// On failure zziplib closes the handle itself.
std::unique_ptr<ArchiveReader> OpenWithZziplib(int handle) {
    ZZIP_DIR* archive = zzip_dir_fdopen_ext_io(handle, nullptr, ZzipExtensions(), ZzipIoHandlers());
    if (!archive) return nullptr;
    try {
        return std::make_unique<ZzipArchive>(archive);
    } catch (...) {
        zzip_dir_close(archive);
        throw;
    }
}

}  // namespace kivfs
