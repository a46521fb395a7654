// Windows load hook: the library's entry point. The loader lock is held
// while it runs, so it only registers with the host's I/O stub, through the
// library's own export, and never loads a library, waits or takes a lock
// itself; the stub is already initialised (kivfs.dll imports it).
#include <windows.h>

#include "kivfs.h"

// Every notification reports success; only the process attach does work,
// and what the stub answers is of no use at that point.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) static_cast<void>(kivFSInitFileSystem());
    return TRUE;
}
