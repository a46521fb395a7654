// The zip probe of a build without zziplib (a Windows build made without a
// zziplib of its own): no archive opens. A file that begins like a zip
// archive is noted as unsupported, so that the caller learns why its
// container failed; the store probe that runs next refuses such a file as a
// database and writes nothing to it.
#include <cstring>

#include "backend/Failure.h"
#include "kivfs.h"
#include "platform/FileMapping.h"
#include "platform/SystemPath.h"
#include "zip/OpenZipFs.h"

namespace kivfs {

namespace {

// The signatures a zip archive starts with: a local file header, or the end
// record of an archive without entries.
bool LooksLikeZip(const std::string& path) {
    int cause = KIVFS_OK;
    const auto mapping = FileMapping::Open(path.c_str(), &cause);
    if (cause != KIVFS_OK) NoteFailure(cause);
    if (!mapping || mapping->size() < 4) return false;
    unsigned char head[4];
    if (!mapping->CopyOut(0, head, sizeof head)) return false;
    return std::memcmp(head, "PK\x03\x04", 4) == 0 || std::memcmp(head, "PK\x05\x06", 4) == 0;
}

}  // namespace

std::unique_ptr<FsBackend> OpenZipFs(const std::string& path) {
    if (IsSystemFile(path.c_str()) && LooksLikeZip(path)) NoteFailure(KIVFS_ERR_UNSUPPORTED);
    return nullptr;
}

}  // namespace kivfs
