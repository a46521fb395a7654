// FolderTree: one connection's picture of the folders of its store, so that
// a listing costs what the listed folder holds instead of a scan of every
// row (nothing in the table indexes Path, so every query by folder scans).
//
// Every listing query reads the primary key's index, so it yields rows in
// key order: FileName, then Path, compared byte for byte. The picture is
// built from one scan of that same index and keeps each folder's entries in
// that order: a file at its own key, a sub-folder at the key of the first
// row below it, which is the key of its own first entry. A listing walks
// the entries in order and so yields what the query would, in the same
// order. Since that order depends only on the keys, the connection's own
// changes are made here too, each entry put where a fresh scan would put
// it. Another connection's commit changes PRAGMA data_version; the picture
// is then built again. Own changes of a transaction that is rolled back are
// not undone here: the picture is dropped instead.
//
// The picture is used only for the table this library creates, with no
// other index or trigger, in a UTF-8 database, when SQLite's plan for the
// listing query is that index scan, and for rows whose two keys are texts
// and whose Path is empty or ends in "/" (every row this library writes):
// only there do the key order and the prefix match above hold. Anything
// else is listed by query, as before.
//
// Memory: one entry per row (a std::string holding the FileName, and a
// pointer) and per folder a map node, its path text and its entry in its
// parent; bench/README.md works out what that comes to.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <optional>

#include "storage/SplitStoredName.h"

namespace kivfs {

class FolderTree {
  public:
    struct Folder;
    // A file (folder null, name its FileName) or a sub-folder (name its last
    // component and "/").
    struct Entry {
        std::string name;
        Folder* folder;
    };
    struct Folder {
        const std::string* path;  // the key of its node in folders_: "" or ends in "/"
        Folder* parent;           // null for the top only
        // In the order of their keys (see KeyOf); never empty but at the top.
        std::vector<Entry> entries;
    };

    // What bringing the picture up to date found (see
    // StoreConnection::RefreshFolders).
    enum class Use {
        Ready,    // the picture shows what the caller's transaction sees
        ByQuery,  // this store is not of the kind modelled: list by query
        Failed,   // the store could not be read; the cause is noted
    };

    // What the picture is for data version `version`, when it was built
    // (or found not to model the store) at that version; none when it must
    // be built again.
    std::optional<Use> KnownAt(int64_t version) const;
    // Building from the store's rows, given in the order of the primary
    // key's index (see StoreConnection::RefreshFolders): StartBuild, then
    // AddScanned for every row while it returns true, then FinishBuild with
    // Ready when every row was taken, ByQuery when one was refused or the
    // store is not of the kind modelled, Failed when the rows could not be
    // read. Returns `use`.
    void StartBuild();
    // Takes one row; false when it is not of the kind modelled or comes out
    // of key order.
    bool AddScanned(std::string_view fileName, std::string_view path);
    Use FinishBuild(Use use, int64_t version);
    // Forgets the picture; it is built again when next used.
    void Drop() noexcept;
    // Whether the picture stands for data version `version` as it is.
    bool IsCurrent(int64_t version) const { return state_ == State::Built && version == version_; }
    bool IsBuilt() const { return state_ == State::Built; }
    // The folder whose text is `directory` ("" for the top, else ending in
    // "/"); null when no row lies in it or below it.
    const Folder* Find(const std::string& directory) const;

    // The connection's own changes, each made after its statement
    // succeeded, inside the transaction that will commit or roll it back.
    // They never fail: a picture that cannot follow is dropped.
    void NoteAdded(const StoredName& keys) noexcept;
    void NoteRemoved(const StoredName& keys) noexcept;
    // Every row whose Path begins with `directory` (see DirectoryText) is gone.
    void NoteDirectoryRemoved(const std::string& directory) noexcept;
    void NoteCommitted() noexcept { uncommitted_ = false; }
    void NoteRolledBack() noexcept;

  private:
    enum class State { Absent, Built, ByQuery };
    // Where a row's keys are while it is compared: in an entry and its
    // folder, or in the caller's strings.
    struct Key {
        std::string_view fileName;
        std::string_view path;
    };
    // One step up from a folder being changed: its parent, the index of its
    // entry there, and whether the row going away is the first below it.
    struct Step {
        Folder* parent;
        size_t index;
        bool wasFirst;
    };

    // The changes themselves; false when the picture turned out not to be
    // in key order, and must be dropped.
    bool Add(const std::string& fileName, const std::string& path);
    bool Remove(const std::string& fileName, const std::string& path);
    bool RemoveDirectory(const std::string& directory);
    // Takes entry `index` out of `folder`, whose first row below has key
    // `removed` when it is that entry's, and puts the folders above in order
    // again; a sub-folder taken out goes with everything below it.
    bool Erase(Folder& folder, size_t index, const Key& removed);
    // Folder `path`, made (with the folders above it that are missing) when
    // new, each listed in its parent at the place of `key`, the row that
    // reveals it.
    Folder& Reach(const std::string& path, const Key& key);
    // A new, empty folder `path` below `parent` (not yet listed there).
    Folder& NewFolder(const std::string& path, Folder* parent);

    // The key of the row that puts `entry` where it is: its own for a file,
    // its first row's for a sub-folder.
    static Key KeyOf(const Folder& folder, const Entry& entry);
    static Key KeyOf(const Folder& folder) { return KeyOf(folder, folder.entries.front()); }
    // Negative, 0, positive as `a` sorts before, with, after `b` (SQLite's
    // BINARY order: bytes compared unsigned, a prefix first).
    static int Compare(const Key& a, const Key& b);
    // The index of the first entry of `folder` not sorting before `key`.
    static size_t LowerBound(const Folder& folder, const Key& key);
    // The index of `child`'s entry in its parent; none when the picture is
    // out of order.
    static std::optional<size_t> IndexOf(const Folder& child);

    State state_ = State::Absent;
    int64_t version_ = -1;  // PRAGMA data_version when built (or found ByQuery)
    // Own changes made since the last commit: a rollback must drop them.
    bool uncommitted_ = false;
    // Every folder by its text, the top ("") included while built; nodes
    // keep their addresses, so entries and parents point at them.
    std::unordered_map<std::string, Folder> folders_;
    Folder* top_ = nullptr;
    // While building: the folder of the row scanned last (whose last entry
    // it is), to check that the scan keeps the key order; and the text of
    // the folder looked up.
    Folder* lastFolder_ = nullptr;
    std::string scratch_;
};

}  // namespace kivfs
