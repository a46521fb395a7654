#include "Tree.h"

#include <algorithm>

#include "ContainerPath.h"
#include "Interrupt.h"
#include "LibraryReason.h"
#include "ToolError.h"

namespace kivfs_tool {

namespace {

// Deeper trees than this are taken to be cycles (links in a real folder
// that lead back up), not data.
constexpr int kMaxDepth = 256;

// The listing of `prefix`, or null; read the library's reason right after.
EnumPtr OpenListing(const Container& container, const std::string& prefix) {
    return EnumPtr(kivfsCreateEnumIndir(container.handle(), prefix.c_str()));
}

// The error for a listing of `prefix` the library has just refused.
ToolError ListingFailure(const Container& container, const std::string& prefix) {
    return container.Failure("cannot list " + Quoted(container.Display(prefix)),
                             "no such directory");
}

// The library's full names are the listed directory's text followed by the
// entry's name, and a directory's always ends with "/" whatever the
// backend, so they serve directly as names for the next open or listing.
std::vector<TreeEntry> ReadListing(EnumHandle* listing, const std::string& prefix) {
    std::vector<TreeEntry> entries;
    while (kivfsMoveNext(listing)) {
        char* fullName = nullptr;
        if (!kivfsGetFullName(listing, &fullName)) continue;
        TreeEntry entry{TakeName(fullName), kivfsIsDirectory(listing)};
        // A directory whose full name did not grow would list itself forever.
        if (entry.isDirectory && entry.name.size() <= prefix.size()) continue;
        entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(),
              [](const TreeEntry& a, const TreeEntry& b) { return a.name < b.name; });
    return entries;
}

// A directory below the first that cannot be listed is skipped, when a
// report is given, with the library's reason.
void CollectTree(const Container& container, const std::string& directory, int depth,
                 SkipReport* skips, std::vector<TreeEntry>& out) {
    ThrowIfInterrupted();
    if (depth > kMaxDepth) {
        throw ToolError("cannot list " + Quoted(container.Display(directory)) +
                        ": directories nested too deeply (a link cycle?)");
    }
    const std::string prefix = DirectoryPrefix(directory);
    EnumPtr listing = OpenListing(container, prefix);
    if (!listing && skips && depth > 0) {
        skips->Skip(container.Display(prefix),
                    "cannot list it: " + LibraryReason("no such directory"));
        return;
    }
    if (!listing) throw ListingFailure(container, prefix);
    for (TreeEntry& entry : ReadListing(listing.get(), prefix)) {
        const bool descend = entry.isDirectory;
        const std::string name = entry.name;
        out.push_back(std::move(entry));
        if (descend) CollectTree(container, name, depth + 1, skips, out);
    }
}

}  // namespace

std::vector<TreeEntry> ListDirectory(const Container& container, const std::string& directory) {
    const std::string prefix = DirectoryPrefix(directory);
    EnumPtr listing = OpenListing(container, prefix);
    if (!listing) throw ListingFailure(container, prefix);
    return ReadListing(listing.get(), prefix);
}

std::vector<TreeEntry> ListTree(const Container& container, const std::string& directory,
                                SkipReport* skips) {
    std::vector<TreeEntry> entries;
    CollectTree(container, directory, 0, skips, entries);
    return entries;
}

}  // namespace kivfs_tool
