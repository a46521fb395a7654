#include "zip/ZipFile.h"

namespace kivfs {

ZipFile::~ZipFile() {
    zzip_file_close(entry_);
}

// zziplib reports a stored entry whose data runs past the end of the archive
// as an early end (0), and when deflate data ends before the entry's size it
// moves the offset to the end past bytes it never produced. Either way the
// entry yields fewer bytes than its size: a damaged archive, told apart by
// the offset, and reported as the read error it is rather than as a clean
// end after a short content.
int ZipFile::Read(void* buffer, int length) {
    if (length <= 0) return 0;
    const int before = Tell();
    const auto count = zzip_file_read(entry_, buffer, static_cast<zzip_size_t>(length));
    if (count < 0) return -1;
    if (Tell() - before != count || (count == 0 && Tell() < Size())) return -1;
    return static_cast<int>(count);
}

int ZipFile::Tell() {
    return static_cast<int>(zzip_tell(entry_));
}

int ZipFile::Seek(int offset, int origin) {
    return static_cast<int>(zzip_seek(entry_, offset, origin));
}

int ZipFile::Error() {
    return Tell() >= Size() ? 1 : 0;
}

int ZipFile::Size() {
    ZZIP_STAT stat = {};
    zzip_file_stat(entry_, &stat);
    return stat.st_size;
}

}  // namespace kivfs
