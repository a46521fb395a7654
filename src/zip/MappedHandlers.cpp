#include "zip/MappedHandlers.h"

#include "zip/MappedArchiveTable.h"

namespace kivfs {

// The reader learns only that the open failed, so the cause is not kept.
int MappedOpen(const char* path, int, ...) {
    auto archive = MappedArchive::Open(path, nullptr);
    if (!archive) return -1;
    return MappedArchiveTable::Instance().Add(std::move(archive));
}

int MappedClose(int handle) {
    return MappedArchiveTable::Instance().Remove(handle) ? 0 : -1;
}

std::int64_t MappedRead(int handle, void* buffer, std::size_t length) {
    MappedArchive* archive = MappedArchiveTable::Instance().Find(handle);
    return archive ? archive->Read(buffer, length) : -1;
}

std::int64_t MappedSeek(int handle, std::int64_t offset, int whence) {
    MappedArchive* archive = MappedArchiveTable::Instance().Find(handle);
    return archive ? archive->Seek(offset, whence) : -1;
}

std::int64_t MappedSize(int handle) {
    MappedArchive* archive = MappedArchiveTable::Instance().Find(handle);
    return archive ? archive->Size() : -1;
}

}  // namespace kivfs
