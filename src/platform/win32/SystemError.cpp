// One table from Windows error values to the library's error codes, and the
// reserved device names.
#include "platform/win32/SystemError.h"

#include <windows.h>

#include "kivfs.h"

namespace kivfs {

namespace {

// Lowers ASCII letters only: the device names are ASCII.
char16_t LowerAscii(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

// True when `component` is a reserved device name. Windows ignores what
// follows the first "." and trailing spaces, so "aux.txt" and "NUL " are the
// devices too.
bool IsReservedComponent(const std::u16string& component) {
    std::u16string stem;
    for (char16_t c : component) {
        if (c == u'.') break;
        stem += LowerAscii(c);
    }
    while (!stem.empty() && stem.back() == u' ') stem.pop_back();
    if (stem == u"con" || stem == u"prn" || stem == u"aux" || stem == u"nul" || stem == u"conin$" ||
        stem == u"conout$") {
        return true;
    }
    if (stem.size() != 4) return false;
    const std::u16string head = stem.substr(0, 3);
    if (head != u"com" && head != u"lpt") return false;
    const char16_t digit = stem[3];
    return (digit >= u'0' && digit <= u'9') || digit == u'\u00B9' || digit == u'\u00B2' ||
           digit == u'\u00B3';
}

}  // namespace

int SystemErrorToCode(unsigned long error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
            return KIVFS_ERR_NOT_FOUND;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return KIVFS_ERR_EXISTS;
        case ERROR_ACCESS_DENIED:
        case ERROR_PRIVILEGE_NOT_HELD:
            return KIVFS_ERR_PERMISSION;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return KIVFS_ERR_BUSY;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return KIVFS_ERR_NO_SPACE;
        case ERROR_WRITE_PROTECT:
            return KIVFS_ERR_READ_ONLY;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return KIVFS_ERR_NO_MEMORY;
        case ERROR_INVALID_NAME:
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_BAD_PATHNAME:
        case ERROR_DIRECTORY:
            return KIVFS_ERR_ARGUMENT;
        default:
            return KIVFS_ERR_IO;
    }
}

// RtlAreLongPathsEnabled (ntdll, Windows 10 1607 and later) answers for the
// process as a whole; ntdll is in every process, so asking loads nothing.
// Where the call does not exist, paths are limited to MAX_PATH.
size_t MaxPathUnits() {
    static const size_t limit = [] {
        using Query = BOOLEAN(NTAPI*)();
        const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        const auto query = ntdll ? reinterpret_cast<Query>(reinterpret_cast<void*>(
                                       GetProcAddress(ntdll, "RtlAreLongPathsEnabled")))
                                 : nullptr;
        return query && query() ? size_t{32767} : size_t{MAX_PATH - 1};
    }();
    return limit;
}

// The length of what may precede a path's names: "\\?\" (long-path
// prefix, with either slash) and a drive letter with its ":".
size_t PrefixLength(const std::u16string& path) {
    size_t at = 0;
    const auto slash = [&](size_t i) { return path[i] == u'/' || path[i] == u'\\'; };
    if (path.size() >= 4 && slash(0) && slash(1) && path[2] == u'?' && slash(3)) at = 4;
    return at + DriveLengthAt(path, at);
}

bool IsUsablePath(const std::u16string& path) {
    if (path.empty() || path.size() > MaxPathUnits()) return false;
    for (size_t i = PrefixLength(path); i < path.size(); ++i) {
        const char16_t c = path[i];
        if (c < 0x20 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|' ||
            c == u'?' || c == u'*') {
            return false;
        }
    }
    return !NamesReservedDevice(path);
}

bool NamesReservedDevice(const std::u16string& path) {
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of(u"/\\", start);
        if (end == std::u16string::npos) end = path.size();
        if (IsReservedComponent(path.substr(start, end - start))) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace kivfs
