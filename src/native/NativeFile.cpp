#include "native/NativeFile.h"

#include <climits>
#include <cstdio>

namespace kivfs {

// A negative length moves nothing: as a size it would ask for far more than
// the caller's buffer holds. The count returned never exceeds `length`.
int NativeFile::Read(void* buffer, int length) {
    if (length <= 0) return 0;
    return static_cast<int>(stream_.Read(buffer, static_cast<size_t>(length)));
}

int NativeFile::Write(const void* buffer, int length) {
    if (length <= 0) return 0;
    return static_cast<int>(stream_.Write(buffer, static_cast<size_t>(length)));
}

// Positions travel as 32-bit integers: one beyond their range cannot be told
// and is reported as the failure it is, never as a wrapped value.
int NativeFile::Tell() {
    const long position = stream_.Tell();
    return position >= 0 && position <= INT_MAX ? static_cast<int>(position) : -1;
}

// The three origins map onto the stream's own; any other is refused without
// moving.
int NativeFile::Seek(int offset, int origin) {
    static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (origin < 0 || origin > 2) return -1;
    return stream_.Seek(offset, kWhence[origin]) ? 0 : -1;
}

int NativeFile::Error() {
    return stream_.Eof() ? 1 : 0;
}

// Real files keep the length their writes give them.
bool NativeFile::Resize(unsigned int) {
    return false;
}

}  // namespace kivfs
