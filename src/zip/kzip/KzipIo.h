// KzipIo: the handler record through which kzip reads an archive file, by
// the int handle the record's open gave it. The mapped handlers fill it
// (MappedKzipIo); nothing else is read.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kivfs {

struct KzipIo {
    // The handle (>= 1), or -1.
    int (*open)(const char* path, int flags, ...);
    // 0, or -1.
    int (*close)(int handle);
    // Bytes copied from the read position, 0 at the end, or -1.
    std::int64_t (*read)(int handle, void* buffer, std::size_t length);
    // The read position afterwards (whence 0, 1, 2 as lseek's), or -1 for a
    // target outside the file.
    std::int64_t (*seeks)(int handle, std::int64_t offset, int whence);
    // The file's size, or -1.
    std::int64_t (*filesize)(int handle);
};

// The record filled with the Mapped* handlers; static, never changed.
const KzipIo& MappedKzipIo();

}  // namespace kivfs
