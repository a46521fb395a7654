// Listings of a container's directories, one level or a whole tree, in a
// stable order whatever order the backend produces.
#pragma once

#include <string>
#include <vector>

#include "Container.h"
#include "SkipReport.h"

namespace kivfs_tool {

struct TreeEntry {
    // The full name relative to the container's root; a directory's ends with "/".
    std::string name;
    bool isDirectory = false;
};

// The entries directly inside `directory` ("" for the root), sorted by
// name (byte order). Throws ToolError when it cannot be listed.
std::vector<TreeEntry> ListDirectory(const Container& container, const std::string& directory);

// Every entry below `directory`, each directory followed by its contents.
// Throws ToolError when `directory` cannot be listed, or when the tree is
// deeper than any real one (a link cycle in a real folder). A directory
// below it that cannot be listed also throws, or, given `skips`, is named
// there and left out.
std::vector<TreeEntry> ListTree(const Container& container, const std::string& directory,
                                SkipReport* skips = nullptr);

}  // namespace kivfs_tool
