// System-path probes and directory creation.
//
// Paths are UTF-8, given to the system as they stand: a relative path is
// resolved against the process's current directory. Implemented once per
// platform (platform/posix/SystemPath.cpp here).
#pragma once

#include <cstddef>
#include <string>

namespace kivfs {

// The length of the drive that `path` starts with ("C:" on Windows: 2), 0
// when it starts with none or the system has no drives. A full path's
// container ":" is never the one of a drive.
size_t DrivePrefixLength(const std::string& path);

// False when the system would take `path` for a device or refuse it as a
// name: on Windows a reserved device name in any folder ('C:/x/aux.txt'),
// a character Windows forbids ('a:b'), a path too long for the system.
// POSIX paths name places, so every non-empty one is usable there.
bool IsUsableSystemPath(const char* path);

// True when `path` names an existing directory.
bool IsSystemDirectory(const char* path);

// True when `path` names something that exists and is not a directory.
bool IsSystemFile(const char* path);

// Creates the last component of `path` only; false when it already exists,
// when a parent is missing, or on any other failure, with the cause (a
// KIVFS_ERR_* code) in *cause when `cause` is not null.
bool CreateSystemDirectory(const char* path, int* cause = nullptr);

}  // namespace kivfs
