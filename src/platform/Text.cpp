// Slash normalisation, the same on every platform; the UTF-8 and UTF-16
// conversions are the system's own (platform/<system>/Text.cpp).
#include "platform/Text.h"

#include <algorithm>

namespace kivfs {

void NormalizeSlashes(std::string& text) {
    std::replace(text.begin(), text.end(), '\\', '/');
}

std::string NormalizedCopy(const char* text) {
    std::string copy(text ? text : "");
    NormalizeSlashes(copy);
    return copy;
}

}  // namespace kivfs
