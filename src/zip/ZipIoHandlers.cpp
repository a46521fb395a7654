#include "zip/ZipIoHandlers.h"

#include "zip/MappedHandlers.h"

namespace kivfs {

// Static storage: zziplib keeps a pointer to the record in every archive it
// opens.
zzip_plugin_io_t ZipIoHandlers() {
    static const zzip_plugin_io_handlers handlers = [] {
        zzip_plugin_io_handlers record;
        zzip_init_io(&record, 0);
        record.fd.open = MappedOpen;
        record.fd.close = MappedClose;
        record.fd.read = MappedRead;
        record.fd.seeks = MappedSeek;
        record.fd.filesize = MappedSize;
        return record;
    }();
    return &handlers;
}

zzip_strings_t* ZipExtensions() {
    static zzip_strings_t extensions[] = {".zip", ".ZIP", nullptr};
    return extensions;
}

}  // namespace kivfs
