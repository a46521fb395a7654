// A one-line progress display for long copies: bytes done (of the total),
// files done (of the total) and the rate, redrawn in place on standard
// error. Disabled, it draws nothing, so pipes and logs see only the
// command's own output.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace kivfs_tool {

class Progress {
  public:
    // A display that draws nothing.
    Progress() = default;
    // A display over `totalBytes` (0 when not known in advance) in
    // `totalFiles` files, drawn only when `enabled` (see ProgressWanted).
    Progress(bool enabled, std::uint64_t totalBytes, std::uint64_t totalFiles);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void AddBytes(std::uint64_t count);
    void FileDone();
    // Draws the final state and ends the line.
    void Finish();
    // Ends a drawn line, so that a message can follow on a line of its own;
    // the next redraw starts a new one.
    void EndLine();

  private:
    void Draw();

    bool enabled_ = false;
    bool drawn_ = false;
    std::uint64_t totalBytes_ = 0;
    std::uint64_t totalFiles_ = 0;
    std::uint64_t bytes_ = 0;
    std::uint64_t files_ = 0;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
};

// True when a display is worth drawing: standard error is a terminal and
// the work is long (a whole tree, or a single file of a megabyte or more).
bool ProgressWanted(bool wholeTree, std::uint64_t totalBytes);

// "512 B", "1.5 KiB", "12.3 MiB" ...
std::string HumanBytes(double bytes);

// The display line for the given state, without any terminal control.
std::string ProgressLine(std::uint64_t bytes, std::uint64_t totalBytes, std::uint64_t files,
                         std::uint64_t totalFiles, double seconds);

}  // namespace kivfs_tool
