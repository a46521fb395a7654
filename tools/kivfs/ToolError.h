// The one kind of failure a command reports: a sentence naming what failed
// and where, printed as "kivfs: <sentence>" with a non-zero exit status.
#pragma once

#include <stdexcept>
#include <string>

namespace kivfs_tool {

class ToolError : public std::runtime_error {
  public:
    explicit ToolError(const std::string& sentence) : std::runtime_error(sentence) {}
};

// "'text'", the form in which names and paths appear in messages.
inline std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

}  // namespace kivfs_tool
