// The exported bridge to the host's I/O stub: registering with it, and
// opening and deleting the StubOps records it hands out to the host's I/O
// layer. Files are found through the mount table.
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "api/Container.h"
#include "api/Guarded.h"
#include "kivIOStub.h"
#include "kivfs.h"
#include "mount/MountTable.h"
#include "mount/StubRecord.h"
#include "platform/Text.h"

namespace {

// The mount that paths without any ":" are taken to lie under.
constexpr const char* kDefaultMount = "app:";

}  // namespace

extern "C" {

// No guard against a second call: each call registers again, and the stub's
// answer is passed back as it is, never read as a failure of this library.
int kivFSInitFileSystem(void) {
    return kivfs::Guarded(0, KIVFS_OK,
                          [] { return kivRegisterFS(kivFSCreateStub, kivFSDeleteStub); });
}

// 'config\main.ini' means 'app:config/main.ini'; 'app:' alone names no file.
// The record is made before the mount's lock is taken, so that nothing but the
// opening happens under it; a record without a file closes nothing.
StubOps* kivFSCreateStub(const char* path, int mode) {
    return kivfs::Guarded(nullptr, KIVFS_ERR_NOT_FOUND, [&]() -> StubOps* {
        if (!path || !*path) return kivfs::Refuse(nullptr);
        std::string text = kivfs::NormalizedCopy(path);
        if (text.find(':') == std::string::npos) text.insert(0, kDefaultMount);
        kivfs::MountedPath mounted = kivfs::MountTable::Instance().Resolve(text);
        if (!mounted.entry) return nullptr;
        auto bridged = std::make_unique<kivfs::BridgedFile>(std::move(mounted.entry));
        {
            std::lock_guard<std::mutex> lock(bridged->mount->bridge);
            bridged->file =
                kivfs::OpenInBackend(bridged->mount->backend.get(), mounted.inner.c_str(), mode);
        }
        return bridged->file ? kivfs::NewStubOps(std::move(bridged)) : nullptr;
    });
}

// Deleting null is no failure (as free(NULL)); a cause noted while closing
// the file is published.
void kivFSDeleteStub(StubOps* ops) {
    kivfs::Guarded(false, KIVFS_OK, [&] {
        kivfs::DeleteStubOps(ops);
        return true;
    });
}

}  // extern "C"
