// The reason the library gives for a failed call, in the words error lines
// use.
#pragma once

#include <string>

namespace kivfs_tool {

// The text of kivfsLastError() for the failure the calling thread has just
// seen, or `fallback` while the library names no cause (KIVFS_OK). Call it
// right after the failing call, before any other call of the library.
std::string LibraryReason(const std::string& fallback);

// True when the thread's last failure was a lock held by another program.
bool LastFailureWasBusy();

// True when the thread's last failure concerns a whole container or the
// machine (a lock, an I/O error, a full disk, no memory) rather than one
// file: a whole-tree command stops on it instead of skipping the file.
bool LastFailureIsGeneral();

}  // namespace kivfs_tool
