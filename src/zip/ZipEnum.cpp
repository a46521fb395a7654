#include "zip/ZipEnum.h"

#include <cstring>
#include <unordered_set>

#include "zip/ZipEntryNames.h"

namespace kivfs {

// One pass over the central directory. A directory name ends with "/" and a
// file name holds none, so a directory can only ever equal another
// directory: a hash set of the directories seen keeps the listing linear.
ZipEnum::ZipEnum(ZZIP_DIR* archive, const std::string& dirPath) : dirPath_(dirPath) {
    entries_.push_back({false, std::string()});
    std::unordered_set<std::string> directories;
    ForEachEntryName(archive, [&](const char* stored) {
        const std::size_t length = std::strlen(stored);
        if (length <= dirPath_.size() ||
            dirPath_.compare(0, dirPath_.size(), stored, dirPath_.size()) != 0) {
            return;
        }
        const char* rest = stored + dirPath_.size();
        const char* slash = std::strchr(rest, '/');
        if (!slash) {
            entries_.push_back({false, rest});
        } else {
            std::string directory(rest, slash + 1);
            if (directories.insert(directory).second)
                entries_.push_back({true, std::move(directory)});
        }
    });
}

bool ZipEnum::MoveNext() {
    if (cursor_ == entries_.size()) return false;
    return ++cursor_ != entries_.size();
}

void ZipEnum::Reset() {
    cursor_ = 0;
}

const ZipEnum::ZipEnumEntry* ZipEnum::Current() const {
    return cursor_ < entries_.size() ? &entries_[cursor_] : nullptr;
}

bool ZipEnum::GetName(char** out) {
    const ZipEnumEntry* entry = Current();
    if (!out || !entry) return false;
    *out = NewNameText(entry->name);
    return true;
}

// A directory's name already ends with "/", which is what a full name of a
// directory needs.
bool ZipEnum::GetFullName(char** out) {
    const ZipEnumEntry* entry = Current();
    if (!out || !entry) return false;
    *out = NewNameText(dirPath_ + entry->name);
    return true;
}

bool ZipEnum::IsDirectory() {
    const ZipEnumEntry* entry = Current();
    return entry && entry->isDirectory;
}

}  // namespace kivfs
