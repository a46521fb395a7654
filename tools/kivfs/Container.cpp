#include "Container.h"

#include <utility>

#include "ContainerPath.h"
#include "LibraryReason.h"
#include "LocalFiles.h"
#include "PathContent.h"
#include "ZipFacts.h"

namespace kivfs_tool {

namespace {

// True when listing `name` as a directory yields at least one entry.
bool HasEntries(DirHandle* dir, const std::string& name) {
    EnumPtr listing(kivfsCreateEnumIndir(dir, DirectoryPrefix(name).c_str()));
    return listing && kivfsMoveNext(listing.get());
}

// After a probe of a name failed: an absent name, or a name of the wrong
// kind, is an answer; anything else (a lock, damaged data, no permission)
// stops the command with the library's reason.
bool FailureIsAnAnswer() {
    switch (kivfsLastError()) {
        case KIVFS_OK:
        case KIVFS_ERR_NOT_FOUND:
        case KIVFS_ERR_NOT_A_FILE:
        case KIVFS_ERR_ARGUMENT:
            return true;
        default:
            return false;
    }
}

// The kind of container the library will serve at `path`, decided from what
// the path holds; throws ToolError for what is no container at all.
ContainerKind KindToOpen(const std::string& path, OpenMode mode) {
    const std::string where = "cannot open " + Quoted(path);
    switch (WhatPathHolds(path)) {
        case PathContent::Directory:
            return ContainerKind::Directory;
        case PathContent::ZipArchive:
            return ContainerKind::ZipArchive;
        case PathContent::Store:
            return ContainerKind::Store;
        case PathContent::Nothing:
            if (mode == OpenMode::MayCreate) return ContainerKind::Store;
            throw ToolError(where + ": no such file or directory");
        case PathContent::EmptyFile:
            // SQLite would make a new store of it, which only put and pack may.
            if (mode == OpenMode::MayCreate) return ContainerKind::Store;
            throw ToolError(where + ": empty file, not a zip archive or store");
        case PathContent::Unreadable:
            throw ToolError(where + ": the file cannot be read");
        case PathContent::Other:
            break;
    }
    throw ToolError(where + ": not a directory, zip archive or store");
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

void RequireExistingContainer(const std::string& path) {
    KindToOpen(path, OpenMode::MustExist);
}

std::string StoreLockedText(const std::string& path) {
    return "store " + Quoted(path) + " is locked by another program";
}

Container Container::Open(const std::string& path, OpenMode mode, const std::string& shownAs) {
    if (path.empty()) throw ToolError("no container given");
    const std::string shown = shownAs.empty() ? path : shownAs;
    const bool existed = LocalExists(path);
    const ContainerKind kind = KindToOpen(path, mode);
    DirPtr dir(kivfsOpenDir(path.c_str()));
    if (!dir) {
        if (kind == ContainerKind::Store && LastFailureWasBusy()) {
            throw ToolError(StoreLockedText(shown));
        }
        if (!existed) {
            throw ToolError("cannot create store " + Quoted(shown) + ": " +
                            LibraryReason("SQLite could not create it"));
        }
        // An archive is refused as a whole for one unsupported reason only.
        const bool zip64 = kind == ContainerKind::ZipArchive &&
                           kivfsLastError() == KIVFS_ERR_UNSUPPORTED && NeedsZip64(path);
        throw ToolError(
            "cannot open " + std::string(KindText(kind)) + " " + Quoted(shown) + ": " +
            (zip64 ? "zip64 archive (not supported)" : LibraryReason("the library refused it")));
    }
    return Container(std::move(dir), kind, shown);
}

ToolError Container::Failure(const std::string& what, const std::string& fallback,
                             const std::string& name) const {
    if (kind_ == ContainerKind::Store && LastFailureWasBusy()) {
        return ToolError(StoreLockedText(path_));
    }
    return ToolError(what + ": " + Reason(name, fallback));
}

// The library says only "not supported" for an entry it will not open; the
// archive's central directory tells which of its reasons applies.
std::string Container::Reason(const std::string& name, const std::string& fallback) const {
    if (kind_ != ContainerKind::ZipArchive || name.empty() ||
        kivfsLastError() != KIVFS_ERR_UNSUPPORTED) {
        return LibraryReason(fallback);
    }
    const ZipEntryFacts facts = LookUpZipEntry(path_, name);
    if (facts.encrypted) return "encrypted entry (not supported)";
    if (facts.found)
        return "compression method " + std::to_string(facts.method) + " (not supported)";
    return LibraryReason(fallback);
}

void Container::RequireAnswer(const std::string& name) const {
    if (!FailureIsAnAnswer()) throw Failure("cannot open " + Quoted(Display(name)), "", name);
}

// A store hands out a file object for any name, bound to a row only if one
// exists: the seek to the end fails (-1) for a name that is not stored. A
// real folder opens for reading too, so a native name counts as a file
// only when it is not a directory.
bool Container::IsFile(const std::string& name) const {
    const std::string plain = WithoutTrailingSlash(name);
    if (plain.empty()) return false;
    FilePtr file(kivfsCreateFileIndir(dir_.get(), plain.c_str(), 0));
    if (!file) {
        RequireAnswer(plain);
        return false;
    }
    switch (kind_) {
        case ContainerKind::Store:
            if (kivfsSeek(file.get(), 0, 2) != -1) return true;
            RequireAnswer(plain);
            return false;
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
            if (!listing) RequireAnswer(plain);
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
    if (!file) throw container.Failure("cannot open " + where, "no such file");
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
