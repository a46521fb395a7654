#include "backend/FsEnum.h"

#include <cstring>

namespace kivfs {

// Copies a name into a caller-owned buffer of exactly its length plus the
// terminator; see the header for who frees it.
char* NewNameText(const std::string& text) {
    char* copy = new char[text.size() + 1];
    std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

}  // namespace kivfs
