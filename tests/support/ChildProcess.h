// ChildProcess: a copy of the test process that runs one function and is
// killed at a chosen moment, for crash tests. Implemented with fork and
// SIGKILL (ChildProcess.cpp, POSIX), and on Windows by starting the test
// program again with CreateProcessW for the current test only, ended with
// TerminateProcess (ChildProcessWin32.cpp). There the child runs the test
// from its start up to the same child, so a test that makes several children
// or acts on shared files before one cannot rely on it: such tests check
// KIVFS_TEST_FORKLESS_CHILDREN and skip there.
//
// The child runs `body` and ends with _exit(body's result): it never returns
// into the test framework, and it skips the exit handlers (leak checks,
// static destructors) that belong to the parent.
#pragma once

#include <cstdint>
#include <functional>

// Whether a child starts as a new run of the test program (Windows) rather
// than as a copy of the parent that shares its temporary folders.
#if defined(_WIN32)
#define KIVFS_TEST_FORKLESS_CHILDREN 1
#else
#define KIVFS_TEST_FORKLESS_CHILDREN 0
#endif

namespace kivfs_test {

// How a child ended.
struct ChildEnd {
    bool killed = false;  // by the SIGKILL of Kill
    int exitCode = -1;    // when it exited on its own
    int signal = 0;       // when another signal ended it
};

class ChildProcess {
  public:
    // Starts the child at once.
    explicit ChildProcess(const std::function<int()>& body);
    // Kills and reaps a child that is still running.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // True once the child has ended on its own (it is then reaped).
    bool Ended();
    // Kills the child with SIGKILL unless it has ended, reaps it, and tells
    // how it ended.
    ChildEnd Kill();
    // Waits for the child to end on its own and tells how it ended.
    ChildEnd Wait();

  private:
    // Records how the reaped child ended.
    void Reaped(int status);

    std::intptr_t pid_;  // the process id (a process handle on Windows); 0 once reaped
    ChildEnd end_;       // valid once reaped
};

// The most memory the calling process has held resident so far, in KiB: a
// child that measures its own growth tells what one call cost it.
long PeakResidentKiB();

}  // namespace kivfs_test
