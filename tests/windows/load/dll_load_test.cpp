// kivfs.dll registers itself with the host's stub from its entry point: a
// host that loads it with LoadLibraryW finds the two callbacks registered
// once, before it calls anything; its own kivFSInitFileSystem registers
// again. This program links only the stub (kivIOStub.dll), as a host does.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "kivIOStub.h"
#include "kivfs.h"

namespace {

using InitFn = int(KIVFS_CALL*)(void);
using MountFn = void(KIVFS_CALL*)(const char*, const char*);

template <class Fn>
Fn Export(HMODULE library, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

TEST(DllMain, LoadRegistersOnceAndAnExplicitCallAgain) {
    EXPECT_EQ(kivIOOpen("app:x", 0), nullptr) << "nothing registered before the load";
    const HMODULE library = LoadLibraryW(L"kivfs.dll");
    ASSERT_NE(library, nullptr);
    const InitFn init = Export<InitFn>(library, "kivFSInitFileSystem");
    ASSERT_NE(init, nullptr);
    EXPECT_EQ(init(), 2) << "the load registered once";

    // The registered create callback opens through the library's mounts.
    char program[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, program, MAX_PATH), 0u);
    const std::string path = program;
    const std::string folder = path.substr(0, path.find_last_of("\\/"));
    Export<MountFn>(library, "kivFSMountPath")("app:", folder.c_str());
    StubOps* ops = kivIOOpen("app:dll_load_test.exe", 0);
    ASSERT_NE(ops, nullptr);
    char head[2] = {};
    EXPECT_EQ(ops->readFn(ops->file, head, 2), 2);
    EXPECT_EQ(std::string(head, 2), "MZ");
    kivIOClose(ops);
    Export<MountFn>(library, "kivFSUnmountPath")("app:", nullptr);
    // A second load of a loaded library does not run its entry point again.
    EXPECT_EQ(LoadLibraryW(L"kivfs.dll"), library);
    EXPECT_EQ(init(), 3);
    FreeLibrary(library);
    FreeLibrary(library);
}

}  // namespace
