// Windows load hook: the library's entry point. The loader lock is held
// while it runs, so it only registers with the host's I/O stub, which is
// already initialised (kivfs.dll imports it), and never loads a library,
// waits or takes a lock itself.
#include <windows.h>

#include "platform/LoadHook.h"

// Every notification reports success; only the process attach does work.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) kivfs::OnProcessAttach();
    return TRUE;
}
