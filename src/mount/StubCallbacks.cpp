#include "mount/StubCallbacks.h"

#include <mutex>

#include "api/FileIo.h"
#include "api/Guarded.h"
#include "mount/BridgedFile.h"

namespace kivfs {

namespace {

// Runs `operation` on the FsFile behind a record's `file` value while holding
// its mount's lock, so that files of one mount are used by one thread at a
// time. A null value reaches `operation` as a null file, which refuses it.
template <typename Operation>
int OnBridgedFile(void* file, int failure, int fallback, Operation operation) {
    return Guarded(failure, fallback, [&] {
        auto* bridged = static_cast<BridgedFile*>(file);
        if (!bridged) return operation(nullptr);
        std::lock_guard<std::mutex> lock(bridged->mount->bridge);
        return operation(bridged->file.get());
    });
}

}  // namespace

// The outcomes count as those of the exported file calls: 0 from a read is
// also the end of the file, a position 0 and an end/error 0 are answers.
int KIVFS_CALL StubRead(void* file, void* buffer, int length) {
    return OnBridgedFile(file, 0, KIVFS_OK,
                         [&](FsFile* target) { return ForwardRead(target, buffer, length); });
}

// A short write fails as kivfsWrite does; the count written is passed back.
int KIVFS_CALL StubWrite(void* file, const void* buffer, int length) {
    int written = 0;
    OnBridgedFile(file, 0, KIVFS_ERR_IO, [&](FsFile* target) {
        return WriteCompleted(target, buffer, length, written) ? 1 : 0;
    });
    return written;
}

int KIVFS_CALL StubTell(void* file) {
    return OnBridgedFile(file, 0, KIVFS_OK, [](FsFile* target) { return ForwardTell(target); });
}

int KIVFS_CALL StubSeek(void* file, int offset, int origin) {
    return OnBridgedFile(file, -1, KIVFS_ERR_ARGUMENT,
                         [&](FsFile* target) { return ForwardSeek(target, offset, origin); });
}

int KIVFS_CALL StubError(void* file) {
    return OnBridgedFile(file, 0, KIVFS_OK, [](FsFile* target) { return ForwardError(target); });
}

}  // namespace kivfs
