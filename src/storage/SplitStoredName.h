// How names map to the keys of the FileStorage table.
//
// A stored file is the row keyed by (FileName, Path): Path is the name up to
// and including its last "/" (empty for a file at the top, never NULL) and
// FileName the rest. Nothing else is done to a name: no "/" is added or
// removed, case is kept, and lookups compare both keys byte for byte. Other
// programs read and write stores by this convention, so it may not change.
#pragma once

#include <string>

namespace kivfs {

struct StoredName {
    std::string fileName;  // after the last "/"; empty for a name ending in "/"
    std::string path;      // up to and including the last "/"; may be empty
};

// Splits `name` at its last "/": docs/a.txt gives "docs/" and "a.txt".
StoredName SplitStoredName(const std::string& name);

// The text that starts the Path of every file in directory `name`: the name
// with a "/" appended when it is not empty and does not already end in one.
// The empty text (the top of the store) stays empty.
std::string DirectoryText(const std::string& name);

// The Paths of the files in directory `name` or below it, as a half-open
// range of texts compared byte for byte (SQLite's BINARY collation): every
// Path that begins with the directory's text, and no other. "%", "_" and
// letter case have no special meaning.
struct PathRange {
    std::string first;  // the directory's text: the smallest Path in it
    // The smallest text past every Path in it: the text with its final "/"
    // raised to "0", the next byte. Empty for the top of the store, which
    // holds every text (Statement::BindPathRange binds that bound as a blob,
    // which sorts after every text).
    std::string end;
};
PathRange DirectoryRange(const std::string& name);

}  // namespace kivfs
