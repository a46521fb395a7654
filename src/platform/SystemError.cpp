// The C runtime's errno values in the library's terms. Both platforms
// share them: POSIX reports its own calls with errno, and Windows' C runtime
// (_wfopen) names the few causes it tells apart as POSIX does.
#include <cerrno>

#include "kivfs.h"
#include "platform/SystemError.h"

namespace kivfs {

// ENOTDIR is a missing folder on the way; EFBIG a file the disk or the
// process limit will not let grow, as good as a full disk for the host;
// EOVERFLOW a position or size beyond what the call's types can carry.
int ErrnoToCode(int err) {
    switch (err) {
        case ENOENT:
        case ENOTDIR:
            return KIVFS_ERR_NOT_FOUND;
        case EEXIST:
        case ENOTEMPTY:
            return KIVFS_ERR_EXISTS;
        case EINVAL:
        case ENAMETOOLONG:
            return KIVFS_ERR_ARGUMENT;
        case EROFS:
            return KIVFS_ERR_READ_ONLY;
        case EBUSY:
        case EAGAIN:
            return KIVFS_ERR_BUSY;
        case ENOSPC:
        case EFBIG:
            return KIVFS_ERR_NO_SPACE;
        case ENOMEM:
            return KIVFS_ERR_NO_MEMORY;
        case EACCES:
        case EPERM:
            return KIVFS_ERR_PERMISSION;
        case EOVERFLOW:
            return KIVFS_ERR_UNSUPPORTED;
        case EISDIR:
        case ENXIO:
        case ENODEV:
            return KIVFS_ERR_NOT_A_FILE;
        default:
            return KIVFS_ERR_IO;
    }
}

}  // namespace kivfs
