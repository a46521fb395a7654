// The few questions the tool asks about its standard streams. Their answers
// depend on the operating system, so they live in Terminal.cpp alone.
#pragma once

#include <cstdio>

namespace kivfs_tool {

// True when `stream` is attached to an interactive terminal (progress bars
// are drawn only there, so that pipes and logs receive nothing extra).
bool IsTerminal(std::FILE* stream);

// Makes `stream` pass bytes through unchanged (no newline translation), so
// that file contents travel intact through standard input and output.
void UseBinaryMode(std::FILE* stream);

}  // namespace kivfs_tool
