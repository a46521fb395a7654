// SmallDisk: a folder whose files cannot grow past a small size, for tests of
// a full disk. Implemented in SmallDisk.cpp (POSIX).
//
// As root it is a tmpfs of `bytes` mounted on a new folder (a real full
// file system: every file in it shares the space). Where mounting is not
// allowed, it is a plain folder and the calling process's file-size limit
// (RLIMIT_FSIZE) is lowered to `bytes` while the object lives, with SIGXFSZ
// ignored, so that a write past the limit fails with EFBIG instead of
// killing the process: each file, rather than all of them, is then limited.
#pragma once

#include <cstddef>
#include <string>

namespace kivfs_test {

class SmallDisk {
  public:
    // Makes the folder `parent`/small, limited to about `bytes`.
    SmallDisk(const std::string& parent, size_t bytes);
    // Unmounts the tmpfs, or gives the process its file-size limit back.
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    // False when neither way could be set up; Why() says why.
    bool Ready() const { return ready_; }
    // The limited folder, without a trailing "/".
    const std::string& path() const { return path_; }
    // How the limit is made ("a 2 MiB tmpfs", "RLIMIT_FSIZE ..."), or why
    // there is none.
    const std::string& Why() const { return why_; }

  private:
    std::string path_;
    std::string why_;
    bool ready_ = false;
    bool mounted_ = false;
    bool limited_ = false;
    unsigned long long savedLimit_ = 0;    // the soft RLIMIT_FSIZE before, when limited_
    void (*savedHandler_)(int) = nullptr;  // SIGXFSZ's handler before, when limited_
};

// Gives up root for an unprivileged user (nobody, uid and gid 65534) in the
// calling process, for good; meant for a child. False when the process is
// not root or the change fails; true when it runs unprivileged.
bool RunAsNobody();
// True when the calling process runs as root.
bool IsRoot();

}  // namespace kivfs_test
