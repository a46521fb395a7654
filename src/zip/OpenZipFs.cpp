#include "zip/OpenZipFs.h"

#include "backend/Failure.h"
#include "kivfs.h"
#include "platform/SystemPath.h"
#include "zip/ArchiveValidator.h"
#include "zip/MappedArchiveTable.h"
#include "zip/ZipFs.h"

namespace kivfs {

namespace {

// The reader the library is built with (CMake sets KIVFS_ZIP_KZIP where
// zziplib is not to be used): the one place the choice is made.
#if KIVFS_ZIP_KZIP
constexpr ArchiveOpener kBuiltInReader = OpenWithKzip;
#else
constexpr ArchiveOpener kBuiltInReader = OpenWithZziplib;
#endif

// The suffixes tried when a path itself does not map, as zziplib's
// extension list tries them.
constexpr const char* kExtensions[] = {".zip", ".ZIP"};

// Maps the archive file as zziplib would open it: the path itself, else the
// path with each extension added (".zip", then ".ZIP"); the first that maps
// is the archive, whether or not it turns out to be one.
std::unique_ptr<MappedArchive> MapArchive(const std::string& path) {
    if (auto archive = MappedArchive::Open(path.c_str())) return archive;
    for (const char* extension : kExtensions) {
        if (auto archive = MappedArchive::Open((path + extension).c_str())) return archive;
    }
    return nullptr;
}

}  // namespace

std::unique_ptr<FsBackend> OpenZipFs(const std::string& path) {
    return OpenZipFsWith(path, kBuiltInReader);
}

// Only an existing file is tried. Its end record and central directory are
// checked before the reader reads them (ArchiveValidator); an archive that
// does not hold together is refused as zziplib refuses one. The reader then
// reads the same mapping, ended after the end record that was checked, so it
// cannot settle on another one. On failure the reader closes the handle.
std::unique_ptr<FsBackend> OpenZipFsWith(const std::string& path, ArchiveOpener open) {
    if (!IsSystemFile(path.c_str())) return nullptr;
    auto mapped = MapArchive(path);
    if (!mapped) return nullptr;
    std::optional<CheckedArchive> checked = ArchiveValidator(*mapped).Check();
    if (!checked) return nullptr;
    mapped->Restrict(checked->length);
    const MappedArchive* file = mapped.get();
    const int handle = MappedArchiveTable::Instance().Add(std::move(mapped));
    std::unique_ptr<ArchiveReader> archive = open(handle);
    if (!archive) {
        NoteFailure(KIVFS_ERR_CORRUPT);
        return nullptr;
    }
    return std::make_unique<ZipFs>(std::move(archive), std::move(checked->entries), file);
}

}  // namespace kivfs
