#include "storage/SplitStoredName.h"

namespace kivfs {

// The last "/" separates the keys; without one the whole name is the FileName.
StoredName SplitStoredName(const std::string& name) {
    const size_t slash = name.rfind('/');
    if (slash == std::string::npos) return StoredName{name, std::string()};
    return StoredName{name.substr(slash + 1), name.substr(0, slash + 1)};
}

// Paths always end in "/", so a directory named without one gets it.
std::string DirectoryText(const std::string& name) {
    if (name.empty() || name.back() == '/') return name;
    return name + "/";
}

}  // namespace kivfs
