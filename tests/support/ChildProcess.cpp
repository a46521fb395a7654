#include "support/ChildProcess.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

namespace kivfs_test {

ChildProcess::ChildProcess(const std::function<int()>& body) : pid_(::fork()) {
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) ::_exit(body());
}

ChildProcess::~ChildProcess() {
    if (pid_ == 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
}

bool ChildProcess::Ended() {
    int status = 0;
    if (pid_ == 0) return true;
    if (::waitpid(pid_, &status, WNOHANG) != pid_) return false;
    Reaped(status);
    return true;
}

ChildEnd ChildProcess::Kill() {
    if (pid_ != 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        Reaped(status);
    }
    return end_;
}

ChildEnd ChildProcess::Wait() {
    if (pid_ != 0) {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        Reaped(status);
    }
    return end_;
}

void ChildProcess::Reaped(int status) {
    pid_ = 0;
    if (WIFEXITED(status)) {
        end_.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        end_.killed = WTERMSIG(status) == SIGKILL;
        end_.signal = end_.killed ? 0 : WTERMSIG(status);
    }
}

long PeakResidentKiB() {
    struct rusage usage = {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace kivfs_test
