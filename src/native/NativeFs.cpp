#include "native/NativeFs.h"

#include <iterator>

#include "backend/Failure.h"
#include "backend/NameLeavesRoot.h"
#include "kivfs.h"
#include "native/NativeEnum.h"
#include "native/NativeFile.h"
#include "platform/SystemPath.h"

namespace kivfs {

namespace {

// The stdio mode texts, indexed by the open mode a caller passes.
constexpr const char* kModeTexts[] = {"rb", "wb", "ab", "rb+", "wb+", "ab+"};
constexpr int kModeCount = static_cast<int>(std::size(kModeTexts));

// The reading modes ("rb", "rb+": 0 and 3) open an existing file only; the
// others create it.
bool ModeCreates(int mode) {
    return kModeTexts[mode][0] != 'r';
}

// Names are refused, with their cause noted, when their ".." components
// climb above the root: joined to it, they would reach files outside the
// container.
bool StaysInside(const std::string& name) {
    if (!NameLeavesRoot(name)) return true;
    NoteFailure(KIVFS_ERR_OUTSIDE_ROOT);
    return false;
}

}  // namespace

// The root always ends with "/", so a name is joined to it directly.
NativeFs::NativeFs(const std::string& path) : root_(path) {
    if (root_.empty() || root_.back() != '/') root_ += '/';
}

// A first open settles most requests; only when it fails in a creating mode
// may missing parent directories be the cause, so they are made and the open
// tried once more. Directories made on the way stay, even when the second
// open fails too (a name ending in "/" names a directory, never a file). The
// last attempt's cause is the one noted: it is what finally stood in the way.
std::unique_ptr<FsFile> NativeFs::OpenFile(const std::string& name, int mode) {
    if (mode < 0 || mode >= kModeCount) {
        NoteFailure(KIVFS_ERR_ARGUMENT);
        return nullptr;
    }
    if (!StaysInside(name)) return nullptr;
    const std::string path = root_ + name;
    auto file = std::make_unique<NativeFile>();
    int cause = file->Open(path, kModeTexts[mode]);
    if (cause != KIVFS_OK && ModeCreates(mode)) {
        CreateParents(name);
        cause = file->Open(path, kModeTexts[mode]);
    }
    if (cause == KIVFS_OK) return file;
    NoteFailure(cause);
    return nullptr;
}

// Each level is attempted in turn and its result ignored: a level that
// already exists fails harmlessly and the next one is still made. Nothing is
// noted here: whether the open then fails, and why, is the open's to say.
void NativeFs::CreateParents(const std::string& name) const {
    for (size_t slash = name.find('/'); slash != std::string::npos;
         slash = name.find('/', slash + 1)) {
        CreateSystemDirectory((root_ + name.substr(0, slash + 1)).c_str(), nullptr);
    }
}

// No separator is put between root and name: the call layer passes the empty
// name or one ending in "/", so root + name is the folder itself.
std::unique_ptr<FsEnum> NativeFs::CreateEnum(const std::string& name) {
    if (!StaysInside(name)) return nullptr;
    std::string dirPath = root_ + name;
    if (!IsSystemDirectory(dirPath.c_str())) {
        NoteFailure(KIVFS_ERR_NOT_FOUND);
        return nullptr;
    }
    return std::make_unique<NativeEnum>(std::move(dirPath), name);
}

// Names are resolved against the root, as OpenFile and CreateEnum resolve
// them, never against the process's current directory. A name that climbs
// out is not answered at all: "no" would still tell about the outside.
bool NativeFs::IsFileExist(const std::string& name, bool* exists) {
    if (!exists || !StaysInside(name)) return false;
    *exists = IsSystemFile((root_ + name).c_str());
    return true;
}

bool NativeFs::IsDirectoryExist(const std::string& name, bool* exists) {
    if (!exists || !StaysInside(name)) return false;
    *exists = IsSystemDirectory((root_ + name).c_str());
    return true;
}

}  // namespace kivfs
