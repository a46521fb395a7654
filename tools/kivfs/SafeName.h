// Whether a name read from a container may be written below a local
// folder. Archives and stores can hold any text as a name, including ones
// made to escape the folder they are unpacked into ("../../.profile",
// "/etc/passwd", "C:/Windows/x"); such names are refused, never cleaned up
// and written elsewhere.
#pragma once

#include <string>

namespace kivfs_tool {

// Why `name` (the full name of a file or a directory inside a container)
// must not be unpacked, or the empty text when it is safe. Both "/" and
// "\" count as separators, as they do on Windows.
std::string UnsafeNameReason(const std::string& name, bool isDirectory);

}  // namespace kivfs_tool
