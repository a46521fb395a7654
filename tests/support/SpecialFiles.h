// Files that are not regular files, made in a test's folder: what a real
// directory container may hold besides files and folders.
#pragma once

#include <string>

namespace kivfs_test {

// Makes a FIFO (named pipe) at `path`; false when the system refuses, and
// always on Windows, whose folders hold no FIFOs.
bool MakeFifo(const std::string& path);

}  // namespace kivfs_test
