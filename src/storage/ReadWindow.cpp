#include "storage/ReadWindow.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "storage/StoreConnection.h"

namespace kivfs {

// The version is asked only when a window is held: a file read whole never
// pays for it.
std::optional<uint32_t> ReadWindow::Serve(uint32_t position, void* buffer, uint32_t length,
                                          uint32_t fileSize) {
    if (bytes_.empty()) return std::nullopt;
    const uint64_t end = uint64_t{from_} + bytes_.size();
    if (position < from_ || position >= end) {
        bytes_.clear();
        return std::nullopt;
    }
    if (position + uint64_t{length} > end && end < fileSize) return std::nullopt;
    if (store_.ContentVersion() != version_) {
        bytes_.clear();
        return std::nullopt;
    }
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(length, end - position));
    std::memcpy(buffer, bytes_.data() + (position - from_), n);
    return n;
}

// A copy that cannot be allocated leaves no window.
void ReadWindow::Keep(const unsigned char* bytes, uint32_t count, uint32_t from) {
    try {
        bytes_.assign(bytes, bytes + count);
    } catch (const std::bad_alloc&) {
        bytes_.clear();
        return;
    }
    from_ = from;
    Seal();
}

// Any earlier window is dropped first.
unsigned char* ReadWindow::Reserve(uint32_t count, uint32_t from) {
    bytes_.clear();
    try {
        bytes_.resize(count);
    } catch (const std::bad_alloc&) {
        bytes_.clear();
        return nullptr;
    }
    from_ = from;
    return bytes_.data();
}

// A version that cannot be learned now could never be matched: no window.
void ReadWindow::Seal() {
    const std::optional<uint64_t> version = store_.ContentVersion();
    if (!version) {
        bytes_.clear();
        return;
    }
    version_ = *version;
}

}  // namespace kivfs
