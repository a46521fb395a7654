// SnapshotListing: the entries of one directory listing, in listing order,
// with their names kept in one block of text.
//
// It is filled once (Append) and only read afterwards, so that one listing
// can be shared by every enumerator that walks it, from any thread, without
// a copy: what a listing costs is then its own entries, not their building.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kivfs {

class SnapshotListing {
  public:
    // Appends an entry. A directory's name ends with "/"; de-duplicating is
    // the caller's: the listing takes every entry it is given. Throws
    // std::length_error for a name of 4 GiB or more.
    void Append(std::string_view name, bool isDirectory);
    // Makes room for `count` more entries (their names are not known yet).
    void Reserve(std::size_t count) { entries_.reserve(entries_.size() + count); }

    // The number of entries.
    std::size_t Size() const { return entries_.size(); }
    // The name of entry `at` (below Size()), valid as long as the listing.
    std::string_view Name(std::size_t at) const {
        return std::string_view(names_.data() + entries_[at].offset, entries_[at].length);
    }
    bool IsDirectory(std::size_t at) const { return entries_[at].isDirectory; }

  private:
    // Names are kept by offset, as names_ moves while it grows; one name is
    // shorter than 4 GiB (Append refuses longer ones).
    struct Entry {
        std::size_t offset;
        std::uint32_t length;
        bool isDirectory;
    };

    // Every entry's name, one after the other, in entries_' order.
    std::string names_;
    std::vector<Entry> entries_;
};

}  // namespace kivfs
