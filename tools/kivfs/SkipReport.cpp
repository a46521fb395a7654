#include "SkipReport.h"

#include <iostream>

#include "ToolError.h"

namespace kivfs_tool {

void SkipReport::Skip(const std::string& where, const std::string& reason) {
    if (progress_) progress_->EndLine();
    std::cerr << "kivfs: skipped " << Quoted(where) << ": " << reason << std::endl;
    ++count_;
}

void SkipReport::ThrowIfAny(const std::string& done) const {
    if (count_ == 0) return;
    throw ToolError(done + "; skipped " + std::to_string(count_) +
                    (count_ == 1 ? " entry" : " entries") + " (named above)");
}

}  // namespace kivfs_tool
