// ZipIoHandlers: the one handler record through which zziplib reads every
// archive of the process, and the extension list it tries names with.
#pragma once

#include <zzip/plugin.h>

namespace kivfs {

// zziplib's default handlers (no mmap of its own) with open, close, read,
// seeks and filesize replaced by the Mapped* handlers. Filled once, the first
// time it is asked for; it never changes afterwards, so archives opened on
// any thread may share it.
zzip_plugin_io_t ZipIoHandlers();

// ".zip", ".ZIP": the suffixes zziplib appends when a path itself does not
// open.
zzip_strings_t* ZipExtensions();

}  // namespace kivfs
