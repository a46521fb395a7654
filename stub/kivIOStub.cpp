// A stand-in for the host's I/O stub library: it keeps the callbacks of the
// latest registration and opens and releases files through them, as the
// host's own stub would. It is a separate shared library so that kivfs
// imports kivRegisterFS across a library boundary, as it does in a host.
#include "kivIOStub.h"

#include <mutex>

namespace {

// Guards the registration below, which any thread may change or read.
// std::mutex is constant-initialised, so it exists before kivfs registers
// itself while it loads.
std::mutex g_lock;
// The latest registration; the count includes every call ever made.
kivCreateStubFn g_create = nullptr;
kivDeleteStubFn g_destroy = nullptr;
int g_registrations = 0;

// The callbacks of the latest registration, read together.
void Latest(kivCreateStubFn* create, kivDeleteStubFn* destroy) {
    std::lock_guard<std::mutex> lock(g_lock);
    if (create) *create = g_create;
    if (destroy) *destroy = g_destroy;
}

}  // namespace

extern "C" {

int kivRegisterFS(kivCreateStubFn create, kivDeleteStubFn destroy) {
    std::lock_guard<std::mutex> lock(g_lock);
    g_create = create;
    g_destroy = destroy;
    return ++g_registrations;
}

// The callbacks run outside the lock: opening a file may take a while.
StubOps* kivIOOpen(const char* path, int mode) {
    kivCreateStubFn create = nullptr;
    Latest(&create, nullptr);
    return create ? create(path, mode) : nullptr;
}

void kivIOClose(StubOps* ops) {
    kivDeleteStubFn destroy = nullptr;
    Latest(nullptr, &destroy);
    if (destroy) destroy(ops);
}

}  // extern "C"
