// NativeEnum: a live listing of one real directory.
//
// The directory is read while the listing advances, in the order the system
// search returns its entries; "." and ".." are left out, nothing else is. The
// listing stands on an entry only between a MoveNext that returned true and
// the next MoveNext that returns false or Reset: before the first MoveNext,
// after the end and after Reset, GetName, GetFullName and IsDirectory answer
// false. Once the end is reached, MoveNext keeps answering false until Reset
// starts the search again.
#pragma once

#include <memory>
#include <string>

#include "backend/FsEnum.h"
#include "platform/DirectorySearch.h"

namespace kivfs {

class NativeEnum : public FsEnum {
  public:
    // Lists `dirPath` (the container's root followed directly by `relName`);
    // full names are `relName` followed by each entry's name.
    NativeEnum(std::string dirPath, std::string relName);

    bool MoveNext() override;
    void Reset() override;
    bool GetName(char** out) override;
    bool GetFullName(char** out) override;
    bool IsDirectory() override;

  private:
    // True when the listing stands on an entry.
    bool Valid() const { return search_ && !ended_; }
    // One step of the search (starting it if none is open); false at the end.
    bool Step();

    // root + relName split after its last "/": the folder searched, and
    // what the names listed begin with ("" when relName is empty or ends in
    // "/", as the call layer passes it).
    std::string folder_;
    std::string prefix_;
    std::string relName_;  // the name given to CreateEnum, unchanged
    // Set once a step has failed (the end, or a directory that cannot be
    // read); only Reset clears it.
    bool ended_ = false;
    // The entry stood on; meaningful only when Valid(). Its name is a view
    // into search_, valid until the next Step.
    DirectoryEntry current_;
    // The open search; null before the first step and after Reset. It stays
    // open after the end until Reset or destruction.
    std::unique_ptr<DirectorySearch> search_;
};

}  // namespace kivfs
