// DirectorySearch: the system's directory search over one folder, yielding
// the entries whose names begin with a given prefix, in the order the system
// returns them.
//
// The prefix "" lists the whole folder; "ab" only the entries whose names
// start with "ab" (on Windows the system's own name matching decides, which
// ignores letter case there). The dot entries "." and ".." are yielded like
// any other when the prefix lets them through: callers that do not want them
// skip them. The directory is read live while the search runs; no snapshot
// is taken.
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
    // Starts a search of `folder` (a path ending in "/", or "" for the
    // current directory) for names beginning with `prefix`; null when the
    // folder cannot be read (missing, not a directory, no access).
    static std::unique_ptr<DirectorySearch> Start(const std::string& folder,
                                                  const std::string& prefix);

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
