// ZipIndex: the name index of one archive, filled once from its central
// directory and never changed afterwards.
//
// It answers the two existence questions and finds the entry that an open of
// a name takes, so that the entry can be opened by its exact stored name
// instead of by a letter-by-letter scan of every entry. That entry is the
// first, in central-directory order, whose name equals the asked one
// exactly; only when none does, the first whose name equals it ignoring the
// case of ASCII letters ('readme.txt' and 'README.TXT' may both be in one
// archive, and each opens as itself). A "\" in a stored name counts as "/"
// throughout, as zziplib's case-insensitive compare and the listings take it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "zip/ArchiveReader.h"

namespace kivfs {

class ZipIndex {
  public:
    // The entry found for a name.
    struct Match {
        // Its place in central-directory order (0 for the first header).
        std::uint32_t position;
        // Its exact stored name, as the reader keeps it while the archive is open.
        const char* storedName;
    };

    // Reads every entry of `archive` (and rewinds its directory cursor). The
    // index refers to the archive's names: it is destroyed before the archive.
    explicit ZipIndex(ArchiveReader& archive);

    // True when an entry not ending with "/" has this name, ignoring the case
    // of ASCII letters.
    bool HasFile(const std::string& name) const;
    // True when an explicit directory entry has this name, ignoring the case
    // of ASCII letters, with one "/" added unless it ends with one (so the
    // empty name asks for an entry "/").
    bool HasDirectory(const std::string& name) const;
    // The entry an open of `name` takes; nothing when no name matches.
    std::optional<Match> Find(const std::string& name) const;
    // The same entry as Find, found by one walk of the archive's directory
    // without building an index (which costs more when one entry is opened).
    static std::optional<Match> Scan(ArchiveReader& archive, const std::string& name);

  private:
    // One slot of the open-addressing table: the first entry (in
    // central-directory order) of one caseless key, its stored name and the
    // key's hash, so that a lookup reads one slot and one name. `position` is
    // kNoEntry in an empty slot, and has kMoreWithKey set when later entries
    // share the key.
    struct Slot {
        const char* name;
        std::uint32_t hash;
        std::uint32_t position;
    };
    static constexpr std::uint32_t kNoEntry = UINT32_MAX;
    // Positions stay below 2^31: each entry takes more than one byte of an
    // archive of at most 2 GiB.
    static constexpr std::uint32_t kMoreWithKey = 0x80000000u;

    // The slot holding the key of `name` (as zziplib's case-insensitive
    // compare sees it), or the empty slot where it would go.
    std::size_t SlotOf(const char* name, std::uint32_t hash) const;
    // The first entry whose key is that of `name`, or kNoEntry.
    std::uint32_t FirstWithKey(const std::string& name) const;
    // Whether an entry ending with "/" (`directory`) or not has `name`,
    // ignoring the case of ASCII letters only.
    bool HasEntry(const std::string& name, bool directory) const;

    // The stored name of every entry, by position.
    std::vector<const char*> storedNames_;
    // One slot per distinct caseless key, at least half of them empty; the
    // size is a power of two. One flat array rather than a node per key, so
    // that a lookup in a large archive touches one cache line, not four.
    std::vector<Slot> slots_;
    // By position: the next entry with the same caseless key, or kNoEntry.
    // Names that differ only in case are rare, so the chains are short.
    std::vector<std::uint32_t> nextWithKey_;
};

}  // namespace kivfs
