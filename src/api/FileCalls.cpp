// The exported file calls, and the close routine shared with listings.
#include "api/FileIo.h"
#include "api/Guarded.h"
#include "api/HandleFactory.h"
#include "kivfs.h"

using kivfs::FileOf;
using kivfs::Guarded;
using kivfs::Refuse;

namespace {

// The reading modes ("rb", "rb+": 0 and 3) never create or change a
// container: a mistyped asset path must not become an empty store. Every
// other mode may start one, as kivfsOpenDir does.
kivfs::StoreCreation CreationFor(int mode) {
    return mode == 0 || mode == 3 ? kivfs::StoreCreation::Refused : kivfs::StoreCreation::Allowed;
}

}  // namespace

extern "C" {

FileHandle* kivfsCreateFileIndir(DirHandle* dir, const char* name, int mode) {
    return Guarded(nullptr, KIVFS_ERR_NOT_FOUND, [&]() -> FileHandle* {
        if (!dir || !name || !*name) return Refuse(nullptr);
        return kivfs::AsFileHandle(
            kivfs::MakeHandle(dir, kivfs::OpenInBackend(dir->backend.get(), name, mode)));
    });
}

FileHandle* kivfsCreateFile(const char* path, int mode) {
    return Guarded(nullptr, KIVFS_ERR_NOT_FOUND, [&] {
        return kivfs::AsFileHandle(kivfs::OpenByPath(
            path, CreationFor(mode), [mode](kivfs::FsBackend* backend, const char* name) {
                return kivfs::OpenInBackend(backend, name, mode);
            }));
    });
}

// Closing null is no failure (as free(NULL)); a cause noted while closing
// (a store's last commit refused) is published.
void kivfsCloseFile(void* handle) {
    Guarded(false, KIVFS_OK, [&] {
        delete kivfs::AsOpen(handle);
        return true;
    });
}

// 0 is also the end of the file, so only a noted cause makes it a failure.
int kivfsRead(FileHandle* file, void* buffer, int length) {
    return Guarded(0, KIVFS_OK, [&] { return kivfs::ForwardRead(FileOf(file), buffer, length); });
}

// Writing fewer bytes than asked is a failure, even when some were written.
int kivfsWrite(FileHandle* file, const void* buffer, int length) {
    int written = 0;
    Guarded(false, KIVFS_ERR_IO,
            [&] { return kivfs::WriteCompleted(FileOf(file), buffer, length, written); });
    return written;
}

// 0 is also a position and false also "not at the end": only a noted cause
// (a refused argument, say) makes these fail.
int kivfsTell(FileHandle* file) {
    return Guarded(0, KIVFS_OK, [&] { return kivfs::ForwardTell(FileOf(file)); });
}

int kivfsSeek(FileHandle* file, int offset, int origin) {
    return Guarded(-1, KIVFS_ERR_ARGUMENT,
                   [&] { return kivfs::ForwardSeek(FileOf(file), offset, origin); });
}

bool kivfsError(FileHandle* file) {
    return Guarded(0, KIVFS_OK, [&] { return kivfs::ForwardError(FileOf(file)); }) != 0;
}

bool kivfsResize(FileHandle* file, unsigned int newSize) {
    return Guarded(false, KIVFS_ERR_IO,
                   [&] { return file ? FileOf(file)->Resize(newSize) : Refuse(false); });
}

}  // extern "C"
