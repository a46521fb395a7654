#include "kinds/ContainerKinds.h"

#include "backend/Failure.h"
#include "kivfs.h"
#include "native/NativeFs.h"
#include "platform/SystemPath.h"
#include "zip/OpenZipFs.h"

namespace kivfs {

namespace {

// A directory is served as it is: nothing can fail once the probe found it.
OpenedBackend OpenFolder(const std::string& path, StoreCreation) {
    return OpenedBackend::Served(std::make_unique<NativeFs>(path));
}

// Archives are read only, so the creation rule has nothing to say.
OpenedBackend OpenZip(const std::string& path, StoreCreation) {
    return OpenZipFs(path);
}

// A directory is the folder kind's whole test.
bool IsFolder(const std::string& path) {
    return IsSystemDirectory(path.c_str());
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
    {KIVFS_KIND_FOLDER, IsFolder, OpenFolder},
    {KIVFS_KIND_ZIP, IsFile, OpenZip},
    {KIVFS_KIND_STORE, AnyPath, OpenStorageFs},
};

// Whether a later kind's cause tells more than the one kept so far: the
// store's "not a database" (CORRUPT) says less than an archive's reason for
// refusing what looked like one (zip64, encryption, damage); any other cause
// of a later kind (locked, no permission, no space) names the real obstacle.
bool TellsMore(int later, int kept) {
    if (later == KIVFS_OK) return false;
    return later != KIVFS_ERR_CORRUPT || kept == KIVFS_OK;
}

}  // namespace

KindChoice ChooseKind(const std::string& path, StoreCreation creation) {
    KindChoice choice;
    for (const ContainerKind& kind : kKinds) {
        if (!kind.probe(path)) continue;
        OpenedBackend opened = kind.open(path, creation);
        if (opened.backend) return KindChoice{std::move(opened), kind.id};
        if (!TellsMore(opened.cause, choice.opened.cause)) continue;
        choice.opened.cause = opened.cause;
        choice.kind = opened.ofThisKind ? kind.id : 0;
    }
    return choice;
}

std::unique_ptr<FsBackend> OpenContainer(const std::string& path, StoreCreation creation) {
    KindChoice choice = ChooseKind(path, creation);
    if (!choice.opened.backend) NoteFailure(choice.opened.cause);
    return std::move(choice.opened.backend);
}

}  // namespace kivfs
