// Windows: no size-limited folder can be made without rights a test does
// not have (a small VHD needs an administrator), and there is no root.
#include "support/SmallDisk.h"

namespace kivfs_test {

SmallDisk::SmallDisk(const std::string& parent, size_t)
    : path_(parent + "/small"), why_("no size-limited folder on Windows") {}

SmallDisk::~SmallDisk() = default;

bool RunAsNobody() {
    return false;
}

bool IsRoot() {
    return false;
}

}  // namespace kivfs_test
