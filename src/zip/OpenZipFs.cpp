#include "zip/OpenZipFs.h"

#include "platform/SystemPath.h"
#include "zip/ZipFs.h"
#include "zip/ZipIoHandlers.h"

namespace kivfs {

// Only an existing file is tried; zziplib then opens it through the mapped
// handlers (or, when it cannot be mapped, the same path with ".zip" or ".ZIP"
// added) and reads its central directory. A real directory that appeared at
// the path since the check is not an archive.
std::unique_ptr<FsBackend> OpenZipFs(const std::string& path) {
    if (!IsSystemFile(path.c_str())) return nullptr;
    ZZIP_DIR* archive = zzip_opendir_ext_io(path.c_str(), 0, ZipExtensions(), ZipIoHandlers());
    if (!archive) return nullptr;
    if (zzip_dir_real(archive)) {
        zzip_closedir(archive);
        return nullptr;
    }
    return std::make_unique<ZipFs>(archive);
}

}  // namespace kivfs
