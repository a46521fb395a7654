// What a local path holds. The facts of the local file (missing, empty, not
// a regular file, unreadable) are told here; which kind of container it is,
// the library tells (kivfsContainerKind), without creating or changing
// anything: a locked or damaged store must not pass for some other kind of
// container, and this program tests no signature of its own.
#pragma once

#include <string>

namespace kivfs_tool {

enum class PathContent {
    Nothing,     // no such file or folder
    Directory,   // a folder
    ZipArchive,  // a zip archive, whether or not the library can read it as it is
    Store,       // a store, damaged, or a SQLite database without a store in it yet
    EmptyFile,   // a file of zero bytes (SQLite makes a new store of it)
    Other,       // any other file, or anything else that is not a folder
    Unreadable,  // a file this program may not read
};

// Throws ToolError for a store another program holds locked: the library
// has waited for the lock already, and every command stops there.
PathContent WhatPathHolds(const std::string& utf8);

}  // namespace kivfs_tool
