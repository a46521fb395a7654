// The exported bridge to the host's I/O stub: registering with it, and
// opening and deleting the StubOps records it hands out to the host's I/O
// layer. Files are found through the mount table.
#include <string>
#include <utility>

#include "api/Container.h"
#include "kivIOStub.h"
#include "kivfs.h"
#include "mount/MountTable.h"
#include "mount/StubRecord.h"
#include "platform/LoadHook.h"
#include "platform/Text.h"

namespace {

// The mount that paths without any ":" are taken to lie under.
constexpr const char* kDefaultMount = "app:";

}  // namespace

namespace kivfs {

// Registers once when the library is loaded, before the host calls anything;
// what the stub answers is of no use at that point.
void OnProcessAttach() {
    static_cast<void>(kivFSInitFileSystem());
}

}  // namespace kivfs

extern "C" {

// No guard against a second call: each call registers again, and the stub's
// answer is passed back as it is.
int kivFSInitFileSystem(void) {
    return kivRegisterFS(kivFSCreateStub, kivFSDeleteStub);
}

// 'config\main.ini' means 'app:config/main.ini'; 'app:' alone names no file.
StubOps* kivFSCreateStub(const char* path, int mode) {
    if (!path || !*path) return nullptr;
    std::string text = kivfs::NormalizedCopy(path);
    if (text.find(':') == std::string::npos) text.insert(0, kDefaultMount);
    const kivfs::MountedPath mounted = kivfs::MountTable::Instance().Resolve(text);
    if (!mounted.entry) return nullptr;
    auto file = kivfs::OpenInBackend(mounted.entry->backend.get(), mounted.inner.c_str(), mode);
    return file ? kivfs::NewStubOps(std::move(file)) : nullptr;
}

void kivFSDeleteStub(StubOps* ops) {
    kivfs::DeleteStubOps(ops);
}

}  // extern "C"
