// DirectorySearch: the system's directory search over a pattern of the form
// folder + name prefix + "*.*", yielding the entries of the folder whose
// names begin with the prefix, in the order the system returns them.
//
// "folder/" + "*.*" lists the whole folder; "folder/ab" + "*.*" only the
// entries of "folder/" whose names start with "ab". The dot entries "." and
// ".." are yielded like any other: callers that do not want them skip them.
// The directory is read live while the search runs; no snapshot is taken.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace kivfs {

// One entry as the search yields it. The name is a view of the search's own
// record of the entry: a listing hands each name out once, so copying it
// here as well would double the work per entry.
struct DirectoryEntry {
    // The entry's own name, no folder, no trailing "/"; valid until the next
    // Next of the search that filled it, or its destruction.
    std::string_view name;
    bool isDirectory = false;  // a directory, or a link that leads to one
};

class DirectorySearch {
  public:
    // Starts a search on `pattern`; null when the folder cannot be read
    // (missing, not a directory, no access) or the pattern does not end in
    // "*.*".
    static std::unique_ptr<DirectorySearch> Start(const std::string& pattern);

    ~DirectorySearch();
    DirectorySearch(const DirectorySearch&) = delete;
    DirectorySearch& operator=(const DirectorySearch&) = delete;

    // Fills `entry` with the next matching entry; false when there is none
    // left (the search then stays at its end).
    bool Next(DirectoryEntry& entry);

  private:
    struct State;  // the system's search handle, kept out of this header
    explicit DirectorySearch(std::unique_ptr<State> state);

    std::unique_ptr<State> state_;  // never null
};

}  // namespace kivfs
