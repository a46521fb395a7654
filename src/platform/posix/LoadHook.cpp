// POSIX load hook: the dynamic loader runs the shared library's constructors
// once, when it is loaded into the process and after the libraries it depends
// on (the host's I/O stub among them) have been initialised. The library
// registers with the stub there, through its own export, before the host
// calls anything.
#include "kivfs.h"

namespace {

// What the stub answers is of no use at that point.
__attribute__((constructor)) void AttachToProcess() {
    static_cast<void>(kivFSInitFileSystem());
}

}  // namespace
