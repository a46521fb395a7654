// One of the two files of the tool that include system headers (with
// Terminal.cpp): how a signal is caught differs by operating system.
#include "Interrupt.h"

#include <csignal>
#include <string>

#if !defined(_WIN32)
#include <signal.h>
#endif

namespace kivfs_tool {

namespace {

// The only state a handler touches: storing to a volatile sig_atomic_t is
// all a handler may safely do. Copying, SQLite and libzip never run inside
// a handler; the command's own thread reads the flag at its check points.
// (A thread waiting in sigwait would still have to pass the news to the
// copying thread through such a flag, since a container's handles are used
// from one thread, so it would add a thread and change nothing.)
volatile std::sig_atomic_t caught = 0;

extern "C" void OnSignal(int signal) {
    if (caught == 0) caught = signal;
}

// "SIGINT" for messages.
std::string SignalName(int signal) {
    switch (signal) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        default:
            return "signal " + std::to_string(signal);
    }
}

#if defined(_WIN32)

// The C runtime runs SIGINT (Ctrl+C, Ctrl+Break) handlers on a thread of
// its own and resets them to the default first, as SA_RESETHAND does.
void Catch(int signal) {
    if (std::signal(signal, OnSignal) == SIG_IGN) std::signal(signal, SIG_IGN);
}

#else

// Without SA_RESTART a read of standard input that waits for typing
// returns (EINTR) instead of going on waiting, so the command reaches its
// next check point. SA_RESETHAND gives a second signal its default effect:
// a command that does not stop soon enough can still be killed at once.
void Catch(int signal) {
    struct sigaction old {};
    if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) return;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(signal, &action, nullptr);
}

#endif

}  // namespace

Interrupted::Interrupted(int signal)
    : ToolError("interrupted by " + SignalName(signal) + "; nothing was changed"),
      signal_(signal) {}

void CatchInterrupts() {
    Catch(SIGINT);
    Catch(SIGTERM);
}

int InterruptSignal() {
    return caught;
}

void ThrowIfInterrupted() {
    const int signal = caught;
    if (signal != 0) throw Interrupted(signal);
}

}  // namespace kivfs_tool
