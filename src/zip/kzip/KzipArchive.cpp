#include "zip/kzip/KzipArchive.h"

#include "zip/MappedHandlers.h"
#include "zip/kzip/KzipEntry.h"

namespace kivfs {

// Static storage: every open directory refers to the record.
const KzipIo& MappedKzipIo() {
    static const KzipIo io{MappedOpen, MappedClose, MappedRead, MappedSeek, MappedSize};
    return io;
}

// In central-directory order, the order of the directory's entries.
void KzipArchive::VisitNames(const std::function<void(const char*)>& visit) {
    for (std::size_t index = 0; index < directory_->Count(); ++index) {
        visit(directory_->NameOf(index));
    }
}

// A pointer VisitNames did not hand out opens nothing.
std::unique_ptr<EntryReader> KzipArchive::OpenEntry(const char* storedName) {
    const std::size_t index = directory_->IndexOf(storedName);
    if (index == directory_->Count()) return nullptr;
    return KzipEntry::Open(directory_, index);
}

// A directory that does not read closes the handle as it goes.
std::unique_ptr<ArchiveReader> OpenWithKzip(int handle) {
    std::shared_ptr<KzipDirectory> directory = KzipDirectory::Open(handle, MappedKzipIo());
    if (!directory) return nullptr;
    return std::make_unique<KzipArchive>(std::move(directory));
}

}  // namespace kivfs
