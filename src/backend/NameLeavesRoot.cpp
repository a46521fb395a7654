#include "backend/NameLeavesRoot.h"

namespace kivfs {

// Counts how deep each component stands below the start; the first ".."
// that would take the count below zero is a climb out, whatever follows.
bool NameLeavesRoot(const std::string& name) {
    size_t depth = 0;
    for (size_t begin = 0; begin <= name.size();) {
        size_t end = name.find('/', begin);
        if (end == std::string::npos) end = name.size();
        const size_t length = end - begin;
        if (length == 2 && name.compare(begin, 2, "..") == 0) {
            if (depth == 0) return true;
            --depth;
        } else if (length > 0 && !(length == 1 && name[begin] == '.')) {
            ++depth;
        }
        begin = end + 1;
    }
    return false;
}

}  // namespace kivfs
