// The exported error-reason calls: the calling thread's last failure code and
// a short text for any code.
#include "backend/Failure.h"
#include "kivfs.h"

extern "C" {

int kivfsLastError(void) {
    return kivfs::LastErrorCode();
}

const char* kivfsErrorText(int code) {
    switch (code) {
        case KIVFS_OK:
            return "no error";
        case KIVFS_ERR_NOT_FOUND:
            return "not found";
        case KIVFS_ERR_EXISTS:
            return "already exists";
        case KIVFS_ERR_ARGUMENT:
            return "invalid argument";
        case KIVFS_ERR_READ_ONLY:
            return "read-only";
        case KIVFS_ERR_BUSY:
            return "locked by another program";
        case KIVFS_ERR_NO_SPACE:
            return "no space left on device";
        case KIVFS_ERR_IO:
            return "input/output error";
        case KIVFS_ERR_CORRUPT:
            return "damaged data";
        case KIVFS_ERR_UNSUPPORTED:
            return "not supported";
        case KIVFS_ERR_NO_MEMORY:
            return "out of memory";
        case KIVFS_ERR_PERMISSION:
            return "permission denied";
        case KIVFS_ERR_OUTSIDE_ROOT:
            return "name leaves its root";
        case KIVFS_ERR_NOT_A_FILE:
            return "not a regular file";
        default:
            return "unknown error";
    }
}

}  // extern "C"
