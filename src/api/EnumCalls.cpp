// The exported listing calls.
#include "api/HandleFactory.h"
#include "kivfs.h"

using kivfs::EnumOf;

extern "C" {

EnumHandle* kivfsCreateEnumIndir(DirHandle* dir, const char* name) {
    if (!dir || !name) return nullptr;
    return kivfs::AsEnumHandle(
        kivfs::MakeHandle(dir, kivfs::EnumInBackend(dir->backend.get(), name)));
}

EnumHandle* kivfsCreateEnum(const char* path) {
    return kivfs::AsEnumHandle(kivfs::OpenByPath(path, kivfs::EnumInBackend));
}

void kivfsCloseEnum(void* handle) { kivfsCloseFile(handle); }

bool kivfsMoveNext(EnumHandle* e) { return e && EnumOf(e)->MoveNext(); }

void kivfsReset(EnumHandle* e) {
    if (e) EnumOf(e)->Reset();
}

bool kivfsGetName(EnumHandle* e, char** out) { return e && EnumOf(e)->GetName(out); }

bool kivfsGetFullName(EnumHandle* e, char** out) { return e && EnumOf(e)->GetFullName(out); }

bool kivfsIsDirectory(EnumHandle* e) { return e && EnumOf(e)->IsDirectory(); }

void kivfsFreeName(char* name) { delete[] name; }

}  // extern "C"
