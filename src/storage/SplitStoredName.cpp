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

// A text that begins with "dir/" sorts at or after "dir/" and before "dir0",
// and every text between the two begins with "dir/", since "0" follows "/".
PathRange DirectoryRange(const std::string& name) {
    PathRange range{DirectoryText(name), std::string()};
    if (!range.first.empty()) {
        range.end = range.first;
        range.end.back() = '/' + 1;
    }
    return range;
}

}  // namespace kivfs
