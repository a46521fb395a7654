// A mount made for one test and undone when the test ends, even after a
// failed assertion. The mount table lets go of what is still mounted at exit
// without closing it, which the leak check would report.
#pragma once

#include <string>
#include <utility>

#include "kivfs.h"

namespace kivfs_test {

class ScopedMount {
  public:
    ScopedMount(std::string name, const std::string& sysPath) : name_(std::move(name)) {
        kivFSMountPath(name_.c_str(), sysPath.c_str());
    }
    ~ScopedMount() { kivFSUnmountPath(name_.c_str()); }
    ScopedMount(const ScopedMount&) = delete;
    ScopedMount& operator=(const ScopedMount&) = delete;

  private:
    std::string name_;
};

}  // namespace kivfs_test
