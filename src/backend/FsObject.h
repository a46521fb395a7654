// FsObject: the common root of open files and listings.
//
// A FileHandle and an EnumHandle share one layout and one close routine, so
// the object they own must be destroyable without knowing which of the two it
// is. Both FsFile and FsEnum derive from this class for that reason only.
#pragma once

namespace kivfs {

class FsObject {
  public:
    virtual ~FsObject() = default;

  protected:
    FsObject() = default;
    FsObject(const FsObject&) = delete;
    FsObject& operator=(const FsObject&) = delete;
};

}  // namespace kivfs
