// CutFromOutside: cuts a file short as another program would while the test
// holds it open and mapped, for tests of reads from a file that shrank under
// its mapping. Implemented in OutsideCut.cpp (POSIX: truncate(2) through
// std::filesystem) and OutsideCutWin32.cpp.
//
// Windows itself refuses such a cut (the archive is opened sharing reads
// only, and a mapped file cannot shrink). Under Wine the host system does
// not ask Windows: there the cut is made by the host's truncate(1), started
// from the test like any program, and it reaches the mapped pages for real.
#pragma once

#include <cstdint>
#include <string>

namespace kivfs_test {

// Cuts the file at `path` (UTF-8, "/" separators) to `size` bytes and
// returns once the test sees the new size. Empty when done; otherwise why
// it cannot be done here, for the skip message.
std::string CutFromOutside(const std::string& path, std::uint64_t size);

}  // namespace kivfs_test
