#include "storage/BusyWait.h"

#include <chrono>
#include <thread>

namespace kivfs {

namespace {

// Called by SQLite each time a lock it needs is held elsewhere; `count` is
// how often it was called before for the same lock. A thread waits for one
// lock at a time, so the start of the current wait is kept per thread.
int RetryWhileBusy(void*, int count) {
    using Clock = std::chrono::steady_clock;
    thread_local Clock::time_point since;
    const Clock::time_point now = Clock::now();
    if (count == 0) since = now;
    if (now - since >= std::chrono::milliseconds(kBusyTimeoutMs)) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 1;
}

}  // namespace

// Replaces any busy timeout of the connection.
void WaitWhenBusy(sqlite3* db) {
    sqlite3_busy_handler(db, RetryWhileBusy, nullptr);
}

}  // namespace kivfs
