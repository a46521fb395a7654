// POSIX opening of a FileStream: fopen takes the UTF-8 path as it stands.
#include "platform/FileStream.h"

#include <sys/stat.h>

namespace kivfs {

bool FileStream::Open(const std::string& path, const char* modeText) {
    std::FILE* stream = std::fopen(path.c_str(), modeText);
    if (!stream) return false;
    // fopen opens a directory for reading here, where the wide open of other
    // systems refuses it; refusing it too keeps "a directory cannot be opened
    // as a file" true everywhere.
    struct stat info;
    if (::fstat(fileno(stream), &info) != 0 || S_ISDIR(info.st_mode)) {
        std::fclose(stream);
        return false;
    }
    // The C library would ask the system for the same block size again on the
    // first transfer to size its buffer; handing it one of that size saves
    // the second query, which matters when many small files are opened.
    if (S_ISREG(info.st_mode)) {
        const size_t size = info.st_blksize > 0 ? static_cast<size_t>(info.st_blksize) : BUFSIZ;
        buffer_.reset(new char[size]);
        std::setvbuf(stream, buffer_.get(), _IOFBF, size);
    }
    stream_ = stream;
    return true;
}

}  // namespace kivfs
