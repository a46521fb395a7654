#include "native/OpenNativeFs.h"

#include "native/NativeFs.h"

namespace kivfs {

// The caller has already found `path` to be a directory; serving it needs no
// further check, so this never fails.
std::unique_ptr<FsBackend> OpenNativeFs(const std::string& path) {
    return std::make_unique<NativeFs>(path);
}

}  // namespace kivfs
