#include "backend/SnapshotListing.h"

#include <stdexcept>

namespace kivfs {

// The name's bytes go to the end of the shared block.
void SnapshotListing::Append(std::string_view name, bool isDirectory) {
    if (name.size() > UINT32_MAX) throw std::length_error("listed name too long");
    entries_.push_back(Entry{names_.size(), static_cast<std::uint32_t>(name.size()), isDirectory});
    names_.append(name.data(), name.size());
}

}  // namespace kivfs
