#include "Tree.h"

#include <algorithm>

#include "ContainerPath.h"
#include "ToolError.h"

namespace kivfs_tool {

namespace {

// Deeper trees than this are taken to be cycles (links in a real folder
// that lead back up), not data.
constexpr int kMaxDepth = 256;

void CollectTree(const Container& container, const std::string& directory, int depth,
                 std::vector<TreeEntry>& out) {
    if (depth > kMaxDepth) {
        throw ToolError("cannot list " + Quoted(container.Display(directory)) +
                        ": directories nested too deeply (a link cycle?)");
    }
    for (TreeEntry& entry : ListDirectory(container, directory)) {
        const bool descend = entry.isDirectory;
        const std::string name = entry.name;
        out.push_back(std::move(entry));
        if (descend) CollectTree(container, name, depth + 1, out);
    }
}

}  // namespace

// The library's full names are the listed directory's text followed by the
// entry's name, and a directory's always ends with "/" whatever the
// backend, so they serve directly as names for the next open or listing.
std::vector<TreeEntry> ListDirectory(const Container& container, const std::string& directory) {
    const std::string prefix = DirectoryPrefix(directory);
    EnumPtr listing(kivfsCreateEnumIndir(container.handle(), prefix.c_str()));
    if (!listing) {
        throw ToolError("cannot list " + Quoted(container.Display(prefix)) + ": no such directory");
    }
    std::vector<TreeEntry> entries;
    while (kivfsMoveNext(listing.get())) {
        char* fullName = nullptr;
        if (!kivfsGetFullName(listing.get(), &fullName)) continue;
        TreeEntry entry{TakeName(fullName), kivfsIsDirectory(listing.get())};
        // A directory whose full name did not grow would list itself forever.
        if (entry.isDirectory && entry.name.size() <= prefix.size()) continue;
        entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(),
              [](const TreeEntry& a, const TreeEntry& b) { return a.name < b.name; });
    return entries;
}

std::vector<TreeEntry> ListTree(const Container& container, const std::string& directory) {
    std::vector<TreeEntry> entries;
    CollectTree(container, directory, 0, entries);
    return entries;
}

}  // namespace kivfs_tool
