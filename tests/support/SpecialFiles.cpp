// POSIX: mkfifo(3); Windows has no FIFO a folder could hold.
#include "support/SpecialFiles.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

namespace kivfs_test {

bool MakeFifo(const std::string& path) {
#if defined(_WIN32)
    (void)path;
    return false;
#else
    return ::mkfifo(path.c_str(), 0600) == 0;
#endif
}

}  // namespace kivfs_test
