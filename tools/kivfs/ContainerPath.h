// How the tool reads a CONTAINER:NAME argument.
//
// The library's full-path form puts a ":" between a container's path and a
// name inside it ("saves.db:slot1/state.bin"). Container paths may hold ":"
// themselves (a drive letter, a folder named "a:b"), so the argument is split
// at the rightmost ":" whose left part exists on disk. When no left part
// exists (a store that put or pack is about to create), it is split at the
// last ":" that is not a drive letter's. An argument without such a ":" names
// a container and no name inside it.
#pragma once

#include <string>

namespace kivfs_tool {

struct ContainerPath {
    std::string container;  // the container's path on disk, as given
    std::string name;       // the name inside it, "/" as separator; empty for the root
    bool hasName = false;   // a ":" was present, even if the name after it is empty
    std::string givenName;  // the name as typed, before "\" became "/"

    // "container:name", or the container alone; used in messages.
    std::string Display() const;
    // The same container with another name inside it.
    ContainerPath With(const std::string& otherName) const;
};

ContainerPath ParseContainerPath(const std::string& argument);

// A name as the library stores it: "\" becomes "/" (the library does the
// same to every name it receives, so messages and comparisons agree).
std::string NormalizedName(const std::string& name);

// The name of a directory in the form the listing calls need: empty for the
// root, otherwise ending with exactly the "/" the name had or one added.
std::string DirectoryPrefix(const std::string& name);

// The name without the trailing "/" a directory name may carry.
std::string WithoutTrailingSlash(const std::string& name);

}  // namespace kivfs_tool
