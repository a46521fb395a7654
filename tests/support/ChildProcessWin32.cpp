// Windows children: the test program itself, started again with
// CreateProcessW to run only the current test. KIVFS_TEST_CHILD tells the
// new process which of the test's children it is; there that child's
// constructor runs the body and ends the process with its result.
#include <windows.h>
// psapi.h needs the types of windows.h.
#include <gtest/gtest.h>
#include <psapi.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "support/ChildProcess.h"

namespace kivfs_test {

namespace {

constexpr const wchar_t kChildVariable[] = L"KIVFS_TEST_CHILD";
constexpr UINT kKilledCode = 137;

// "Suite.Name" of the running test.
std::string CurrentTestName() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    if (!info) throw std::runtime_error("a child process needs a running test");
    return std::string(info->test_suite_name()) + "." + info->name();
}

// The number of this child within the running test, counting from 1.
int NextChildNumber() {
    static std::string test;
    static int count = 0;
    const std::string current = CurrentTestName();
    if (current != test) {
        test = current;
        count = 0;
    }
    return ++count;
}

// Which child this process was started as; 0 in the test program itself.
int ChildNumberOfThisProcess() {
    const char* number = std::getenv("KIVFS_TEST_CHILD");
    return number ? std::atoi(number) : 0;
}

}  // namespace

ChildProcess::ChildProcess(const std::function<int()>& body) : pid_(0) {
    const int number = NextChildNumber();
    if (ChildNumberOfThisProcess() == number) {
        std::fflush(nullptr);
        ::_exit(body());
    }
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    const std::string filter = CurrentTestName();
    std::wstring line = L"\"" + std::wstring(program) + L"\" --gtest_filter=" +
                        std::wstring(filter.begin(), filter.end());
    SetEnvironmentVariableW(kChildVariable, std::to_wstring(number).c_str());
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    const BOOL started = CreateProcessW(program, &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                                        nullptr, &startup, &process);
    SetEnvironmentVariableW(kChildVariable, nullptr);
    if (!started) throw std::runtime_error("CreateProcessW failed");
    CloseHandle(process.hThread);
    pid_ = reinterpret_cast<std::intptr_t>(process.hProcess);
}

ChildProcess::~ChildProcess() {
    if (pid_ == 0) return;
    const HANDLE process = reinterpret_cast<HANDLE>(pid_);
    TerminateProcess(process, kKilledCode);
    WaitForSingleObject(process, INFINITE);
    CloseHandle(process);
}

bool ChildProcess::Ended() {
    if (pid_ == 0) return true;
    if (WaitForSingleObject(reinterpret_cast<HANDLE>(pid_), 0) != WAIT_OBJECT_0) return false;
    Reaped(0);
    return true;
}

ChildEnd ChildProcess::Kill() {
    if (pid_ != 0) {
        const HANDLE process = reinterpret_cast<HANDLE>(pid_);
        if (WaitForSingleObject(process, 0) != WAIT_OBJECT_0) {
            TerminateProcess(process, kKilledCode);
            end_.killed = true;
        }
        WaitForSingleObject(process, INFINITE);
        Reaped(0);
    }
    return end_;
}

ChildEnd ChildProcess::Wait() {
    if (pid_ != 0) {
        WaitForSingleObject(reinterpret_cast<HANDLE>(pid_), INFINITE);
        Reaped(0);
    }
    return end_;
}

// The exit code of a process that was not terminated is its own.
void ChildProcess::Reaped(int) {
    const HANDLE process = reinterpret_cast<HANDLE>(pid_);
    DWORD code = 0;
    if (!end_.killed && GetExitCodeProcess(process, &code)) end_.exitCode = static_cast<int>(code);
    CloseHandle(process);
    pid_ = 0;
}

long PeakResidentKiB() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
    return static_cast<long>(counters.PeakWorkingSetSize / 1024);
}

}  // namespace kivfs_test
