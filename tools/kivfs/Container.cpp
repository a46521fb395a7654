#include "Container.h"

#include <utility>

#include "ContainerPath.h"
#include "LocalFiles.h"
#include "ToolError.h"

namespace kivfs_tool {

namespace {

// The library picks the backend itself and does not say which; its choice
// follows what the path is: a folder is served natively, and of the other
// two only a store accepts a transaction. An empty transaction changes
// nothing.
ContainerKind DetectKind(DirHandle* dir, const std::string& path) {
    if (LocalIsDirectory(path)) return ContainerKind::Directory;
    if (kivfsBeginTrans(dir)) {
        kivfsCommitTrans(dir);
        return ContainerKind::Store;
    }
    return ContainerKind::ZipArchive;
}

// True when listing `name` as a directory yields at least one entry.
bool HasEntries(DirHandle* dir, const std::string& name) {
    EnumPtr listing(kivfsCreateEnumIndir(dir, DirectoryPrefix(name).c_str()));
    return listing && kivfsMoveNext(listing.get());
}

}  // namespace

const char* KindText(ContainerKind kind) {
    switch (kind) {
        case ContainerKind::Directory:
            return "directory";
        case ContainerKind::ZipArchive:
            return "zip archive";
        case ContainerKind::Store:
            return "store";
    }
    return "container";
}

Container::Container(DirPtr dir, ContainerKind kind, std::string path)
    : dir_(std::move(dir)), kind_(kind), path_(std::move(path)) {}

// A zero-byte file is neither an archive nor a store (a store's file always
// holds its table), and opening it would turn it into an empty store.
void RequireExistingContainer(const std::string& path) {
    if (!LocalExists(path)) {
        throw ToolError("cannot open " + Quoted(path) + ": no such file or directory");
    }
    if (LocalIsEmptyFile(path)) {
        throw ToolError("cannot open " + Quoted(path) + ": empty file, not a zip archive or store");
    }
}

Container Container::Open(const std::string& path, OpenMode mode) {
    if (path.empty()) throw ToolError("no container given");
    const bool existed = LocalExists(path);
    if (mode == OpenMode::MustExist) RequireExistingContainer(path);
    DirPtr dir(kivfsOpenDir(path.c_str()));
    if (!dir) {
        throw ToolError(existed ? "cannot open " + Quoted(path) +
                                      ": not a directory, zip archive or store"
                                : "cannot create store " + Quoted(path));
    }
    const ContainerKind kind = DetectKind(dir.get(), path);
    return Container(std::move(dir), kind, path);
}

// A store hands out a file object for any name, bound to a row only if one
// exists: the seek to the end fails (-1) for a name that is not stored. A
// real folder opens for reading too, so a native name counts as a file
// only when it is not a directory.
bool Container::IsFile(const std::string& name) const {
    const std::string plain = WithoutTrailingSlash(name);
    if (plain.empty()) return false;
    FilePtr file(kivfsCreateFileIndir(dir_.get(), plain.c_str(), 0));
    if (!file) return false;
    switch (kind_) {
        case ContainerKind::Store:
            return kivfsSeek(file.get(), 0, 2) != -1;
        case ContainerKind::Directory:
            return !IsDirectory(plain);
        case ContainerKind::ZipArchive:
            return true;
    }
    return false;
}

// A real folder lists only when it exists. A store's directory exists
// exactly when a file lies below it. A zip directory is implied by the
// entries below it, or stands alone as an explicit entry, which the
// existence call finds.
bool Container::IsDirectory(const std::string& name) const {
    const std::string plain = WithoutTrailingSlash(name);
    if (plain.empty()) return true;
    switch (kind_) {
        case ContainerKind::Directory: {
            EnumPtr listing(kivfsCreateEnumIndir(dir_.get(), DirectoryPrefix(plain).c_str()));
            return listing != nullptr;
        }
        case ContainerKind::Store:
            return HasEntries(dir_.get(), plain);
        case ContainerKind::ZipArchive: {
            bool exists = false;
            if (kivfsIsDirectoryExist(dir_.get(), plain.c_str(), &exists) && exists) return true;
            return HasEntries(dir_.get(), plain);
        }
    }
    return false;
}

void Container::RequireStore(const std::string& verb, const std::string& name) const {
    if (kind_ == ContainerKind::Store) return;
    throw ToolError("cannot " + verb + " " + Quoted(Display(name)) + ": " + Quoted(path_) +
                    " is a " + KindText(kind_) + "; only stores can be changed");
}

FilePtr OpenFileForReading(const Container& container, const std::string& name) {
    const std::string where = Quoted(container.Display(name));
    if (!container.IsFile(name)) {
        if (container.IsDirectory(name))
            throw ToolError("cannot open " + where + ": is a directory");
        throw ToolError("cannot open " + where + ": no such file");
    }
    FilePtr file(kivfsCreateFileIndir(container.handle(), name.c_str(), 0));
    if (!file) throw ToolError("cannot open " + where + ": no such file");
    return file;
}

int FileSizeOf(FileHandle* file) {
    if (kivfsSeek(file, 0, 2) == -1) return -1;
    const int size = kivfsTell(file);
    if (kivfsSeek(file, 0, 0) == -1) return -1;
    return size;
}

std::string TakeName(char* text) {
    std::string copy = text ? text : "";
    kivfsFreeName(text);
    return copy;
}

}  // namespace kivfs_tool
