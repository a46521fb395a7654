#include "storage/FolderTree.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace kivfs {

namespace {

// The text of the folder holding folder `path` (which ends in "/"): "" for
// a folder at the top.
std::string ParentText(const std::string& path) {
    if (path.size() < 2) return std::string();
    const size_t slash = path.rfind('/', path.size() - 2);
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Texts SQLite would cut at a zero byte cannot be followed by their keys.
bool HoldsZeroByte(const std::string& text) {
    return std::memchr(text.data(), 0, text.size()) != nullptr;
}

}  // namespace

// A picture built, or a store found not to be modelled, at this very
// version still holds: nothing has changed since.
std::optional<FolderTree::Use> FolderTree::KnownAt(int64_t version) const {
    if (version != version_) return std::nullopt;
    if (state_ == State::Built) return Use::Ready;
    if (state_ == State::ByQuery) return Use::ByQuery;
    return std::nullopt;
}

// The top exists from the start; rows fill it in key order.
void FolderTree::StartBuild() {
    Drop();
    top_ = &NewFolder(std::string(), nullptr);
    lastFolder_ = nullptr;
}

// A picture that did not take every row is dropped; one that could not be
// read keeps no state at all, so the next use tries again.
FolderTree::Use FolderTree::FinishBuild(Use use, int64_t version) {
    if (use != Use::Ready) Drop();
    if (use == Use::Failed) return use;
    state_ = use == Use::Ready ? State::Built : State::ByQuery;
    version_ = version;
    return use;
}

// Each row comes after every row before it, so its entry and the entry of
// any folder it is the first to reveal go last; the row before is the last
// entry of its own folder. Rows of one folder often follow each other (names
// that differ in their last characters), so that folder is tried first.
bool FolderTree::AddScanned(std::string_view fileName, std::string_view path) {
    if (!path.empty() && path.back() != '/') return false;
    const Key key{fileName, path};
    Folder* folder = lastFolder_;
    if (folder) {
        if (Compare(key, Key{folder->entries.back().name, *folder->path}) <= 0) return false;
        if (*folder->path != path) folder = nullptr;
    }
    if (!folder) {
        scratch_.assign(path.data(), path.size());
        folder = &Reach(scratch_, key);
    }
    folder->entries.push_back(Entry{std::string(fileName), nullptr});
    lastFolder_ = folder;
    return true;
}

const FolderTree::Folder* FolderTree::Find(const std::string& directory) const {
    const auto found = folders_.find(directory);
    if (found == folders_.end() || found->second.entries.empty()) return nullptr;
    return &found->second;
}

// Our own rows have texts for keys and a Path that is empty or ends in "/";
// anything else (never written here) drops the picture rather than guess.
void FolderTree::NoteAdded(const StoredName& keys) noexcept {
    uncommitted_ = true;
    if (state_ != State::Built) return;
    try {
        const bool modelled = (keys.path.empty() || keys.path.back() == '/') &&
                              !HoldsZeroByte(keys.fileName) && !HoldsZeroByte(keys.path);
        if (!modelled || !Add(keys.fileName, keys.path)) Drop();
    } catch (const std::bad_alloc&) {
        Drop();
    }
}

void FolderTree::NoteRemoved(const StoredName& keys) noexcept {
    uncommitted_ = true;
    if (state_ != State::Built) return;
    try {
        if (!Remove(keys.fileName, keys.path)) Drop();
    } catch (const std::bad_alloc&) {
        Drop();
    }
}

void FolderTree::NoteDirectoryRemoved(const std::string& directory) noexcept {
    uncommitted_ = true;
    if (state_ != State::Built) return;
    try {
        if (!RemoveDirectory(directory)) Drop();
    } catch (const std::bad_alloc&) {
        Drop();
    }
}

// The picture may hold own changes the rollback undid (also one built again
// inside the transaction, which saw them): it is built anew when next used.
void FolderTree::NoteRolledBack() noexcept {
    if (uncommitted_) Drop();
    uncommitted_ = false;
}

// The folders on the way down that exist already move their entries up
// where this row becomes the first below them; then the missing folders are
// made, and the file goes in its place.
bool FolderTree::Add(const std::string& fileName, const std::string& path) {
    const Key key{fileName, path};
    Folder* at = top_;
    while (at->path->size() < path.size()) {
        const size_t slash = path.find('/', at->path->size());
        const auto found = folders_.find(path.substr(0, slash + 1));
        if (found == folders_.end()) break;
        Folder& child = found->second;
        if (Compare(key, KeyOf(child)) < 0) {
            const std::optional<size_t> from = IndexOf(child);
            if (!from) return false;
            const size_t to = LowerBound(*at, key);
            auto entries = at->entries.begin();
            std::rotate(entries + to, entries + *from, entries + *from + 1);
        }
        at = &child;
    }
    Folder& folder = Reach(path, key);
    const size_t index = LowerBound(folder, key);
    const bool known =
        index < folder.entries.size() && Compare(KeyOf(folder, folder.entries[index]), key) == 0;
    if (!known) folder.entries.insert(folder.entries.begin() + index, Entry{fileName, nullptr});
    return true;
}

// A row not in the picture (one another connection deleted, say) changes
// nothing; the picture is built again before it is used anyway.
bool FolderTree::Remove(const std::string& fileName, const std::string& path) {
    const auto found = folders_.find(path);
    if (found == folders_.end()) return true;
    Folder& folder = found->second;
    const Key key{fileName, path};
    const size_t index = LowerBound(folder, key);
    if (index == folder.entries.size() || folder.entries[index].folder ||
        folder.entries[index].name != fileName) {
        return true;
    }
    return Erase(folder, index, key);
}

// The top stays, empty; any other folder goes with its entry in its parent.
bool FolderTree::RemoveDirectory(const std::string& directory) {
    if (directory.empty()) {
        folders_.clear();
        top_ = &NewFolder(std::string(), nullptr);
        return true;
    }
    const auto found = folders_.find(directory);
    if (found == folders_.end() || found->second.entries.empty()) return true;
    const Folder& gone = found->second;
    const Key first = KeyOf(gone);
    // Copied: the folder's own texts go with it.
    const std::string firstName(first.fileName);
    const std::string firstPath(first.path);
    const std::optional<size_t> index = IndexOf(gone);
    return index && Erase(*gone.parent, *index, Key{firstName, firstPath});
}

// The steps up are found while every key still stands. Bottom up, a folder
// left empty leaves its parent; one whose first row went away moves down to
// the place of its new first; above a folder whose first row stays, nothing
// changes.
bool FolderTree::Erase(Folder& folder, size_t index, const Key& removed) {
    std::vector<Step> steps;
    for (Folder* child = &folder; child->parent; child = child->parent) {
        const std::optional<size_t> at = IndexOf(*child);
        if (!at) return false;
        steps.push_back(Step{child->parent, *at, Compare(KeyOf(*child), removed) == 0});
    }
    Folder* const below = folder.entries[index].folder;
    folder.entries.erase(folder.entries.begin() + index);
    Folder* child = &folder;
    for (const Step& step : steps) {
        std::vector<Entry>& entries = step.parent->entries;
        if (child->entries.empty()) {
            entries.erase(entries.begin() + step.index);
            folders_.erase(std::string(*child->path));
        } else if (step.wasFirst) {
            Entry moved = std::move(entries[step.index]);
            entries.erase(entries.begin() + step.index);
            const size_t to = LowerBound(*step.parent, KeyOf(*child));
            entries.insert(entries.begin() + to, std::move(moved));
        } else {
            break;
        }
        child = step.parent;
    }
    if (!below) return true;
    std::vector<std::string> gone;
    std::vector<const Folder*> pending{below};
    while (!pending.empty()) {
        const Folder* next = pending.back();
        pending.pop_back();
        gone.push_back(*next->path);
        for (const Entry& entry : next->entries) {
            if (entry.folder) pending.push_back(entry.folder);
        }
    }
    for (const std::string& path : gone) folders_.erase(path);
    return true;
}

// A folder seen for the first time is listed in its parent at the place of
// `key`, the row that reveals it, made first if it is new too.
FolderTree::Folder& FolderTree::Reach(const std::string& path, const Key& key) {
    const auto found = folders_.find(path);
    if (found != folders_.end()) return found->second;
    const std::string parentText = ParentText(path);
    Folder& parent = Reach(parentText, key);
    const size_t index = LowerBound(parent, key);
    Folder& folder = NewFolder(path, &parent);
    parent.entries.insert(parent.entries.begin() + index,
                          Entry{path.substr(parentText.size()), &folder});
    return folder;
}

FolderTree::Folder& FolderTree::NewFolder(const std::string& path, Folder* parent) {
    const auto placed = folders_.emplace(path, Folder{nullptr, parent, {}});
    Folder& folder = placed.first->second;
    folder.path = &placed.first->first;
    return folder;
}

// Keeps uncommitted_: a picture built again inside the same transaction
// would show the same own changes.
void FolderTree::Drop() noexcept {
    folders_.clear();
    top_ = nullptr;
    lastFolder_ = nullptr;
    state_ = State::Absent;
    version_ = -1;
}

// A folder's first entry is never a folder left empty, so the walk down
// ends at a file.
FolderTree::Key FolderTree::KeyOf(const Folder& folder, const Entry& entry) {
    const Folder* at = &folder;
    const Entry* first = &entry;
    while (first->folder) {
        at = first->folder;
        first = &at->entries.front();
    }
    return Key{first->name, *at->path};
}

// string_view compares through char_traits<char>, whose order is that of
// unsigned char: memcmp's, as SQLite's BINARY collation.
int FolderTree::Compare(const Key& a, const Key& b) {
    const int byName = a.fileName.compare(b.fileName);
    return byName != 0 ? byName : a.path.compare(b.path);
}

size_t FolderTree::LowerBound(const Folder& folder, const Key& key) {
    const auto at = std::partition_point(
        folder.entries.begin(), folder.entries.end(),
        [&](const Entry& entry) { return Compare(KeyOf(folder, entry), key) < 0; });
    return static_cast<size_t>(at - folder.entries.begin());
}

// Keys are unique within a folder, so the search lands on the child's own
// entry; anywhere else the picture is broken (none), and the caller drops it.
std::optional<size_t> FolderTree::IndexOf(const Folder& child) {
    const Folder& parent = *child.parent;
    const size_t index = LowerBound(parent, KeyOf(child));
    if (index >= parent.entries.size() || parent.entries[index].folder != &child) {
        return std::nullopt;
    }
    return index;
}

}  // namespace kivfs
