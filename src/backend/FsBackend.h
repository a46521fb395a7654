// FsBackend: one opened container (a real directory, a zip archive or a
// SQLite store).
//
// Slots, in order: destructor, OpenFile, CreateEnum, IsFileExist,
// DeleteDirectory, IsDirectoryExist, DeleteFile, RenameFile, CopyFile,
// MoveFile, BeginTrans, CommitTrans. Names are relative to the container, use
// "/" only (the call layer has normalised them) and the empty name is the
// container's root. Files and listings may borrow the backend's resources, so
// they are destroyed before the backend that made them.
#pragma once

#include <memory>
#include <string>

#include "backend/Failure.h"
#include "backend/FsEnum.h"
#include "backend/FsFile.h"
#include "kivfs.h"

namespace kivfs {

class FsBackend {
  public:
    virtual ~FsBackend() = default;

    // A new file, or null. `mode` is 0..5 ("rb".."ab+"); only real files use it.
    virtual std::unique_ptr<FsFile> OpenFile(const std::string& name, int mode) = 0;
    // A new listing of the directory `name` ("" or ending with "/"), or null.
    virtual std::unique_ptr<FsEnum> CreateEnum(const std::string& name) = 0;
    // True when the question could be answered; *exists then tells (archives
    // only ever store true, leaving a miss as the caller set it).
    virtual bool IsFileExist(const std::string& name, bool* exists) = 0;
    virtual bool DeleteDirectory(const std::string& name) = 0;
    virtual bool IsDirectoryExist(const std::string& name, bool* exists) = 0;
    virtual bool DeleteFile(const std::string& name) = 0;
    virtual bool RenameFile(const std::string& oldName, const std::string& newName) = 0;
    virtual bool CopyFile(const std::string& source, const std::string& target,
                          bool failIfExists) = 0;
    virtual bool MoveFile(const std::string& source, const std::string& target,
                          bool failIfExists) = 0;
    virtual bool BeginTrans() = 0;
    virtual bool CommitTrans() = 0;

  protected:
    FsBackend() = default;
    FsBackend(const FsBackend&) = delete;
    FsBackend& operator=(const FsBackend&) = delete;
};

// ReadOnlyFsBackend: the slots that change a container, answered as the
// containers that cannot change (real directories, archives) answer them:
// false, without reading the arguments and without touching the disk; the
// cause noted is UNSUPPORTED.
class ReadOnlyFsBackend : public FsBackend {
  public:
    bool DeleteDirectory(const std::string&) override { return Unsupported(); }
    bool DeleteFile(const std::string&) override { return Unsupported(); }
    bool RenameFile(const std::string&, const std::string&) override { return Unsupported(); }
    bool CopyFile(const std::string&, const std::string&, bool) override { return Unsupported(); }
    bool MoveFile(const std::string&, const std::string&, bool) override { return Unsupported(); }
    bool BeginTrans() override { return Unsupported(); }
    bool CommitTrans() override { return Unsupported(); }

  private:
    static bool Unsupported() {
        NoteFailure(KIVFS_ERR_UNSUPPORTED);
        return false;
    }
};

}  // namespace kivfs
