// Windows: only Wine's host can cut a mapped file short. Wine's own exports
// wine_get_unix_file_name and wine_get_dos_file_name (kernel32) give the
// host's path of the file and the Windows path of /usr/bin/truncate, which
// CreateProcessW starts as a host program (Wine runs a program that is no
// Windows executable on the host). It hands back no handle to wait on, so
// the new size is polled for.
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "support/OutsideCut.h"

namespace kivfs_test {

namespace {

using UnixFileName = char*(CDECL*)(LPCWSTR);
using DosFileName = WCHAR*(CDECL*)(LPCSTR);

// `text` (UTF-8) as UTF-16.
std::wstring Widen(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           wide.data(), static_cast<int>(wide.size()));
    wide.resize(length > 0 ? length : 0);
    return wide;
}

// The file's size as this process sees it; -1 when it cannot be read.
std::int64_t SizeOf(const std::string& path) {
    std::error_code ignored;
    const std::uintmax_t size = std::filesystem::file_size(std::filesystem::u8path(path), ignored);
    return ignored ? -1 : static_cast<std::int64_t>(size);
}

}  // namespace

// Both names are freed with HeapFree on the process heap, as Wine allocates
// them there.
std::string CutFromOutside(const std::string& path, std::uint64_t size) {
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto unixName = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_unix_file_name")));
    const auto dosName = reinterpret_cast<DosFileName>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_dos_file_name")));
    if (!unixName || !dosName) {
        return "not under Wine: Windows lets no program cut short a file that is mapped";
    }
    char* file = unixName(Widen(path).c_str());
    WCHAR* truncate = dosName("/usr/bin/truncate");
    std::wstring command;
    if (file && truncate) {
        command = L"\"" + std::wstring(truncate) + L"\" -s " + std::to_wstring(size) + L" \"" +
                  Widen(file) + L"\"";
    }
    HeapFree(GetProcessHeap(), 0, file);
    HeapFree(GetProcessHeap(), 0, truncate);
    if (command.empty()) return "Wine gave no host path for " + path + " or /usr/bin/truncate";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return "the host's /usr/bin/truncate did not start (error " +
               std::to_string(GetLastError()) + ")";
    }
    if (process.hThread) CloseHandle(process.hThread);
    if (process.hProcess) CloseHandle(process.hProcess);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (SizeOf(path) != static_cast<std::int64_t>(size)) {
        if (std::chrono::steady_clock::now() > deadline) {
            return "the host's truncate left " + path + " at " + std::to_string(SizeOf(path)) +
                   " bytes";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return std::string();
}

}  // namespace kivfs_test
