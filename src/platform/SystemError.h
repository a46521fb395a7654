// What the system's error values mean, in the library's KIVFS_ERR_* terms.
//
// Platform calls hand their cause back to the caller as such a code (or
// KIVFS_OK); the layers above decide whether it explains a failure of
// theirs. The errno table is shared (platform/SystemError.cpp); the system
// table is implemented once per platform (platform/posix/SystemError.cpp,
// platform/win32/SystemError.cpp).
#pragma once

namespace kivfs {

// The code for a C runtime errno value (IO for one not known).
int ErrnoToCode(int err);

// The code for the error value the system gives for its own calls, the one
// sqlite3_system_errno reports: errno on POSIX, a GetLastError value on
// Windows (IO for one not known).
int SystemErrorToCode(unsigned long error);

}  // namespace kivfs
