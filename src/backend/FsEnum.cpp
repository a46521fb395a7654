#include "backend/FsEnum.h"

#include <cstring>

namespace kivfs {

// Copies a name into a caller-owned buffer of exactly its length plus the
// terminator; see the header for who frees it.
char* NewNameText(std::string_view text) {
    char* copy = new char[text.size() + 1];
    if (!text.empty()) std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    return copy;
}

}  // namespace kivfs
