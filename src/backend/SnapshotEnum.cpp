#include "backend/SnapshotEnum.h"

#include <utility>

namespace kivfs {

// Starts on the placeholder, the position before the first entry.
SnapshotEnum::SnapshotEnum(std::string dirPath)
    : dirPath_(std::move(dirPath)), entries_{Entry{false, std::string()}}, names_{std::string()} {}

// Room for `count` more entries, when their number is known.
void SnapshotEnum::Reserve(size_t count) {
    entries_.reserve(entries_.size() + count);
}

// Directory names end with "/", so only a file name holding one can ever
// equal a directory's: the others (nearly all) need not be remembered.
void SnapshotEnum::AddFile(std::string name) {
    if (name.find('/') != std::string::npos) names_.insert(name);
    entries_.push_back(Entry{false, std::move(name)});
}

// A directory stands at the place of the first name that reveals it.
void SnapshotEnum::AddDirectory(std::string name) {
    if (!names_.insert(name).second) return;
    entries_.push_back(Entry{true, std::move(name)});
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
    *out = NewNameText(entries_[cursor_].name);
    return true;
}

// Formed in a text kept from call to call: a walk asks for every full name,
// and only the caller's copy need be allocated.
bool SnapshotEnum::GetFullName(char** out) {
    if (!out || AtEnd()) return false;
    fullName_.assign(dirPath_).append(entries_[cursor_].name);
    if (entries_[cursor_].isDirectory && (fullName_.empty() || fullName_.back() != '/'))
        fullName_ += '/';
    *out = NewNameText(fullName_);
    return true;
}

// Nothing at the end is a directory.
bool SnapshotEnum::IsDirectory() {
    return !AtEnd() && entries_[cursor_].isDirectory;
}

}  // namespace kivfs
