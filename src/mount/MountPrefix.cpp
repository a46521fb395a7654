#include "mount/MountPrefix.h"

namespace kivfs {

// Only the first ":" counts: everything after it is the path inside the mount.
std::string MountPrefix(const std::string& text) {
    const size_t colon = text.find(':');
    return colon == std::string::npos ? std::string() : text.substr(0, colon + 1);
}

}  // namespace kivfs
