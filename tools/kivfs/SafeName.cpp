#include "SafeName.h"

#include <cctype>

namespace kivfs_tool {

namespace {

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

// "C:" at the start makes a name absolute (or drive-relative) on Windows.
bool HasDrivePrefix(const std::string& name) {
    return name.size() >= 2 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':';
}

// True when a ".." component appears anywhere in the name.
bool ClimbsUp(const std::string& name) {
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !IsSeparator(name[end])) ++end;
        if (name.compare(start, end - start, "..") == 0 && end - start == 2) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

// A file whose name ends with a separator (a store can hold one) has no
// name of its own to be written under.
std::string UnsafeNameReason(const std::string& name, bool isDirectory) {
    if (name.empty() || (!isDirectory && IsSeparator(name.back()))) return "the name is empty";
    if (IsSeparator(name[0]) || HasDrivePrefix(name)) return "the name is absolute";
    if (ClimbsUp(name)) return "the name climbs out of the target directory";
    return "";
}

}  // namespace kivfs_tool
