// The exported listing calls.
#include "api/Guarded.h"
#include "api/HandleFactory.h"
#include "kivfs.h"

using kivfs::EnumOf;
using kivfs::Guarded;
using kivfs::Refuse;

namespace {

// Runs one question to the listing of `e`: a null handle is refused as an
// argument. With a fallback of KIVFS_OK a false answer is a normal outcome
// (the end of the listing, a file rather than a folder) unless a cause was
// noted.
template <typename Question>
bool AskEnum(EnumHandle* e, int fallback, Question question) {
    return Guarded(false, fallback, [&] { return e ? question(*EnumOf(e)) : Refuse(false); });
}

}  // namespace

extern "C" {

EnumHandle* kivfsCreateEnumIndir(DirHandle* dir, const char* name) {
    return Guarded(nullptr, KIVFS_ERR_NOT_FOUND, [&]() -> EnumHandle* {
        if (!dir || !name) return Refuse(nullptr);
        return kivfs::AsEnumHandle(
            kivfs::MakeHandle(dir, kivfs::EnumInBackend(dir->backend.get(), name)));
    });
}

// A listing only reads: it never creates or changes a container.
EnumHandle* kivfsCreateEnum(const char* path) {
    return Guarded(nullptr, KIVFS_ERR_NOT_FOUND, [&] {
        return kivfs::AsEnumHandle(
            kivfs::OpenByPath(path, kivfs::StoreCreation::Refused, kivfs::EnumInBackend));
    });
}

void kivfsCloseEnum(void* handle) {
    kivfsCloseFile(handle);
}

bool kivfsMoveNext(EnumHandle* e) {
    return AskEnum(e, KIVFS_OK, [](kivfs::FsEnum& listing) { return listing.MoveNext(); });
}

void kivfsReset(EnumHandle* e) {
    AskEnum(e, KIVFS_OK, [](kivfs::FsEnum& listing) {
        listing.Reset();
        return true;
    });
}

// Without `out`, or past the last entry, there is no name to give.
bool kivfsGetName(EnumHandle* e, char** out) {
    return AskEnum(e, KIVFS_ERR_NOT_FOUND, [&](kivfs::FsEnum& listing) {
        return out ? listing.GetName(out) : Refuse(false);
    });
}

bool kivfsGetFullName(EnumHandle* e, char** out) {
    return AskEnum(e, KIVFS_ERR_NOT_FOUND, [&](kivfs::FsEnum& listing) {
        return out ? listing.GetFullName(out) : Refuse(false);
    });
}

bool kivfsIsDirectory(EnumHandle* e) {
    return AskEnum(e, KIVFS_OK, [](kivfs::FsEnum& listing) { return listing.IsDirectory(); });
}

void kivfsFreeName(char* name) {
    delete[] name;
}

}  // extern "C"
