#include "backend/SnapshotEnum.h"

#include <utility>

namespace kivfs {

// Starts on the placeholder, with a listing of its own to fill.
SnapshotEnum::SnapshotEnum(std::string dirPath) : dirPath_(std::move(dirPath)), names_{""} {
    auto listing = std::make_shared<SnapshotListing>();
    filling_ = listing.get();
    listing_ = std::move(listing);
}

SnapshotEnum::SnapshotEnum(std::string dirPath, std::shared_ptr<const SnapshotListing> listing)
    : dirPath_(std::move(dirPath)), listing_(std::move(listing)) {}

// Room for `count` more entries, when their number is known.
void SnapshotEnum::Reserve(std::size_t count) {
    filling_->Reserve(count);
}

// Directory names end with "/", so only a file name holding one can ever
// equal a directory's: the others (nearly all) need not be remembered.
void SnapshotEnum::AddFile(std::string_view name) {
    if (name.find('/') != std::string_view::npos) names_.emplace(name);
    filling_->Append(name, false);
}

// A directory stands at the place of the first name that reveals it.
void SnapshotEnum::AddDirectory(std::string_view name) {
    if (!names_.emplace(name).second) return;
    filling_->Append(name, true);
}

// At the end it stays there until Reset.
bool SnapshotEnum::MoveNext() {
    if (AtEnd()) return false;
    ++cursor_;
    return !AtEnd();
}

// Back onto the placeholder; the snapshot is not taken again.
void SnapshotEnum::Reset() {
    cursor_ = 0;
}

bool SnapshotEnum::GetName(char** out) {
    if (!out || AtEnd()) return false;
    *out = NewNameText(cursor_ == 0 ? std::string_view() : listing_->Name(cursor_ - 1));
    return true;
}

// Formed in a text kept from call to call: a walk asks for every full name,
// and only the caller's copy need be allocated.
bool SnapshotEnum::GetFullName(char** out) {
    if (!out || AtEnd()) return false;
    fullName_.assign(dirPath_);
    if (cursor_ != 0) {
        const std::string_view name = listing_->Name(cursor_ - 1);
        fullName_.append(name.data(), name.size());
    }
    if (IsDirectory() && (fullName_.empty() || fullName_.back() != '/')) fullName_ += '/';
    *out = NewNameText(fullName_);
    return true;
}

// Nothing at the end, and not the placeholder, is a directory.
bool SnapshotEnum::IsDirectory() {
    return cursor_ != 0 && !AtEnd() && listing_->IsDirectory(cursor_ - 1);
}

}  // namespace kivfs
