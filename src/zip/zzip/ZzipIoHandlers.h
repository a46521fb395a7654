// ZzipIoHandlers: the one handler record through which zziplib reads every
// archive of the process.
#pragma once

#include <zzip/plugin.h>

namespace kivfs {

// zziplib's default handlers (no mmap of its own) with open, close, read,
// seeks and filesize replaced by the Mapped* handlers, in zziplib's types.
// Filled once, the first time it is asked for; it never changes afterwards,
// so archives opened on any thread may share it.
zzip_plugin_io_t ZzipIoHandlers();

}  // namespace kivfs
