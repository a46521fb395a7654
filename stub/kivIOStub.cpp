// A stand-in for the host's I/O stub library: it keeps the callbacks of the
// latest registration and opens and releases files through them, as the
// host's own stub would. It is a separate shared library so that kivfs
// imports kivRegisterFS across a library boundary, as it does in a host.
#include "kivIOStub.h"

namespace {

// The latest registration; the count includes every call ever made.
kivCreateStubFn g_create = nullptr;
kivDeleteStubFn g_destroy = nullptr;
int g_registrations = 0;

}  // namespace

extern "C" {

int kivRegisterFS(kivCreateStubFn create, kivDeleteStubFn destroy) {
    g_create = create;
    g_destroy = destroy;
    return ++g_registrations;
}

StubOps* kivIOOpen(const char* path, int mode) { return g_create ? g_create(path, mode) : nullptr; }

void kivIOClose(StubOps* ops) {
    if (g_destroy) g_destroy(ops);
}

}  // extern "C"
