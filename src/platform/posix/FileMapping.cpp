// POSIX implementation of the whole-file mapping: open, fstat, mmap of the
// whole file with PROT_READ, a copy out of the view that survives the SIGBUS
// raised when another process has cut the file short under it, and pread of
// the same descriptor for large copies.
#include "platform/FileMapping.h"

#include <fcntl.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "kivfs.h"
#include "platform/SystemError.h"

namespace kivfs {

namespace {

// The copy this thread is running: its recovery point and the source range it
// reads. `recovery` is null outside CopyOut. Initial-exec TLS, because the
// signal handler reads it and that model never allocates on access.
struct ActiveCopy {
    sigjmp_buf* recovery;
    const unsigned char* begin;
    const unsigned char* end;
};
__attribute__((tls_model("initial-exec"))) thread_local ActiveCopy t_copy = {nullptr, nullptr,
                                                                             nullptr};

// The SIGBUS disposition found when ours was installed; every SIGBUS that is
// not a fault of our own copy goes to it.
struct sigaction g_previousBus;

// Hands a SIGBUS that is not ours to the handler that was there before, or,
// when that was the default action, restores it and raises the signal again
// so the process ends exactly as it would have without us.
void PassOnBus(int signal, siginfo_t* info, void* context) {
    const struct sigaction& previous = g_previousBus;
    if (previous.sa_flags & SA_SIGINFO) {
        if (previous.sa_sigaction) return previous.sa_sigaction(signal, info, context);
    } else if (previous.sa_handler == SIG_IGN) {
        if (info->si_code <= 0) return;  // sent by a process, and ignored as before
    } else if (previous.sa_handler != SIG_DFL) {
        return previous.sa_handler(signal);
    }
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    raise(signal);
}

// Recovers only a fault the kernel raised for an address inside the source
// range of this thread's running copy; anything else is passed on.
void OnBus(int signal, siginfo_t* info, void* context) {
    sigjmp_buf* recovery = t_copy.recovery;
    const auto* address = static_cast<const unsigned char*>(info->si_addr);
    if (recovery && info->si_code > 0 && address >= t_copy.begin && address < t_copy.end) {
        t_copy.recovery = nullptr;
        siglongjmp(*recovery, 1);
    }
    PassOnBus(signal, info, context);
}

// Installs OnBus once per process. SA_NODEFER keeps SIGBUS unblocked inside
// the handler, so the jump back out of it leaves the thread's signal mask as
// it was and the recovery point need not save the mask.
void InstallBusHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action = {};
        action.sa_sigaction = OnBus;
        action.sa_flags = SA_SIGINFO | SA_NODEFER | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, &g_previousBus);
    });
}

}  // namespace

// Opens without blocking (a FIFO would otherwise wait for a writer) and maps
// only regular files whose size fits in 32 bits; an empty file cannot be
// mapped, as on every platform. A larger file is refused as unsupported and
// a view that finds no room (ENOMEM from mmap, in a 32-bit process) as a
// lack of memory, so that a caller trying the file another way can tell why
// this one failed.
std::unique_ptr<FileMapping> FileMapping::Open(const char* path, int* cause) {
    if (!path || !*path) return nullptr;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        if (cause) *cause = ErrnoToCode(errno);
        return nullptr;
    }
    struct stat info;
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    const bool tooLarge = regular && static_cast<std::uint64_t>(info.st_size) > kMaxSize;
    if (tooLarge && cause) *cause = KIVFS_ERR_UNSUPPORTED;
    if (!regular || info.st_size <= 0 || tooLarge) {
        ::close(fd);
        return nullptr;
    }
    const auto size = static_cast<std::uint32_t>(info.st_size);
    void* view = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    if (view == MAP_FAILED) {
        if (cause) *cause = ErrnoToCode(errno);
        ::close(fd);
        return nullptr;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    InstallBusHandler();
    return std::unique_ptr<FileMapping>(
        new FileMapping(fd, static_cast<const unsigned char*>(view), size));
}

FileMapping::~FileMapping() {
    ::munmap(const_cast<unsigned char*>(view_), size_);
    ::close(static_cast<int>(file_));
}

// The recovery point is set before the copy starts and cleared after it ends;
// the signal fences keep the compiler from moving the copy outside that span.
bool FileMapping::CopyOut(std::uint32_t offset, void* buffer, std::size_t length) const {
    const unsigned char* from = view_ + offset;
    sigjmp_buf recovery;
    if (sigsetjmp(recovery, 0) != 0) return false;
    t_copy = {&recovery, from, from + length};
    std::atomic_signal_fence(std::memory_order_seq_cst);
    std::memcpy(buffer, from, length);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    t_copy.recovery = nullptr;
    return true;
}

// pread may return fewer bytes than asked (a signal, a very large range), so
// it is repeated from where it stopped; 0 before the end means the file is
// now shorter than the range, which is a failed copy, never a short one.
bool FileMapping::ReadAt(std::uint32_t offset, void* buffer, std::size_t length) const {
    auto* to = static_cast<unsigned char*>(buffer);
    off_t at = offset;
    while (length > 0) {
        const ssize_t got = ::pread(static_cast<int>(file_), to, length, at);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        to += got;
        at += got;
        length -= static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace kivfs
