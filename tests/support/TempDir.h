// A temporary folder for one test, removed with everything in it when the
// test ends, and small helpers for real files inside it.
#pragma once

#include <string>

namespace kivfs_test {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder's absolute path, without a trailing "/".
    const std::string& path() const { return path_; }
    // path() + "/" + relative.
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

  private:
    std::string path_;
};

// Writes `bytes` to `path`, creating or replacing the file (parents must exist).
void WriteBytes(const std::string& path, const std::string& bytes);
// The whole content of `path`; empty when it cannot be read.
std::string ReadBytes(const std::string& path);
bool PathExists(const std::string& path);

}  // namespace kivfs_test
