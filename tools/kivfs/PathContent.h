// What a local path holds, told from the path itself (its type, and the
// first and last bytes of a file), never by handing it to the library: a
// locked or damaged store must not pass for some other kind of container.
#pragma once

#include <string>

namespace kivfs_tool {

enum class PathContent {
    Nothing,     // no such file or folder
    Directory,   // a folder
    ZipArchive,  // a file with a zip signature: a local header first, or an end record near its end
    Store,       // a file that begins with SQLite's header
    EmptyFile,   // a file of zero bytes (SQLite makes a new store of it)
    Other,       // any other file, or anything else that is not a folder
    Unreadable,  // a file this program may not read
};

PathContent WhatPathHolds(const std::string& utf8);

}  // namespace kivfs_tool
