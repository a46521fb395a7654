#include "kinds/ContainerKinds.h"

#include <iterator>

#include "backend/Failure.h"
#include "kivfs.h"
#include "native/NativeFs.h"
#include "platform/SystemPath.h"
#include "zip/OpenZipFs.h"

namespace kivfs {

namespace {

// A directory is served as it is: nothing can fail once the probe found it.
std::unique_ptr<FsBackend> OpenFolder(const std::string& path, StoreCreation) {
    return std::make_unique<NativeFs>(path);
}

// Archives are read only, so the creation rule has nothing to say.
std::unique_ptr<FsBackend> OpenZip(const std::string& path, StoreCreation) {
    return OpenZipFs(path);
}

// The zip probe is its open: it maps the file and checks its records.
bool IsFile(const std::string& path) {
    return IsSystemFile(path.c_str());
}

// The store takes any path: a missing one becomes a new store where
// creation is allowed, and its open refuses the rest.
bool AnyPath(const std::string&) {
    return true;
}

// Tried in this order.
const ContainerKind kKinds[] = {
    {"folder", [](const std::string& path) { return IsSystemDirectory(path.c_str()); }, OpenFolder},
    {"zip", IsFile, OpenZip},
    {"store", AnyPath, OpenStorageFs},
};

// Why no kind took a path, from the causes each failing kind noted in turn:
// the store's "not a database" says less than an archive's reason for
// refusing what looked like one (zip64, encryption, damage); any other cause
// of a later kind (locked, no permission, no space) names the real obstacle.
int MoreTelling(int earlier, int later) {
    if (later == KIVFS_ERR_CORRUPT && earlier != KIVFS_OK) return earlier;
    return later != KIVFS_OK ? later : earlier;
}

}  // namespace

const ContainerKind* ContainerKindsBegin() {
    return std::begin(kKinds);
}

const ContainerKind* ContainerKindsEnd() {
    return std::end(kKinds);
}

// Each kind's cause is taken as soon as it failed, so that the next kind's
// note is its own and a kind that succeeds leaves none behind.
std::unique_ptr<FsBackend> OpenContainer(const std::string& path, StoreCreation creation) {
    int cause = KIVFS_OK;
    for (const ContainerKind* kind = ContainerKindsBegin(); kind != ContainerKindsEnd(); ++kind) {
        if (!kind->probe(path)) continue;
        if (auto backend = kind->open(path, creation)) return backend;
        cause = MoreTelling(cause, TakeNoted());
    }
    NoteFailure(cause);
    return nullptr;
}

}  // namespace kivfs
