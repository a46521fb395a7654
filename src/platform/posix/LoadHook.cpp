// POSIX load hook: the dynamic loader runs the shared library's constructors
// once, when it is loaded into the process and after the libraries it depends
// on (the host's I/O stub among them) have been initialised.
#include "platform/LoadHook.h"

namespace {

__attribute__((constructor)) void AttachToProcess() {
    kivfs::OnProcessAttach();
}

}  // namespace
