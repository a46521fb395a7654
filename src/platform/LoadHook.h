// What the library does when the loader attaches it to a process.
//
// Each platform calls OnProcessAttach once from its own load notification: a
// constructor of the shared library on POSIX (platform/posix/LoadHook.cpp),
// the process-attach notification of the library's entry point on Win32,
// which reports success for every notification and does nothing on the
// others. The loader may hold locks while it runs, so the work is kept small:
// the registration with the host's I/O stub.
#pragma once

namespace kivfs {

// Registers the library with the host's I/O stub, ignoring the stub's answer.
void OnProcessAttach();

}  // namespace kivfs
