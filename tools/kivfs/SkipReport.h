// What a whole-tree command (pack, unpack) left out: each source it could
// not take is named on standard error as it is met, the rest is copied, and
// the command ends with a summary and a failed status.
#pragma once

#include <cstddef>
#include <string>

#include "Progress.h"

namespace kivfs_tool {

class SkipReport {
  public:
    // Skipped entries are named without breaking into a drawn progress line.
    void Attach(Progress* progress) { progress_ = progress; }

    // Prints "kivfs: skipped 'where': reason" on standard error.
    void Skip(const std::string& where, const std::string& reason);
    std::size_t count() const { return count_; }

    // Throws ToolError with `done` and the number skipped when anything was.
    void ThrowIfAny(const std::string& done) const;

  private:
    Progress* progress_ = nullptr;
    std::size_t count_ = 0;
};

}  // namespace kivfs_tool
