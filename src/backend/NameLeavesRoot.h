// The rule that keeps a name inside the folder it is resolved against (a
// real directory's root, a mount's system path).
#pragma once

#include <string>

namespace kivfs {

// True when the ".." components of `name` ("/" as separator) climb above its
// start at any point, reading the name from left to right: '..', '../x',
// 'a/../../x'. A name that comes back inside ('a/b/../c', 'a/..') does not
// leave, and neither do empty or "." components, nor a leading "/" (the name
// is still joined to its root). Only the text is read: where a symbolic link
// leads is the file system's business.
bool NameLeavesRoot(const std::string& name);

}  // namespace kivfs
