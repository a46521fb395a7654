#include "zip/DirectStoredRead.h"

#include "zip/ZipFormat.h"

namespace kivfs {

using namespace zipformat;

bool DirectStoredRead::Serves(int length) {
    if (!archive_ || length < kMinLength) return false;
    if (located_) return true;
    if (Locate()) return true;
    archive_ = nullptr;
    return false;
}

// The data starts where the entry stream itself starts it: after the local
// header's own name and extra field, whose lengths may differ from the
// central header's. Worked out in 64 bits, so no offset wraps into range.
bool DirectStoredRead::Locate() {
    unsigned char header[kLocalHeaderSize];
    if (!archive_->CopyAt(localHeader_, header, sizeof header)) return false;
    if (!HasSignature(header, kLocalSignature)) return false;
    const std::uint64_t data = std::uint64_t{localHeader_} + kLocalHeaderSize +
                               U16(header + kLocalNameLength) + U16(header + kLocalExtraLength);
    if (data + size_ > static_cast<std::uint64_t>(archive_->Size())) return false;
    data_ = static_cast<std::uint32_t>(data);
    located_ = true;
    return true;
}

bool DirectStoredRead::Read(std::uint32_t offset, void* buffer, std::size_t length) const {
    return archive_->ReadAt(data_ + offset, buffer, length);
}

}  // namespace kivfs
