#include "zip/ZipTree.h"

#include <algorithm>

namespace kivfs {

// Entries are added in central-directory order, so every listing keeps it.
std::shared_ptr<const ZipTree> ZipTree::Make(ArchiveReader& archive) {
    auto tree = std::make_shared<ZipTree>(std::string(), true);
    archive.VisitNames([&](const char* stored) { tree->Add(stored); });
    return tree;
}

// The root stands for `dirPath` itself, and nothing deeper is listed.
std::shared_ptr<const SnapshotListing> ZipTree::ListOne(ArchiveReader& archive,
                                                        const std::string& dirPath) {
    auto tree = std::make_shared<ZipTree>(dirPath, false);
    archive.VisitNames([&](const char* stored) { tree->Add(stored); });
    return std::shared_ptr<const SnapshotListing>(tree, &tree->directories_[kRoot].listing);
}

// Follows `dirPath` one component at a time from the root: the directories
// of the tree are exactly the texts some entry name begins with and is
// longer than, so a component not found means an empty listing.
std::shared_ptr<const SnapshotListing> ZipTree::Listing(const std::shared_ptr<const ZipTree>& tree,
                                                        const std::string& dirPath) {
    const std::string_view path = dirPath;
    std::uint32_t at = kRoot;
    for (std::size_t start = 0; start < path.size();) {
        const std::size_t slash = path.find('/', start);
        const auto found = slash == std::string_view::npos
                               ? tree->children_.end()
                               : tree->children_.find(Key{at, path.substr(start, slash - start)});
        if (found == tree->children_.end()) {
            return std::shared_ptr<const SnapshotListing>(tree, &tree->empty_);
        }
        at = found->second;
        start = slash + 1;
    }
    return std::shared_ptr<const SnapshotListing>(tree, &tree->directories_[at].listing);
}

// Walks the rest of `name` after the prefix component by component: each
// component followed by "/" is a directory of the listing it lies in, and a
// last component without "/" is a file there. A name ending with "/" (a
// directory's own entry) adds nothing to its own listing. A stored "\" is a
// "/" (archives made by some Windows tools store 'dir\c.txt'), as existence
// tests and opens take it; the listing keeps copies of what it lists.
void ZipTree::Add(std::string_view name) {
    std::string slashed;
    if (name.find('\\') != std::string_view::npos) {
        slashed.assign(name);
        std::replace(slashed.begin(), slashed.end(), '\\', '/');
        name = slashed;
    }
    if (name.size() <= prefix_.size() || name.compare(0, prefix_.size(), prefix_) != 0) return;
    std::uint32_t at = kRoot;
    std::size_t start = prefix_.size();
    for (;;) {
        const std::size_t slash = name.find('/', start);
        if (slash == std::string_view::npos) {
            directories_[at].listing.Append(name.substr(start), false);
            return;
        }
        at =
            FindOrAdd(at, name.substr(start, slash - start), name.substr(start, slash + 1 - start));
        start = slash + 1;
        if (!whole_ || start == name.size()) return;
    }
}

// A directory is listed once, where the first name revealing it was added;
// file names hold no "/", so no file can take a directory's name.
std::uint32_t ZipTree::FindOrAdd(std::uint32_t parent, std::string_view component,
                                 std::string_view listedName) {
    const auto found = children_.find(Key{parent, component});
    if (found != children_.end()) return found->second;
    const auto added = static_cast<std::uint32_t>(directories_.size());
    directories_.push_back(Directory{std::string(component), SnapshotListing()});
    children_.emplace(Key{parent, directories_.back().component}, added);
    directories_[parent].listing.Append(listedName, true);
    return added;
}

}  // namespace kivfs
