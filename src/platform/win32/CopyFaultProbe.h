// A test seam inside FileMapping::CopyOut on Windows.
//
// Windows does not let another process cut a mapped file short, so the
// in-page error that such a cut (or a failing medium) raises cannot be
// provoked from a test. Tests install a probe that runs inside the guarded
// copy and raise that very exception there with RaiseInPageError.
#pragma once

namespace kivfs {

// Runs inside CopyOut's guarded span with the source range of the copy.
using CopyFaultProbe = void (*)(const unsigned char* begin, const unsigned char* end);

// Installs `probe` for the calling thread's copies; null removes it.
void SetCopyFaultProbe(CopyFaultProbe probe);

// Raises EXCEPTION_IN_PAGE_ERROR (0xC0000006) for a read of `address`, as
// the memory manager does when it cannot bring in a page of a mapped file.
void RaiseInPageError(const void* address);

}  // namespace kivfs
