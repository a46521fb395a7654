// SnapshotEnum: a listing taken whole when it is made, for containers that
// list a directory from the names they store (stores, archives).
//
// The entries are either gathered by the derived class (AddFile,
// AddDirectory) or handed over whole as a SnapshotListing that others may
// share, and are walked from memory afterwards: the container is never
// touched again, and Reset replays the same entries in the same order.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>

#include "backend/FsEnum.h"
#include "backend/SnapshotListing.h"

namespace kivfs {

class SnapshotEnum : public FsEnum {
  public:
    bool MoveNext() override;
    void Reset() override;
    // Before the first MoveNext (and after Reset) the name is empty.
    bool GetName(char** out) override;
    // The listed directory's text followed by the name; a directory's full
    // name always ends with "/".
    bool GetFullName(char** out) override;
    bool IsDirectory() override;

  protected:
    // `dirPath` is the listed directory's text, put in front of full names;
    // the entries follow with AddFile and AddDirectory.
    explicit SnapshotEnum(std::string dirPath);
    // Walks `listing` (never null), which is not changed any more.
    SnapshotEnum(std::string dirPath, std::shared_ptr<const SnapshotListing> listing);

    const std::string& DirPath() const { return dirPath_; }
    // Makes room for `count` more entries (only while filling).
    void Reserve(std::size_t count);
    // Appends a file entry; files are not de-duplicated. Only for a listing
    // made by the first constructor.
    void AddFile(std::string_view name);
    // Appends a directory entry (its name ends with "/") unless an entry of
    // that name is already listed, files and the placeholder included.
    void AddDirectory(std::string_view name);

  private:
    bool AtEnd() const { return cursor_ > listing_->Size(); }

    std::string dirPath_;
    // Never null. Entry i of the listing is at cursor position i + 1.
    std::shared_ptr<const SnapshotListing> listing_;
    // The listing AddFile and AddDirectory fill (listing_ itself); null for a
    // listing handed over whole.
    SnapshotListing* filling_ = nullptr;
    // While filling: every name listed that a directory's could equal
    // (directories' and the files' holding a "/") and the placeholder's, so
    // that a directory revealed again by a later name is found without
    // scanning the list: listing stays linear.
    std::unordered_set<std::string> names_;
    // 0 = the placeholder, standing for the position before the first entry;
    // listing_->Size() + 1 = the end.
    std::size_t cursor_ = 0;
    // GetFullName's last text, kept for its capacity.
    std::string fullName_;
};

}  // namespace kivfs
