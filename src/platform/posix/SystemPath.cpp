// POSIX implementation of the system-path probes: stat for the attribute
// query, mkdir for one directory level.
#include "platform/SystemPath.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>

#include "kivfs.h"
#include "platform/SystemError.h"

namespace kivfs {

namespace {

// Fills `info` for an existing path; false for a null, empty, missing or
// unreachable one, as the attribute query reports them all alike.
bool StatPath(const char* path, struct stat& info) {
    return path && *path && ::stat(path, &info) == 0;
}

}  // namespace

size_t DrivePrefixLength(const std::string&) {
    return 0;
}

bool IsUsableSystemPath(const char* path) {
    return path && *path;
}

bool IsSystemDirectory(const char* path) {
    struct stat info;
    return StatPath(path, info) && S_ISDIR(info.st_mode);
}

bool IsSystemFile(const char* path) {
    struct stat info;
    return StatPath(path, info) && !S_ISDIR(info.st_mode);
}

// mkdir's errno says why (EEXIST, ENOENT for a missing parent, EACCES ...).
bool CreateSystemDirectory(const char* path, int* cause) {
    if (!path || !*path) {
        if (cause) *cause = KIVFS_ERR_ARGUMENT;
        return false;
    }
    if (::mkdir(path, 0777) == 0) return true;
    if (cause) *cause = ErrnoToCode(errno);
    return false;
}

}  // namespace kivfs
