// The exported file calls, and the close routine shared with listings.
#include "api/FileIo.h"
#include "api/HandleFactory.h"
#include "kivfs.h"

using kivfs::FileOf;

extern "C" {

FileHandle* kivfsCreateFileIndir(DirHandle* dir, const char* name, int mode) {
    if (!dir || !name || !*name) return nullptr;
    return kivfs::AsFileHandle(
        kivfs::MakeHandle(dir, kivfs::OpenInBackend(dir->backend.get(), name, mode)));
}

FileHandle* kivfsCreateFile(const char* path, int mode) {
    return kivfs::AsFileHandle(
        kivfs::OpenByPath(path, [mode](kivfs::FsBackend* backend, const char* name) {
            return kivfs::OpenInBackend(backend, name, mode);
        }));
}

void kivfsCloseFile(void* handle) { delete kivfs::AsOpen(handle); }

int kivfsRead(FileHandle* file, void* buffer, int length) {
    return kivfs::ForwardRead(FileOf(file), buffer, length);
}

int kivfsWrite(FileHandle* file, const void* buffer, int length) {
    return kivfs::ForwardWrite(FileOf(file), buffer, length);
}

int kivfsTell(FileHandle* file) { return file ? FileOf(file)->Tell() : 0; }

int kivfsSeek(FileHandle* file, int offset, int origin) {
    return file ? FileOf(file)->Seek(offset, origin) : -1;
}

bool kivfsError(FileHandle* file) { return file && FileOf(file)->Error() != 0; }

bool kivfsResize(FileHandle* file, unsigned int newSize) {
    return file && FileOf(file)->Resize(newSize);
}

}  // extern "C"
