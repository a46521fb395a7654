// An open container (a directory, a zip archive or a store) and the
// questions the commands ask about names inside it, answered through the
// library's public calls only.
#pragma once

#include <memory>
#include <string>

#include "ToolError.h"
#include "kivfs.h"

namespace kivfs_tool {

// Handles of the library, closed when their owner goes away.
struct DirCloser {
    void operator()(DirHandle* dir) const { kivfsCloseDir(dir); }
};
struct HandleCloser {
    void operator()(void* handle) const { kivfsCloseFile(handle); }
};
using DirPtr = std::unique_ptr<DirHandle, DirCloser>;
using FilePtr = std::unique_ptr<FileHandle, HandleCloser>;
using EnumPtr = std::unique_ptr<EnumHandle, HandleCloser>;

enum class ContainerKind { Directory, ZipArchive, Store };

// "directory", "zip archive" or "store".
const char* KindText(ContainerKind kind);

// Whether opening may bring a new store into being. Inspecting commands
// require the container to exist, so that a mistyped path never leaves an
// empty database behind.
enum class OpenMode { MustExist, MayCreate };

// Throws ToolError unless `path` holds a container: missing paths,
// zero-byte files (which would silently become new, empty stores) and files
// of any other kind are refused.
void RequireExistingContainer(const std::string& path);

// "store 'path' is locked by another program".
std::string StoreLockedText(const std::string& path);

class Container {
  public:
    // Opens the container at `path`, of the kind its content shows; throws
    // ToolError, with the library's reason, when it is missing (MustExist),
    // holds no container, or the library cannot open it. Messages name it
    // `shownAs` when given (a part file standing in for its target).
    static Container Open(const std::string& path, OpenMode mode, const std::string& shownAs = "");

    DirHandle* handle() const { return dir_.get(); }
    ContainerKind kind() const { return kind_; }
    const std::string& path() const { return path_; }
    // "path:name", the form used in messages.
    std::string Display(const std::string& name) const { return path_ + ":" + name; }

    // True when `name` is a file that opens for reading. In zip archives
    // names match regardless of case, as the library opens them.
    bool IsFile(const std::string& name) const;
    // True when `name` is a directory: the root, a real sub-folder, a
    // directory of a store holding at least one file, or a directory of a
    // zip archive (an entry of its own or entries below it).
    bool IsDirectory(const std::string& name) const;

    // Throws ToolError ("cannot <verb> ...") unless this is a store, the
    // only kind of container whose files can be removed, moved or copied.
    void RequireStore(const std::string& verb, const std::string& name) const;

    // The error for a call on this container that has just failed: "<what>:
    // <the library's reason, or fallback>", or, when another program holds
    // the store's lock, the line saying so. Given the `name` of the file the
    // call was about, an entry of a zip archive that the library refuses as
    // unsupported is named for what it is ("encrypted entry").
    ToolError Failure(const std::string& what, const std::string& fallback,
                      const std::string& name = "") const;

    // The reason part of Failure: why the call about `name` just failed.
    std::string Reason(const std::string& name, const std::string& fallback) const;

  private:
    Container(DirPtr dir, ContainerKind kind, std::string path);
    // Called after a probe of `name` failed: returns when the failure says
    // the name is absent or of another kind, and throws Failure otherwise.
    void RequireAnswer(const std::string& name) const;

    DirPtr dir_;
    ContainerKind kind_;
    std::string path_;
};

// Opens `name` for reading; throws ToolError ("cannot open ...: no such
// file" or "...: is a directory") when it is not a readable file.
FilePtr OpenFileForReading(const Container& container, const std::string& name);

// The size in bytes of an open file: the position after a seek to its end.
// The seek's own result differs by backend (0 on real files, the position
// elsewhere), so only -1 is taken from it. Leaves the file at its start.
int FileSizeOf(FileHandle* file);

// A text handed out by the listing calls, copied and released.
std::string TakeName(char* text);

}  // namespace kivfs_tool
