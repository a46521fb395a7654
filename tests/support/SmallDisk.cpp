#include "support/SmallDisk.h"

#include <grp.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kivfs_test {

// tmpfs first: only root may mount, and only where the system allows it.
SmallDisk::SmallDisk(const std::string& parent, size_t bytes) : path_(parent + "/small") {
    if (::mkdir(path_.c_str(), 0755) != 0) {
        why_ = std::string("cannot make the folder: ") + std::strerror(errno);
        return;
    }
    const std::string options = "size=" + std::to_string(bytes);
    if (::mount("tmpfs", path_.c_str(), "tmpfs", 0, options.c_str()) == 0) {
        mounted_ = ready_ = true;
        why_ = "a tmpfs of " + std::to_string(bytes) + " bytes";
        return;
    }
    const std::string mountError = std::strerror(errno);
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0) {
        why_ = "no tmpfs (" + mountError + ") and no RLIMIT_FSIZE";
        return;
    }
    savedLimit_ = limit.rlim_cur;
    limit.rlim_cur = bytes;
    savedHandler_ = ::signal(SIGXFSZ, SIG_IGN);
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
        ::signal(SIGXFSZ, savedHandler_);
        why_ = "no tmpfs (" + mountError + ") and RLIMIT_FSIZE cannot be lowered";
        return;
    }
    limited_ = ready_ = true;
    why_ =
        "RLIMIT_FSIZE of " + std::to_string(bytes) + " bytes per file (mount: " + mountError + ")";
}

// A lazy unmount never fails for files still open in it.
SmallDisk::~SmallDisk() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
    if (limited_) {
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = savedLimit_;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::signal(SIGXFSZ, savedHandler_);
    }
}

// The group first: once the user is changed, the group can no longer be.
bool RunAsNobody() {
    const gid_t nobody = 65534;
    return IsRoot() && ::setgroups(0, nullptr) == 0 && ::setgid(nobody) == 0 &&
           ::setuid(nobody) == 0 && ::geteuid() == nobody;
}

bool IsRoot() {
    return ::geteuid() == 0;
}

}  // namespace kivfs_test
