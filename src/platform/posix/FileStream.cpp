// POSIX opening of a FileStream: fopen takes the UTF-8 path as it stands.
#include "platform/FileStream.h"

#include <sys/stat.h>

namespace kivfs {

namespace {

// True when the open stream is a directory. fopen opens a directory for
// reading here, where the wide open of other systems refuses it; refusing it
// too keeps "a directory cannot be opened as a file" true everywhere.
bool IsDirectoryStream(std::FILE* stream) {
    struct stat info;
    return ::fstat(fileno(stream), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::unique_ptr<FileStream> FileStream::Open(const std::string& path, const char* modeText) {
    std::FILE* stream = std::fopen(path.c_str(), modeText);
    if (!stream) return nullptr;
    if (IsDirectoryStream(stream)) {
        std::fclose(stream);
        return nullptr;
    }
    return std::unique_ptr<FileStream>(new FileStream(stream));
}

}  // namespace kivfs
