// Whether a name may live inside a container and be written below a local
// folder. Archives and stores can hold any text as a name, including ones
// made to escape the folder they are unpacked into ("../../.profile",
// "/etc/passwd", "C:/Windows/x"); such names are refused, never cleaned up
// and written elsewhere. The same rules keep put, cp and mv from storing a
// name that unpack would later refuse.
#pragma once

#include <string>

namespace kivfs_tool {

// Why `name` (the full name of a file or a directory inside a container)
// must not be stored or unpacked, or the empty text when it is safe: an
// empty name or component, an absolute name, a "." or ".." component, or a
// "\" or ":" anywhere (a separator and a drive or stream marker on Windows).
// A directory's name may end with one "/".
std::string UnsafeNameReason(const std::string& name, bool isDirectory);

// True when `text`, given where a name inside a container belongs, has the
// form of a path of the local system: absolute, or starting with "./",
// "../" or "~/".
bool LooksLikeSystemPath(const std::string& text);

}  // namespace kivfs_tool
