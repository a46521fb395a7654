// NativeFs: a real directory of the system file system served as a
// container.
//
// Files under the root are opened (and, for the writing modes, created with
// their missing parent directories) as NativeFile; directories are listed
// live by NativeEnum; the two existence probes ask the system. Everything
// else a container may do (delete, rename, copy, move, transactions) is
// refused with false and leaves the disk as it was. The backend holds nothing
// but its root: the files and listings it makes do not refer back to it.
// Names whose ".." components climb above the root (NameLeavesRoot) are
// refused by every slot; only regular files open, never a directory, FIFO,
// socket or device. Each refusal notes its cause for the calling export.
#pragma once

#include <memory>
#include <string>

#include "backend/FsBackend.h"

namespace kivfs {

class NativeFs : public ReadOnlyFsBackend {
  public:
    // Serves the directory `path` ("/" as separator, never empty).
    explicit NativeFs(const std::string& path);

    // Opens root + name with mode 0..5 ("rb", "wb", "ab", "rb+", "wb+",
    // "ab+"); null for any other mode, a missing file in modes 0 and 3, a
    // path that is no regular file, or one that cannot be opened even after
    // its parents were created.
    std::unique_ptr<FsFile> OpenFile(const std::string& name, int mode) override;
    // A listing of root + name, which must be the root itself (empty name) or
    // end with "/"; null when that is not an existing directory.
    std::unique_ptr<FsEnum> CreateEnum(const std::string& name) override;
    // Whether root + name is an existing non-directory; answerable for every
    // name that stays inside the root.
    bool IsFileExist(const std::string& name, bool* exists) override;
    // Whether root + name is an existing directory; answerable for every name
    // that stays inside the root.
    bool IsDirectoryExist(const std::string& name, bool* exists) override;

  private:
    // Creates each missing directory on the way to root + name, one level at
    // a time, for every "/" in `name`.
    void CreateParents(const std::string& name) const;

    // The directory's path in UTF-8 with "/" as separator; always ends with "/".
    std::string root_;
};

}  // namespace kivfs
