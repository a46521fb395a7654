// SnapshotEnum: a listing taken whole when it is made, for containers that
// list a directory from the names they store (stores, archives).
//
// The entries are gathered once by the derived class (AddFile, AddDirectory)
// and walked from memory afterwards: the container is never touched again,
// and Reset replays the same entries in the same order.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_set>
#include <vector>

#include "backend/FsEnum.h"

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
    // `dirPath` is the listed directory's text, put in front of full names.
    explicit SnapshotEnum(std::string dirPath);

    const std::string& DirPath() const { return dirPath_; }
    // Makes room for `count` more entries.
    void Reserve(size_t count);
    // Appends a file entry; files are not de-duplicated.
    void AddFile(std::string name);
    // Appends a directory entry (its name ends with "/") unless an entry of
    // that name is already listed, files and the placeholder included.
    void AddDirectory(std::string name);

  private:
    struct Entry {
        bool isDirectory;
        std::string name;
    };

    bool AtEnd() const { return cursor_ >= entries_.size(); }

    std::string dirPath_;
    // entries_[0] is a placeholder (an empty file name) standing for the
    // position before the first entry; the real entries follow in the order
    // they were added.
    std::vector<Entry> entries_;
    // Every name in entries_ that a directory's could equal (directories'
    // and the files' holding a "/"), so that a directory revealed again by a
    // later name is found without scanning the list: listing stays linear.
    std::unordered_set<std::string> names_;
    size_t cursor_ = 0;     // 0 = the placeholder .. entries_.size() = the end
    std::string fullName_;  // GetFullName's last text, kept for its capacity
};

}  // namespace kivfs
