// POSIX: mkfifo(3).
#include "support/SpecialFiles.h"

#include <sys/stat.h>

namespace kivfs_test {

bool MakeFifo(const std::string& path) {
    return ::mkfifo(path.c_str(), 0600) == 0;
}

}  // namespace kivfs_test
