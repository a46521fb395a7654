// The exported mount calls: mounting and unmounting virtual names, the
// translation of a virtual path into a system path, and the creation of one
// system directory.
#include <cstring>
#include <string>

#include "api/Guarded.h"
#include "backend/Failure.h"
#include "kivfs.h"
#include "mount/MountTable.h"
#include "platform/SystemPath.h"
#include "platform/Text.h"

using kivfs::Guarded;
using kivfs::NormalizedCopy;
using kivfs::Refuse;

extern "C" {

// The caller is not told whether the mount was made; kivfsLastError says why
// it was not (EXISTS for a name already mounted).
void kivFSMountPath(const char* name, const char* sysPath) {
    Guarded(false, KIVFS_ERR_NOT_FOUND, [&] {
        if (!name || !*name || !sysPath || !*sysPath) return Refuse(false);
        return kivfs::MountTable::Instance().Mount(NormalizedCopy(name), NormalizedCopy(sysPath));
    });
}

void kivFSUnmountPath(const char* name) {
    Guarded(false, KIVFS_ERR_NOT_FOUND, [&] {
        if (!name || !*name) return Refuse(false);
        return kivfs::MountTable::Instance().Unmount(NormalizedCopy(name));
    });
}

// Returns the system path's length and copies it as strncpy does: zeros after
// a shorter path, no terminator when it fills the buffer or more, so the
// caller sees truncation in a result >= bufferSize. A size of 0 only asks for
// the length. A path that finds no mount returns 0 and, given somewhere to
// write, leaves the buffer all zeros (the empty text); a null or empty path is
// no request at all and leaves the buffer as it was.
int kivFSKivToSyspath(const char* virtualPath, char* buffer, unsigned int bufferSize) {
    return Guarded(0, KIVFS_ERR_NOT_FOUND, [&] {
        if (!virtualPath || !*virtualPath) return Refuse(0);
        const std::string sysPath =
            kivfs::MountTable::Instance().SystemPathOf(NormalizedCopy(virtualPath));
        if (bufferSize == 0) return static_cast<int>(sysPath.size());
        if (!buffer) return Refuse(0);
        std::strncpy(buffer, sysPath.c_str(), bufferSize);
        return static_cast<int>(sysPath.size());
    });
}

// A system path, never looked up in the mount table; only its last component
// is created.
int kivFSCreateDirectory(const char* sysPath) {
    return Guarded(0, KIVFS_ERR_IO, [&] {
        if (!sysPath || !*sysPath) return Refuse(0);
        int cause = KIVFS_OK;
        if (kivfs::CreateSystemDirectory(NormalizedCopy(sysPath).c_str(), &cause)) return 1;
        kivfs::NoteFailure(cause);
        return 0;
    });
}

}  // extern "C"
