#include "zip/OpenZipFs.h"

#include <zzip/lib.h>

#include "backend/Failure.h"
#include "kivfs.h"
#include "platform/SystemPath.h"
#include "zip/ArchiveValidator.h"
#include "zip/MappedArchiveTable.h"
#include "zip/ZipFs.h"
#include "zip/ZipIoHandlers.h"

namespace kivfs {

namespace {

// Maps the archive file as zziplib would open it: the path itself, else the
// path with each of zziplib's extensions added (".zip", then ".ZIP"); the
// first that maps is the archive, whether or not it turns out to be one.
std::unique_ptr<MappedArchive> MapArchive(const std::string& path) {
    if (auto archive = MappedArchive::Open(path.c_str())) return archive;
    for (zzip_strings_t* extension = ZipExtensions(); *extension; ++extension) {
        if (auto archive = MappedArchive::Open((path + *extension).c_str())) return archive;
    }
    return nullptr;
}

}  // namespace

// Only an existing file is tried. Its end record and central directory are
// checked before zziplib reads them (ArchiveValidator); an archive that does
// not hold together is refused as zziplib refuses one. zziplib then reads the
// same mapping, ended after the end record that was checked, so it cannot
// settle on another one. On failure zziplib closes the handle itself.
std::unique_ptr<FsBackend> OpenZipFs(const std::string& path) {
    if (!IsSystemFile(path.c_str())) return nullptr;
    auto mapped = MapArchive(path);
    if (!mapped) return nullptr;
    std::optional<CheckedArchive> checked = ArchiveValidator(*mapped).Check();
    if (!checked) return nullptr;
    mapped->Restrict(checked->length);
    const MappedArchive* file = mapped.get();
    const int handle = MappedArchiveTable::Instance().Add(std::move(mapped));
    ZZIP_DIR* archive = zzip_dir_fdopen_ext_io(handle, nullptr, ZipExtensions(), ZipIoHandlers());
    if (!archive) {
        NoteFailure(KIVFS_ERR_CORRUPT);
        return nullptr;
    }
    // Should making the backend fail to allocate, the archive is closed.
    try {
        return std::make_unique<ZipFs>(archive, std::move(checked->entries), file);
    } catch (...) {
        zzip_dir_close(archive);
        throw;
    }
}

}  // namespace kivfs
