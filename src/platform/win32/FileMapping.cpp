// Windows implementation of the whole-file mapping: CreateFileW,
// GetFileSizeEx, CreateFileMappingW and MapViewOfFile of the whole file
// read-only, and a copy out of the view that survives the fault raised when
// a page of the file cannot be brought in.
#include "platform/FileMapping.h"

#include <windows.h>

#include <cstring>

#include "kivfs.h"
#include "platform/Text.h"
#include "platform/win32/CopyFaultProbe.h"
#include "platform/win32/SystemError.h"
#include "platform/win32/WideText.h"

namespace kivfs {

namespace {

// The copy this thread is running: its recovery point (a __builtin_setjmp
// buffer) and the source range it reads. `recovery` is null outside CopyOut.
struct ActiveCopy {
    void** recovery;
    const unsigned char* begin;
    const unsigned char* end;
};
thread_local ActiveCopy t_copy = {nullptr, nullptr, nullptr};
thread_local CopyFaultProbe t_probe = nullptr;

// Whether `record` tells of a page of a mapped file that could not be read:
// the in-page error Windows raises when the medium fails under a view (or a
// file on a network share is cut short), or the read access violation Wine
// raises in its place when its host system cuts the file short (the SIGBUS
// of a mapped page past the end comes out as EXCEPTION_ACCESS_VIOLATION,
// a read, on both architectures). A read of our own live, read-only view
// faults for no other reason, so within the copy's range both mean the file
// can no longer supply the bytes.
bool IsUnreadablePage(const EXCEPTION_RECORD* record) {
    if (record->NumberParameters < 2) return false;
    if (record->ExceptionCode == EXCEPTION_IN_PAGE_ERROR) return true;
    constexpr ULONG_PTR kRead = 0;
    return record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION &&
           record->ExceptionInformation[0] == kRead;
}

// Recovers only an unreadable page (IsUnreadablePage) at an address inside
// the source range of this thread's running copy; every other exception goes
// on to the next handler untouched. The jump back into CopyOut leaves the
// dispatcher's frames behind without unwinding them: none of them holds
// anything that needs releasing, and vectored handlers register no SEH frame
// of their own.
LONG CALLBACK OnException(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    if (!IsUnreadablePage(record)) return EXCEPTION_CONTINUE_SEARCH;
    void** recovery = t_copy.recovery;
    const auto* address = reinterpret_cast<const unsigned char*>(record->ExceptionInformation[1]);
    if (!recovery || address < t_copy.begin || address >= t_copy.end) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    t_copy.recovery = nullptr;
    __builtin_longjmp(recovery, 1);
}

// Registers OnException once per process, first in the list, so that no
// other vectored handler sees our own fault first.
void InstallExceptionHandler() {
    static const PVOID handler = AddVectoredExceptionHandler(1, OnException);
    (void)handler;
}

// Closes a handle the open obtained; the null and invalid values mean none.
void CloseIfOpen(HANDLE handle) {
    if (handle && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
}

}  // namespace

void SetCopyFaultProbe(CopyFaultProbe probe) {
    t_probe = probe;
}

// The record carries what the memory manager puts there: a read (0), the
// address, and the status of the failed page-in (STATUS_DEVICE_DATA_ERROR).
void RaiseInPageError(const void* address) {
    constexpr ULONG_PTR kDeviceDataError = 0xC000009C;
    const ULONG_PTR arguments[3] = {0, reinterpret_cast<ULONG_PTR>(address), kDeviceDataError};
    RaiseException(EXCEPTION_IN_PAGE_ERROR, 0, 3, arguments);
}

// Others may read the archive while it is open, never write or delete it.
// Only a file on disk is mapped; a device or pipe reached by its name is
// refused by its type. The mapping object is closed once the view exists:
// the view keeps it alive until UnmapViewOfFile. In a 32-bit process a view
// of a large file may find no room in the address space; MapViewOfFile then
// fails (ERROR_NOT_ENOUGH_MEMORY, a lack of memory) and so does the open. A
// file larger than kMaxSize is refused as unsupported.
std::unique_ptr<FileMapping> FileMapping::Open(const char* path, int* cause) {
    if (!path || !*path) return nullptr;
    const std::u16string wide = ToUtf16(path);
    if (!IsUsablePath(wide)) return nullptr;
    const HANDLE file =
        CreateFileW(Wide(wide), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (cause) *cause = SystemErrorToCode(GetLastError());
        return nullptr;
    }
    LARGE_INTEGER size;
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size) || size.QuadPart <= 0) {
        CloseHandle(file);
        return nullptr;
    }
    if (static_cast<std::uint64_t>(size.QuadPart) > kMaxSize) {
        if (cause) *cause = KIVFS_ERR_UNSUPPORTED;
        CloseHandle(file);
        return nullptr;
    }
    const HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    const void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
    if (!view && cause) *cause = SystemErrorToCode(GetLastError());
    CloseIfOpen(mapping);
    if (!view) {
        CloseHandle(file);
        return nullptr;
    }
    InstallExceptionHandler();
    return std::unique_ptr<FileMapping>(new FileMapping(reinterpret_cast<std::intptr_t>(file),
                                                        static_cast<const unsigned char*>(view),
                                                        static_cast<std::uint32_t>(size.QuadPart)));
}

FileMapping::~FileMapping() {
    UnmapViewOfFile(view_);
    CloseHandle(reinterpret_cast<HANDLE>(file_));
}

// The recovery point is set before the copy starts and cleared after it
// ends; the compiler fences keep the copy inside that span.
bool FileMapping::CopyOut(std::uint32_t offset, void* buffer, std::size_t length) const {
    const unsigned char* from = view_ + offset;
    void* recovery[5];
    if (__builtin_setjmp(recovery) != 0) return false;
    t_copy = {recovery, from, from + length};
    __atomic_signal_fence(__ATOMIC_SEQ_CST);
    if (t_probe) t_probe(from, from + length);
    std::memcpy(buffer, from, length);
    __atomic_signal_fence(__ATOMIC_SEQ_CST);
    t_copy.recovery = nullptr;
    return true;
}

// The view is the only route here: a mapping of the file is what readers of
// it use on this platform.
bool FileMapping::ReadAt(std::uint32_t offset, void* buffer, std::size_t length) const {
    return CopyOut(offset, buffer, length);
}

}  // namespace kivfs
