#include "SafeName.h"

#include <cctype>
#include <vector>

namespace kivfs_tool {

namespace {

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

// "C:" at the start makes a name absolute (or drive-relative) on Windows.
bool HasDrivePrefix(const std::string& name) {
    return name.size() >= 2 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':';
}

// The components of `name` between any of the `separators`.
std::vector<std::string> Components(const std::string& name, const char* separators) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = name.find_first_of(separators, start);
        parts.push_back(name.substr(start, end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

}  // namespace

// Climbing is looked for with both separators, as Windows reads them, and
// reported first: it is what would do harm.
std::string UnsafeNameReason(const std::string& name, bool isDirectory) {
    if (name.empty()) return "the name is empty";
    if (IsSeparator(name[0]) || HasDrivePrefix(name)) return "the name is absolute";
    for (const std::string& part : Components(name, "/\\")) {
        if (part == "..") return "the name climbs above its root (\"..\")";
    }
    if (name.find('\\') != std::string::npos) {
        return "the name holds \"\\\" (inside containers \"/\" separates names)";
    }
    std::vector<std::string> parts = Components(name, "/");
    // A directory's name ends with "/", after which comes nothing.
    if (isDirectory && parts.size() > 1 && parts.back().empty()) parts.pop_back();
    for (const std::string& part : parts) {
        if (part.empty()) return "the name has an empty component";
        if (part == ".") return "the name has a \".\" component";
    }
    if (name.find(':') != std::string::npos) return "the name holds \":\"";
    return "";
}

bool LooksLikeSystemPath(const std::string& text) {
    if (text.empty()) return false;
    if (IsSeparator(text[0]) || HasDrivePrefix(text)) return true;
    for (const char* start : {"./", "../", ".\\", "..\\", "~/"}) {
        if (text.rfind(start, 0) == 0) return true;
    }
    return text == "." || text == ".." || text == "~";
}

}  // namespace kivfs_tool
