#include "native/NativeEnum.h"

namespace kivfs {

namespace {

// The entries every directory holds for itself and its parent. Asked once
// per entry listed, so it looks at the characters rather than compare texts.
bool IsDotEntry(std::string_view name) {
    return !name.empty() && name[0] == '.' &&
           (name.size() == 1 || (name.size() == 2 && name[1] == '.'));
}

}  // namespace

// The root ends in "/", so the folder is never empty.
NativeEnum::NativeEnum(std::string dirPath, std::string relName) : relName_(std::move(relName)) {
    const size_t slash = dirPath.rfind('/');
    const size_t split = slash == std::string::npos ? 0 : slash + 1;
    prefix_ = dirPath.substr(split);
    dirPath.resize(split);
    folder_ = std::move(dirPath);
}

bool NativeEnum::Step() {
    if (!search_) {
        search_ = DirectorySearch::Start(folder_, prefix_);
        if (!search_) return false;
    }
    return search_->Next(current_);
}

bool NativeEnum::MoveNext() {
    while (!ended_) {
        ended_ = !Step();
        if (!ended_ && !IsDotEntry(current_.name)) return true;
    }
    current_ = DirectoryEntry();
    return false;
}

// Closes the search; the next MoveNext begins a new one from the first entry.
void NativeEnum::Reset() {
    search_.reset();
    current_ = DirectoryEntry();
    ended_ = false;
}

bool NativeEnum::GetName(char** out) {
    if (!out || !Valid()) return false;
    *out = NewNameText(current_.name);
    return true;
}

// A directory's full name ends with exactly one "/".
bool NativeEnum::GetFullName(char** out) {
    if (!out || !Valid()) return false;
    std::string full = relName_;
    full += current_.name;
    if (current_.isDirectory && full.back() != '/') full += '/';
    *out = NewNameText(full);
    return true;
}

bool NativeEnum::IsDirectory() {
    return Valid() && current_.isDirectory;
}

}  // namespace kivfs
