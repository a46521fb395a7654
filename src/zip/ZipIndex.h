// ZipIndex: the name index of one archive, filled once from its central
// directory and never changed afterwards.
//
// It answers the two existence questions and resolves a name to the entry a
// case-insensitive open would find, so that the entry can be opened by its
// exact stored name instead of by a letter-by-letter scan of every entry.
#pragma once

#include <string>
#include <unordered_map>
#include <unordered_set>

#include <zzip/zzip.h>

namespace kivfs {

class ZipIndex {
  public:
    // Reads every entry of `archive` (and rewinds its directory cursor). The
    // index refers to the archive's names: it is destroyed before the archive.
    explicit ZipIndex(ZZIP_DIR* archive);

    // True when an entry not ending with "/" has this name, ignoring the case
    // of ASCII letters.
    bool HasFile(const std::string& name) const;
    // True when an explicit directory entry has this name, ignoring the case
    // of ASCII letters, with one "/" added unless it ends with one (so the
    // empty name asks for an entry "/").
    bool HasDirectory(const std::string& name) const;
    // The exact stored name of the first entry, in central-directory order,
    // that zziplib's case-insensitive open would take for `name`; null when
    // there is none. Valid while the archive is open.
    const char* StoredName(const std::string& name) const;

    // `name` with A-Z lowered: the key of the existence sets.
    static std::string LowerAscii(const std::string& name);
    // `name` as zziplib's case-insensitive compare sees it: A-Z lowered and
    // "\" taken as "/". Two names match there exactly when these are equal.
    static std::string CaselessKey(const char* name);

  private:
    // Lowered names of the entries not ending with "/" (the empty name too).
    std::unordered_set<std::string> fileNames_;
    // Lowered names of the entries ending with "/".
    std::unordered_set<std::string> dirNames_;
    // CaselessKey of every entry -> the stored name of the first entry with
    // that key, as zziplib keeps it for as long as the archive is open.
    std::unordered_map<std::string, const char*> storedNames_;
};

}  // namespace kivfs
