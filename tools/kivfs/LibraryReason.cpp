#include "LibraryReason.h"

#include "kivfs.h"

namespace kivfs_tool {

std::string LibraryReason(const std::string& fallback) {
    const int code = kivfsLastError();
    return code == KIVFS_OK ? fallback : std::string(kivfsErrorText(code));
}

bool LastFailureWasBusy() {
    return kivfsLastError() == KIVFS_ERR_BUSY;
}

bool LastFailureIsGeneral() {
    switch (kivfsLastError()) {
        case KIVFS_ERR_BUSY:
        case KIVFS_ERR_IO:
        case KIVFS_ERR_NO_SPACE:
        case KIVFS_ERR_NO_MEMORY:
            return true;
        default:
            return false;
    }
}

}  // namespace kivfs_tool
