#include "ContainerPath.h"

#include <cctype>

#include "LocalFiles.h"

namespace kivfs_tool {

namespace {

// A ":" right after a single leading letter, as in "C:/games", belongs to a
// drive and never separates a container from a name.
bool IsDriveColon(const std::string& text, size_t at) {
    return at == 1 && std::isalpha(static_cast<unsigned char>(text[0]));
}

ContainerPath SplitAt(const std::string& text, size_t at) {
    const std::string given = text.substr(at + 1);
    return ContainerPath{text.substr(0, at), NormalizedName(given), true, given};
}

}  // namespace

std::string ContainerPath::Display() const {
    return hasName ? container + ":" + name : container;
}

ContainerPath ContainerPath::With(const std::string& otherName) const {
    return ContainerPath{container, otherName, true, otherName};
}

// Scans the ":" from right to left and takes the first whose left part
// exists; failing that, the last one that is not a drive letter's.
ContainerPath ParseContainerPath(const std::string& argument) {
    size_t fallback = std::string::npos;
    for (size_t at = argument.rfind(':'); at != std::string::npos && at > 0;
         at = argument.rfind(':', at - 1)) {
        if (LocalExists(argument.substr(0, at))) return SplitAt(argument, at);
        if (fallback == std::string::npos && !IsDriveColon(argument, at)) fallback = at;
    }
    if (fallback != std::string::npos) return SplitAt(argument, fallback);
    return ContainerPath{argument, "", false, ""};
}

std::string NormalizedName(const std::string& name) {
    std::string result = name;
    for (char& c : result) {
        if (c == '\\') c = '/';
    }
    return result;
}

std::string DirectoryPrefix(const std::string& name) {
    if (name.empty() || name.back() == '/') return name;
    return name + "/";
}

std::string WithoutTrailingSlash(const std::string& name) {
    std::string result = name;
    while (!result.empty() && result.back() == '/') result.pop_back();
    return result;
}

}  // namespace kivfs_tool
