#include "Progress.h"

#include <cstdio>

#include "Terminal.h"

namespace kivfs_tool {

namespace {

using Clock = std::chrono::steady_clock;

// Redraws at most this often: enough to look alive, little enough to cost
// nothing next to the copying.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr std::uint64_t kLargeFile = 1024 * 1024;
constexpr int kBarWidth = 24;

// "[#####-----]" for the done fraction.
std::string Bar(double fraction) {
    const int filled = static_cast<int>(fraction * kBarWidth);
    return "[" + std::string(filled, '#') + std::string(kBarWidth - filled, '-') + "]";
}

}  // namespace

Progress::Progress(bool enabled, std::uint64_t totalBytes, std::uint64_t totalFiles)
    : enabled_(enabled),
      totalBytes_(totalBytes),
      totalFiles_(totalFiles),
      start_(Clock::now()),
      lastDraw_(start_) {}

Progress::~Progress() {
    EndLine();
}

void Progress::AddBytes(std::uint64_t count) {
    bytes_ += count;
    if (enabled_ && Clock::now() - lastDraw_ >= kRedrawInterval) Draw();
}

void Progress::FileDone() {
    ++files_;
    if (enabled_ && Clock::now() - lastDraw_ >= kRedrawInterval) Draw();
}

void Progress::Finish() {
    if (!enabled_) return;
    Draw();
    EndLine();
    enabled_ = false;
}

void Progress::EndLine() {
    if (!drawn_) return;
    std::fputs("\n", stderr);
    drawn_ = false;
}

// "\r" returns to the line's start and "\x1b[K" clears what a longer
// earlier line left behind.
void Progress::Draw() {
    lastDraw_ = Clock::now();
    const double seconds = std::chrono::duration<double>(lastDraw_ - start_).count();
    const std::string line = ProgressLine(bytes_, totalBytes_, files_, totalFiles_, seconds);
    std::fprintf(stderr, "\r%s\x1b[K", line.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

bool ProgressWanted(bool wholeTree, std::uint64_t totalBytes) {
    return (wholeTree || totalBytes >= kLargeFile) && IsTerminal(stderr);
}

std::string HumanBytes(double bytes) {
    static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    int unit = 0;
    while (bytes >= 1024 && unit < 4) {
        bytes /= 1024;
        ++unit;
    }
    char text[32];
    if (unit == 0) {
        std::snprintf(text, sizeof text, "%.0f B", bytes);
    } else {
        std::snprintf(text, sizeof text, "%.1f %s", bytes, kUnits[unit]);
    }
    return text;
}

// With a byte total the bar shows bytes; without one (a tree whose sizes
// are not measured in advance) it shows files.
std::string ProgressLine(std::uint64_t bytes, std::uint64_t totalBytes, std::uint64_t files,
                         std::uint64_t totalFiles, double seconds) {
    double fraction = 1.0;
    if (totalBytes > 0) {
        fraction = static_cast<double>(bytes) / static_cast<double>(totalBytes);
    } else if (totalFiles > 0) {
        fraction = static_cast<double>(files) / static_cast<double>(totalFiles);
    }
    if (fraction > 1.0) fraction = 1.0;
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(fraction * 100));
    std::string line =
        Bar(fraction) + " " + percent + "  " + HumanBytes(static_cast<double>(bytes));
    if (totalBytes > 0) line += " / " + HumanBytes(static_cast<double>(totalBytes));
    line += "  " + std::to_string(files) + "/" + std::to_string(totalFiles) + " files";
    if (seconds > 0) line += "  " + HumanBytes(static_cast<double>(bytes) / seconds) + "/s";
    return line;
}

}  // namespace kivfs_tool
