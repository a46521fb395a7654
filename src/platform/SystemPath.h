// System-path probes and directory creation.
//
// Paths are UTF-8, given to the system as they stand: a relative path is
// resolved against the process's current directory. Implemented once per
// platform (platform/posix/SystemPath.cpp here).
#pragma once

namespace kivfs {

// True when `path` names an existing directory.
bool IsSystemDirectory(const char* path);

// True when `path` names something that exists and is not a directory.
bool IsSystemFile(const char* path);

// Creates the last component of `path` only; false when it already exists,
// when a parent is missing, or on any other failure.
bool CreateSystemDirectory(const char* path);

}  // namespace kivfs
