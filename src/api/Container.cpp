#include "api/Container.h"

#include "api/Guarded.h"
#include "backend/Failure.h"
#include "kinds/ContainerKinds.h"
#include "kivfs.h"
#include "platform/SystemPath.h"
#include "platform/Text.h"

namespace kivfs {

// A path that already exists is split into its parent and last component;
// any other is read as container ":" inner name. Taking the last occurrence
// means an inner name never holds a ":". The ":" of a drive ('C:/x/new.txt')
// separates nothing: such a path names no container.
std::optional<SplitResult> SplitPath(const char* path) {
    const std::string text = NormalizedCopy(path);
    const bool exists = IsSystemDirectory(text.c_str()) || IsSystemFile(text.c_str());
    const size_t at = text.rfind(exists ? '/' : ':');
    if (at == std::string::npos || (!exists && at < DrivePrefixLength(text))) return std::nullopt;
    return SplitResult{text.substr(0, at + 1), text.substr(at + 1)};
}

namespace {

// The text the kinds take for `container`: one trailing ":" removed, "/" as
// separator. A path the system would read as a device or refuse as a name
// (Windows: 'C:/x/aux.txt', 'a:b') is no container: no kind, SQLite's store
// included, may open it. Nothing, with the cause noted, for those and the
// empty text.
std::optional<std::string> KindsPath(const std::string& container) {
    if (container.empty()) return Refuse(std::nullopt);
    std::string path = container;
    if (path.back() == ':') path.pop_back();
    NormalizeSlashes(path);
    if (!IsUsableSystemPath(path.c_str())) {
        NoteFailure(KIVFS_ERR_NOT_A_FILE);
        return std::nullopt;
    }
    return path;
}

}  // namespace

// The kinds are tried in the table's order (kinds/ContainerKinds.h).
std::unique_ptr<FsBackend> SelectBackend(const std::string& container, StoreCreation creation) {
    const std::optional<std::string> path = KindsPath(container);
    return path ? OpenContainer(*path, creation) : nullptr;
}

// Read intent: the store may neither be made nor gain its table, so the
// answer changes nothing on disk. The backend chosen is closed at once.
int ContainerKindOf(const std::string& container) {
    const std::optional<std::string> path = KindsPath(container);
    if (!path) return 0;
    const KindChoice choice = ChooseKind(*path, StoreCreation::Refused);
    if (choice.opened.backend) return choice.kind;
    NoteFailure(choice.opened.cause);
    return -choice.kind;
}

std::unique_ptr<FsFile> OpenInBackend(FsBackend* backend, const char* name, int mode) {
    if (!backend || !name || !*name) return Refuse(nullptr);
    return backend->OpenFile(NormalizedCopy(name), mode);
}

// A folder named without its final "/" ('img') is that folder ('img/') in
// every kind of container: read as a bare prefix, 'img' would list the
// parent's names beginning with it, or the folder itself as an entry of its
// own listing, and a walker that descends into every folder entry would
// never end.
std::unique_ptr<FsEnum> EnumInBackend(FsBackend* backend, const char* name) {
    if (!backend || !name) return Refuse(nullptr);
    std::string folder = NormalizedCopy(name);
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return backend->CreateEnum(folder);
}

}  // namespace kivfs
