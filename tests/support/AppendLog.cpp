#include "support/AppendLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace kivfs_test {

AppendLog::AppendLog(const char* path)
    : fd_(::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644)) {}

AppendLog::~AppendLog() {
    if (fd_ >= 0) ::close(fd_);
}

bool AppendLog::Append(const char* text) {
    const size_t length = std::strlen(text);
    return fd_ >= 0 && ::write(fd_, text, length) == static_cast<ssize_t>(length);
}

}  // namespace kivfs_test
