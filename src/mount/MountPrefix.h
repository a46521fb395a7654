// The rule by which a virtual path finds its mount.
#pragma once

#include <string>

namespace kivfs {

// The text up to and including its first ":", or the empty text when it has
// none. 'app:cfg/a.ini' gives 'app:'; 'a:b:c' gives 'a:', so a mount name
// with a ":" before its end is never found.
std::string MountPrefix(const std::string& text);

}  // namespace kivfs
