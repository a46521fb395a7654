#include "zip/OpenZipFs.h"

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
// is the archive, whether or not it turns out to be one. When none maps,
// *cause is why the path itself did not (the suffixed names are only a
// guess, so that they are missing says nothing).
std::unique_ptr<MappedArchive> MapArchive(const std::string& path, int* cause) {
    if (auto archive = MappedArchive::Open(path.c_str(), cause)) return archive;
    for (const char* extension : kExtensions) {
        if (auto archive = MappedArchive::Open((path + extension).c_str(), nullptr)) return archive;
    }
    return nullptr;
}

}  // namespace

OpenedBackend OpenZipFs(const std::string& path) {
    return OpenZipFsWith(path, kBuiltInReader);
}

// Only an existing file is tried. Its end record and central directory are
// checked before the reader reads them (ArchiveValidator); an archive that
// does not hold together is refused as zziplib refuses one. The reader then
// reads the same mapping, ended after the end record that was checked, so it
// cannot settle on another one. On failure the reader closes the handle; a
// reader that fails on an archive the check accepted met damage the check
// does not look for (the mapping, gone with the handle, cannot be asked for
// faults, and the check has just read it whole without one).
OpenedBackend OpenZipFsWith(const std::string& path, ArchiveOpener open) {
    if (!IsSystemFile(path.c_str())) return OpenedBackend::Refused(KIVFS_OK);
    int cause = KIVFS_OK;
    auto mapped = MapArchive(path, &cause);
    if (!mapped) return OpenedBackend::Refused(cause);
    ArchiveCheck check = ArchiveValidator(*mapped).Check();
    // The check refuses with a cause only what looks like an archive.
    if (!check.archive) {
        return check.cause != KIVFS_OK ? OpenedBackend::RefusedAsOwn(check.cause)
                                       : OpenedBackend::Refused(KIVFS_OK);
    }
    mapped->Restrict(check.archive->length);
    const MappedArchive* file = mapped.get();
    const int handle = MappedArchiveTable::Instance().Add(std::move(mapped));
    std::unique_ptr<ArchiveReader> archive = open(handle);
    if (!archive) return OpenedBackend::RefusedAsOwn(KIVFS_ERR_CORRUPT);
    return OpenedBackend::Served(
        std::make_unique<ZipFs>(std::move(archive), std::move(check.archive->entries), file));
}

}  // namespace kivfs
