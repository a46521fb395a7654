// ZipTree: the listings of an archive's directories, made from its entry
// names in one pass and never changed afterwards.
//
// The listing of a directory text P holds, for every entry name N (a stored
// "\" read as "/") that begins with P byte for byte and is longer than it, with R the rest of N
// after P: a file R when R holds no "/", else a directory: R up to and
// including its first "/", listed once, at the place of the first entry
// that reveals it. Entries keep central-directory order. The whole tree
// answers P = "" and every P ending with "/"; a listing of any other P is
// made alone by one pass (ListOne), by the same rule.
//
// The tree owns copies of the names it lists and no part of the archive:
// listings handed out keep the tree alive and may outlive the archive. It
// is only read once made, so any number of threads may share it.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "backend/SnapshotListing.h"
#include "zip/ArchiveReader.h"

namespace kivfs {

class ZipTree {
  public:
    // Every directory of `archive`; the archive is not kept.
    static std::shared_ptr<const ZipTree> Make(ArchiveReader& archive);
    // The listing of `dirPath` (any text) alone, by one pass over `archive`.
    static std::shared_ptr<const SnapshotListing> ListOne(ArchiveReader& archive,
                                                          const std::string& dirPath);
    // The listing of `dirPath` in `tree`, sharing the tree's ownership;
    // empty for a directory no entry lies below. `dirPath` must be "" or end
    // with "/" (ListOne lists other texts).
    static std::shared_ptr<const SnapshotListing> Listing(
        const std::shared_ptr<const ZipTree>& tree, const std::string& dirPath);

    // Use Make or ListOne. `prefix` is the directory text the root stands
    // for; `wholeTree` says whether deeper directories get listings too.
    ZipTree(std::string prefix, bool wholeTree) : prefix_(std::move(prefix)), whole_(wholeTree) {}

  private:
    // A directory: its listing, and its own name (the component below its
    // parent, without "/"), which the lookup table's keys point into.
    struct Directory {
        std::string component;
        SnapshotListing listing;
    };
    // A directory found by its parent's index and its component.
    struct Key {
        std::uint32_t parent;
        std::string_view component;
        bool operator==(const Key& other) const {
            return parent == other.parent && component == other.component;
        }
    };
    struct KeyHash {
        std::size_t operator()(const Key& key) const {
            return std::hash<std::string_view>()(key.component) * 31 + key.parent;
        }
    };
    static constexpr std::uint32_t kRoot = 0;

    // Adds what the entry `name` reveals, if it begins with prefix_.
    void Add(std::string_view name);
    // The directory `component` below `parent`, made (and listed in the
    // parent as `listedName`, the component with its "/") when new.
    std::uint32_t FindOrAdd(std::uint32_t parent, std::string_view component,
                            std::string_view listedName);

    // The directory text the root stands for ("" for the archive's root).
    std::string prefix_;
    // Whether directories below the root get listings of their own.
    bool whole_;
    // By index; [0] is the root. A deque, so that a directory never moves
    // and keys may point at its component.
    std::deque<Directory> directories_{Directory{}};
    // Each directory but the root, by parent and component: the component
    // views point into directories_.
    std::unordered_map<Key, std::uint32_t, KeyHash> children_;
    // What a directory no entry lies below lists.
    SnapshotListing empty_;
};

}  // namespace kivfs
