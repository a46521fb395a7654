#include "mount/StubRecord.h"

#include <cstddef>

#include "mount/StubCallbacks.h"

namespace kivfs {

// The record crosses into the host's stub library, built separately, so its
// layout is fixed: six pointer-sized fields in this order, nothing between
// them (24 bytes in a 32-bit build, 48 in a 64-bit one).
static_assert(sizeof(StubOps) == 6 * sizeof(void*), "StubOps must be six pointers");
static_assert(offsetof(StubOps, readFn) == 0 * sizeof(void*), "StubOps layout");
static_assert(offsetof(StubOps, writeFn) == 1 * sizeof(void*), "StubOps layout");
static_assert(offsetof(StubOps, tellFn) == 2 * sizeof(void*), "StubOps layout");
static_assert(offsetof(StubOps, seekFn) == 3 * sizeof(void*), "StubOps layout");
static_assert(offsetof(StubOps, errorFn) == 4 * sizeof(void*), "StubOps layout");
static_assert(offsetof(StubOps, file) == 5 * sizeof(void*), "StubOps layout");

// `file` holds a BridgedFile* converted to void*, so that the callbacks
// convert it back to exactly the type it was made from.
StubOps* NewStubOps(std::unique_ptr<BridgedFile> file) {
    auto* ops = new StubOps{};
    ops->readFn = StubRead;
    ops->writeFn = StubWrite;
    ops->tellFn = StubTell;
    ops->seekFn = StubSeek;
    ops->errorFn = StubError;
    ops->file = static_cast<void*>(file.release());
    return ops;
}

void DeleteStubOps(StubOps* ops) {
    if (!ops) return;
    delete static_cast<BridgedFile*>(ops->file);
    delete ops;
}

}  // namespace kivfs
