// Windows system-path probes: GetFileAttributesW for what a path names,
// CreateDirectoryW for one directory level. Paths go to the system as given,
// "/" included, which every wide file call accepts as a separator.
#include "platform/SystemPath.h"

#include <windows.h>

#include "kivfs.h"
#include "platform/SystemError.h"
#include "platform/Text.h"
#include "platform/win32/SystemError.h"
#include "platform/win32/WideText.h"

namespace kivfs {

namespace {

// The attribute bits of an existing path; INVALID_FILE_ATTRIBUTES for a null,
// empty, missing or unreachable one, and for one the library does not hand
// to the system (IsUsablePath): a reserved device name names no file of any
// folder.
DWORD Attributes(const char* path) {
    if (!path || !*path) return INVALID_FILE_ATTRIBUTES;
    const std::u16string wide = ToUtf16(path);
    if (!IsUsablePath(wide)) return INVALID_FILE_ATTRIBUTES;
    return GetFileAttributesW(Wide(wide));
}

}  // namespace

size_t DrivePrefixLength(const std::string& path) {
    return DriveLengthAt(path, 0);
}

bool IsUsableSystemPath(const char* path) {
    return path && *path && IsUsablePath(ToUtf16(path));
}

bool IsSystemDirectory(const char* path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsSystemFile(const char* path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A path the library does not hand to the system fails at once.
bool CreateSystemDirectory(const char* path, int* cause) {
    int found = KIVFS_ERR_ARGUMENT;
    if (path && *path) {
        const std::u16string wide = ToUtf16(path);
        if (!IsUsablePath(wide)) {
            found = SystemErrorToCode(ERROR_INVALID_NAME);
        } else {
            if (CreateDirectoryW(Wide(wide), nullptr)) return true;
            found = SystemErrorToCode(GetLastError());
        }
    }
    if (cause) *cause = found;
    return false;
}

}  // namespace kivfs
