#include "zip/zzip/ZzipIoHandlers.h"

#include "zip/MappedHandlers.h"

namespace kivfs {

namespace {

// zziplib's handler types differ from the plain ones by target (zzip_off_t
// and zzip_ssize_t are 32-bit on some); these pass the values across.
int ZzipOpen(zzip_char_t* path, int flags, ...) {
    return MappedOpen(path, flags);
}

zzip_ssize_t ZzipRead(int handle, void* buffer, zzip_size_t length) {
    return static_cast<zzip_ssize_t>(MappedRead(handle, buffer, length));
}

zzip_off_t ZzipSeek(int handle, zzip_off_t offset, int whence) {
    return static_cast<zzip_off_t>(MappedSeek(handle, offset, whence));
}

zzip_off_t ZzipSize(int handle) {
    return static_cast<zzip_off_t>(MappedSize(handle));
}

}  // namespace

// Static storage: zziplib keeps a pointer to the record in every archive it
// opens.
zzip_plugin_io_t ZzipIoHandlers() {
    static const zzip_plugin_io_handlers handlers = [] {
        zzip_plugin_io_handlers record;
        zzip_init_io(&record, 0);
        record.fd.open = ZzipOpen;
        record.fd.close = MappedClose;
        record.fd.read = ZzipRead;
        record.fd.seeks = ZzipSeek;
        record.fd.filesize = ZzipSize;
        return record;
    }();
    return &handlers;
}

}  // namespace kivfs
