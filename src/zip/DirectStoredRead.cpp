#include "zip/DirectStoredRead.h"

namespace kivfs {

namespace {

// The local header: its signature, then fixed fields up to the lengths of
// the name and the extra field, which follow it before the data.
constexpr unsigned char kLocalSignature[] = {'P', 'K', 3, 4};
constexpr std::uint32_t kLocalHeaderSize = 30;
constexpr std::uint32_t kLocalNameLength = 26, kLocalExtraLength = 28;

std::uint16_t U16(const unsigned char* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

}  // namespace

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
    for (std::size_t i = 0; i < sizeof kLocalSignature; ++i) {
        if (header[i] != kLocalSignature[i]) return false;
    }
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
