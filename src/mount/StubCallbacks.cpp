#include "mount/StubCallbacks.h"

#include "api/FileIo.h"

namespace kivfs {

// Reads and writes take the same guard as the exported file calls: a host's
// null buffer or negative length must not reach a backend's unsigned
// arithmetic.
int StubRead(void* file, void* buffer, int length) {
    return ForwardRead(StubFile(file), buffer, length);
}

int StubWrite(void* file, const void* buffer, int length) {
    return ForwardWrite(StubFile(file), buffer, length);
}

int StubTell(void* file) {
    return file ? StubFile(file)->Tell() : 0;
}

int StubSeek(void* file, int offset, int origin) {
    return file ? StubFile(file)->Seek(offset, origin) : -1;
}

int StubError(void* file) {
    return file ? StubFile(file)->Error() : 0;
}

}  // namespace kivfs
