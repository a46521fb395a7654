// The exported mount calls: mounting and unmounting virtual names, the
// translation of a virtual path into a system path, and the creation of one
// system directory.
#include <cstring>
#include <string>

#include "kivfs.h"
#include "mount/MountTable.h"
#include "platform/SystemPath.h"
#include "platform/Text.h"

namespace {

// The system path a normalised virtual path stands for: the mount's path,
// one "/" and the rest of the virtual path, all as they stand (a system path
// given with a trailing "/" therefore yields "//"). Empty without a mount.
std::string SystemPathOf(const std::string& virtualPath) {
    const kivfs::MountedPath mounted = kivfs::MountTable::Instance().Resolve(virtualPath);
    if (!mounted.entry) return std::string();
    return mounted.entry->sysPath + "/" + mounted.inner;
}

}  // namespace

extern "C" {

// The caller is not told whether the mount was made.
void kivFSMountPath(const char* name, const char* sysPath) {
    if (!name || !*name || !sysPath || !*sysPath) return;
    kivfs::MountTable::Instance().Mount(kivfs::NormalizedCopy(name),
                                        kivfs::NormalizedCopy(sysPath));
}

void kivFSUnmountPath(const char* name) {
    if (!name || !*name) return;
    kivfs::MountTable::Instance().Unmount(kivfs::NormalizedCopy(name));
}

// Returns the system path's length and copies it as strncpy does: zeros after
// a shorter path, no terminator when it fills the buffer or more, so the
// caller sees truncation in a result >= bufferSize. A size of 0 only asks for
// the length. A path that finds no mount returns 0 and, given somewhere to
// write, leaves the buffer all zeros (the empty text); a null or empty path is
// no request at all and leaves the buffer as it was.
int kivFSKivToSyspath(const char* virtualPath, char* buffer, unsigned int bufferSize) {
    if (!virtualPath || !*virtualPath) return 0;
    const std::string sysPath = SystemPathOf(kivfs::NormalizedCopy(virtualPath));
    if (bufferSize == 0) return static_cast<int>(sysPath.size());
    if (!buffer) return 0;
    std::strncpy(buffer, sysPath.c_str(), bufferSize);
    return static_cast<int>(sysPath.size());
}

// A system path, never looked up in the mount table; only its last component
// is created.
int kivFSCreateDirectory(const char* sysPath) {
    if (!sysPath || !*sysPath) return 0;
    return kivfs::CreateSystemDirectory(kivfs::NormalizedCopy(sysPath).c_str()) ? 1 : 0;
}

}  // extern "C"
